# Writes a compiled resource file (.res) into a C++ source as the bytes the effect checker adds to
# the simulated module (effect_check/resources.cpp reads them).
#   cmake -DRES=file.res -DOUT=file.cpp -P embed_resources.cmake
file(READ "${RES}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
file(WRITE "${OUT}" "// Made by cmake/embed_resources.cmake from ${RES}.\n#include <cstddef>\n"
     "extern const unsigned char SaverCheckResources[] = {${bytes}0};\n"
     "extern const size_t SaverCheckResourcesSize = ${size};\n")
