# Writes the bytes of INPUT as a C++ array into OUTPUT.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexlen)
math(EXPR size "${hexlen} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from default.json at build time.\n#include <cstddef>\nnamespace dcdrive {\nextern const unsigned char kDefaultSetupBytes[] = {\n${bytes}0x00};\nextern const std::size_t kDefaultSetupSize = ${size};\n}  // namespace dcdrive\n")
