#include "tests/support/scoped_device.h"

#include "device/boot/device.h"
#include "device/core/faults.h"
#include "device/core/utf.h"
#include "host/program/program.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testing_support {
namespace {

// Every test process knows the program as the host programs make it known: its install,
// how its starts run, its resources and its windows' key help. No quillex host program is
// registered unless a test does so.
const bool programIntroduced = (host::introduceProgram(""), true);

}  // namespace

ScopedDevice::ScopedDevice() {
    std::string pattern = (fs::temp_directory_path() / "quillex-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = buffer.data();
    std::string error;
    if (!device::open(dir_ + "/device", &error)) throw std::runtime_error("device::open: " + error);
    dir_ += "/device";
    device::faultDisarmAll();
}

ScopedDevice::~ScopedDevice() {
    device::faultDisarmAll();
    device::close();
    std::error_code ignored;
    fs::path top = fs::path(dir_).parent_path();
    // Tests make files read-only; give write permission back so they can be removed.
    for (auto it = fs::recursive_directory_iterator(top, fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (!it->is_symlink(ignored)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(top, ignored);
}

std::string ScopedDevice::host(const std::string& devicePath) const {
    std::string path = devicePath;
    for (char& c : path)
        if (c == '\\') c = '/';
    return dir_ + "/fs" + path;
}

void ScopedDevice::writeFile(const std::string& devicePath, size_t size) const {
    writeText(devicePath, std::string(size, 'x'));
}

void ScopedDevice::writeText(const std::string& devicePath, const std::string& content) const {
    fs::path path = host(devicePath);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

void ScopedDevice::makeFolder(const std::string& devicePath) const { fs::create_directories(host(devicePath)); }

bool ScopedDevice::exists(const std::string& devicePath) const {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(host(devicePath), ignored));
}

std::string ScopedDevice::readText(const std::string& devicePath) const { return readHostFile(host(devicePath)); }

std::string ScopedDevice::readHostFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::u16string wide(const std::string& text) { return device::toUtf16(text); }

static HKEY createKey(HKEY root, const std::string& key) {
    HKEY opened = nullptr;
    std::u16string name = wide(key);
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, name.c_str(), 0, nullptr, 0, 0, nullptr, &opened, nullptr));
    return opened;
}

void setRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
    std::u16string data = wide(value);
    setRegBytes(root, key, name, REG_SZ,
                std::string(reinterpret_cast<const char*>(data.c_str()), (data.size() + 1) * sizeof(WCHAR)));
}

void setRegBytes(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& bytes) {
    HKEY opened = createKey(root, key);
    std::u16string valueName = wide(name);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(opened, valueName.c_str(), 0, type,
                                            reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size())));
    RegCloseKey(opened);
}

void deleteRegKey(HKEY root, const std::string& key) {
    std::u16string name = wide(key);
    RegDeleteKeyW(root, name.c_str());
}

RunResult run(const std::string& program, const std::vector<std::string>& args, const std::string& input) {
    std::string inputPath = (fs::temp_directory_path() / ("quillex-input-" + std::to_string(getpid()))).string();
    {
        std::ofstream in(inputPath, std::ios::binary | std::ios::trunc);
        in << input;
    }
    std::string command = "'" + program + "'";
    for (const std::string& arg : args) {
        std::string quoted;
        for (char c : arg) {
            if (c == '\'') quoted += "'\\''";
            else quoted += c;
        }
        command += " '" + quoted + "'";
    }
    command += " < '" + inputPath + "' 2>&1";
    RunResult result{-1, ""};
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[4096];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) result.output.append(chunk, got);
        int status = pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::remove(inputPath.c_str());
    return result;
}

std::string quillexBinary() { return QUILLEX_BIN; }
std::string deviceToolBinary() { return QUILLEX_DEVICE_BIN; }

std::vector<std::string> logLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace testing_support
