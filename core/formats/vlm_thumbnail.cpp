#include "formats/vlm_thumbnail.h"

#include "document/composite.h"
#include "formats/vlm_format.h"
#include "selection/resample.h"

namespace velmora {

Tfbitmap make_vlm_thumbnail(const tdocument& doc)
{
    Tfbitmap flat = flatten_image(doc);
    const tvlm_size size = vlm_thumbnail_size(flat.width(), flat.height());
    Tfbitmap thumbnail(size.width, size.height);
    // The preview is stored as 24 bits, so only blue, green and red matter;
    // this form of the resampler also leaves the save's progress display alone.
    resample_24(flat, thumbnail, tresample_filter::lanczos3);
    return thumbnail;
}

} // namespace velmora
