# Turns one data file into a C++ source that holds it, so the program carries its
# catalogue without looking for files at run time.
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DFUNCTION=name -P embed_text.cmake
# The text is cut at line ends into pieces well under the length compilers must
# accept for one literal, and joined again at first use.
file(READ "${INPUT}" content)
set(delimiter "velmora_data")
string(FIND "${content}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw-string delimiter")
endif()

set(pieces "")
string(LENGTH "${content}" remaining)
while(remaining GREATER 0)
  if(remaining GREATER 8000)
    string(SUBSTRING "${content}" 0 8000 head)
    string(FIND "${head}" "\n" cut REVERSE)
    if(cut EQUAL -1)
      set(cut 7999)
    endif()
    math(EXPR cut "${cut} + 1")
  else()
    set(cut ${remaining})
  endif()
  string(SUBSTRING "${content}" 0 ${cut} piece)
  string(SUBSTRING "${content}" ${cut} -1 content)
  string(APPEND pieces "        R\"${delimiter}(${piece})${delimiter}\",\n")
  string(LENGTH "${content}" remaining)
endwhile()

if(pieces STREQUAL "")
  set(pieces "        \"\",\n")
endif()

get_filename_component(source_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${source_name} at build time: edit the data file, not this one.
#include \"shell/embedded_data.h\"

namespace velmora::embedded {

const std::string& ${FUNCTION}()
{
    static const std::string text = [] {
        static const char* const pieces[] = {
${pieces}        };
        std::string joined;
        for (const char* piece : pieces)
            joined += piece;
        return joined;
    }();
    return text;
}

} // namespace velmora::embedded
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
