// Demo clutter for a device: what `quillex-device init --demo` lays out so that every
// cleaning action of Quillex has something realistic to find.
#pragma once

#include <string>

namespace host {

// Fills the open device with temporary files, a browser cache of randomly named
// sub-folders with an index file, browser history, the offline reader's cache and the
// browser's history lists. The same device always receives the same clutter.
// RETURNS true; false with *error set.
bool fillDemo(std::string* error);

}  // namespace host
