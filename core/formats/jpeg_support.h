#pragma once

// What the JPEG decoder and encoder share: libjpeg reports errors by calling
// error_exit, which jumps back to the setjmp of the function that drives it.

#include <csetjmp>
#include <cstdio>

extern "C" {
#include <jpeglib.h>
}

namespace velmora {

struct tjpeg_error {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

inline void jpeg_fail(j_common_ptr info)
{
    auto* error = reinterpret_cast<tjpeg_error*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

} // namespace velmora
