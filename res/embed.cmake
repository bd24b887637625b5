# Writes a compiled resource file as a C++ byte array: cmake -DINPUT=x.res -DOUTPUT=x.cpp -P this.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes a line (CMake's expressions have no repeat counts).
string(REPEAT "0x..," 16 line)
string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
get_filename_component(source "${INPUT}" NAME)
file(WRITE "${OUTPUT}"
"// Generated from ${source} at build time; do not edit.\n"
"#include \"res/embedded.h\"\n\n"
"namespace quillex_resources {\n\n"
"alignas(4) extern const unsigned char kBytes[] = {\n    ${bytes}\n};\n"
"extern const std::size_t kSize = ${size};\n\n"
"}  // namespace quillex_resources\n")
