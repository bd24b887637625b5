// A progress line for long actions on a terminal: once an action has run for half a
// second, one line on standard error shows it, the files handled and the bytes freed so
// far, redrawn at most ten times a second and erased when the action or the run ends.
#pragma once

#include <string>

namespace host {

// Listens to the record of changes (device/core/changes.h) while the run lasts. Does
// nothing unless standard error is a terminal. `logPath`: the activity log's device path,
// whose lines name the actions.
void progressStart(const std::string& logPath);

// Erases the line, if shown, and stops listening.
void progressStop();

}  // namespace host
