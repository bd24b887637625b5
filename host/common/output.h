// What both host programs do with their standard output at the end, as GNU tools do: a
// report that could not be written whole is an error, never a silent success.
#pragma once

#include <string>

namespace host {

// Writes `text` to standard output, and flushes it. A write that fails is remembered with
// its reason, which a later flush could no longer tell, for finishOutput().
void writeOut(const std::string& text);

// Flushes and closes standard output. When a write or the close failed (a full disk, a
// closed pipe, /dev/full), says "PROGRAM: write error: REASON" on standard error.
// RETURNS true when everything written reached its place.
bool finishOutput(const char* program);

}  // namespace host
