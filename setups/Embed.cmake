# Writes the bytes of INPUT as a C++ array into OUTPUT, named NAME
# (k<NAME>Bytes and k<NAME>Size; NAME defaults to DefaultSetup).
if(NOT NAME)
  set(NAME DefaultSetup)
endif()
get_filename_component(source ${INPUT} NAME)
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from ${source} at build time.\n#include <cstddef>\nnamespace dcdrive {\nextern const unsigned char k${NAME}Bytes[] = {\n${bytes}0x00};\nextern const std::size_t k${NAME}Size = ${size};\n}  // namespace dcdrive\n")
