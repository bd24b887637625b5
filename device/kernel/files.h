// What the file family tells the rest of the device beyond the platform's calls: how many
// entries the program's searches have listed, so a screen can show that long work goes on.
#pragma once

#include <cstdint>
#include <functional>

namespace device {

// RETURNS how many entries FindFirstFileW and FindNextFileW have returned in this process.
uint64_t filesListed();

// Called after each entry they return; nullptr removes it. The hook must not call the
// file family itself.
void setFilesListedHook(std::function<void()> hook);

}  // namespace device
