# cmake -DINPUT=<file> -DOUTPUT=<source.cpp> -DNAME=<identifier> -P EmbedFile.cmake
#
# Writes a C++ source that defines ulkimages::<NAME> as the bytes of INPUT and
# ulkimages::<NAME>Size as their count.

foreach(var INPUT OUTPUT NAME)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "EmbedFile.cmake needs -D${var}=...")
    endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR byteCount "${hexLength} / 2")
if(byteCount EQUAL 0)
    message(FATAL_ERROR "${INPUT} is empty")
endif()

# Character literals rather than numbers: a char may be signed, and 0x89 in a
# brace list of signed chars would be a narrowing error.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
# Twenty bytes a line (CMake's regular expressions have no counted repeats).
string(REPEAT "'[^']+'," 20 twentyBytes)
string(REGEX REPLACE "(${twentyBytes})" "\\1\n    " bytes "${bytes}")

get_filename_component(inputName "${INPUT}" NAME)
file(WRITE "${OUTPUT}"
"// Made by the build from ${inputName}; do not edit.

#include \"UlkImages.h\"

namespace ulkimages
{
const char ${NAME}[] = {
    ${bytes}
};
const int ${NAME}Size = ${byteCount};
} // namespace ulkimages
")
