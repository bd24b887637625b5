// Demo clutter for a device: what `quillex-device init --demo` lays out so that every
// cleaning action of Quillex has something realistic to find.
#pragma once

#include <string>

namespace host {

// Fills the open device with temporary files, a browser cache of randomly named
// sub-folders with an index file, browser history, the offline reader's cache and the
// browser's history lists, and its queue with a well-used device's entries; then records
// that it did. The same device always receives the same clutter. A fill cut short (a
// file it could not replace) adds no entries and may be repeated.
// RETURNS true; false with *error set, naming what could not be made.
bool fillDemo(std::string* error);

// Whether the open device has had its demo clutter laid out already.
bool demoLaidOut();

}  // namespace host
