// Test support: a fresh emulated device in a temporary folder for each test, and
// small helpers to lay out files, read them back and run the built programs.
#pragma once

#include "platform/windows.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// Creates a new device in a fresh temporary folder and opens it for this process;
// the destructor closes it and removes the folder.
class ScopedDevice {
public:
    ScopedDevice();
    ~ScopedDevice();
    ScopedDevice(const ScopedDevice&) = delete;
    ScopedDevice& operator=(const ScopedDevice&) = delete;

    const std::string& dir() const { return dir_; }
    // The host path of a device path: "\Temp\a.txt" -> "<dir>/fs/Temp/a.txt".
    std::string host(const std::string& devicePath) const;
    // Creates the file (and its folders) with `size` bytes, or with `content`.
    void writeFile(const std::string& devicePath, size_t size) const;
    void writeText(const std::string& devicePath, const std::string& content) const;
    void makeFolder(const std::string& devicePath) const;
    bool exists(const std::string& devicePath) const;
    std::string readText(const std::string& devicePath) const;
    static std::string readHostFile(const std::string& hostPath);

private:
    std::string dir_;
};

// A device path as the platform's wide text.
std::u16string wide(const std::string& text);

// Sets a REG_SZ value (creating its key); `root` is HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE.
void setRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value);
void setRegBytes(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& bytes);
void deleteRegKey(HKEY root, const std::string& key);

struct RunResult {
    int exitCode;
    std::string output;  // standard output and standard error together
};

// Runs one of the built programs (QUILLEX_BIN, QUILLEX_DEVICE_BIN) with `args`,
// `input` on its standard input.
RunResult run(const std::string& program, const std::vector<std::string>& args, const std::string& input = "");

// Host paths of the built programs.
std::string quillexBinary();
std::string deviceToolBinary();

// The lines of a log file, without their "\r\n".
std::vector<std::string> logLines(const std::string& text);

}  // namespace testing_support
