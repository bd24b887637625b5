// The program's compiled resources (the platform's .res layout), built from quillex.rc
// and linked into the program as bytes; the emulated loader reads them from here.
#pragma once

#include <cstddef>

namespace quillex_resources {

extern const unsigned char kBytes[];  // aligned to 4 bytes, as the .res entries are
extern const std::size_t kSize;

}  // namespace quillex_resources
