// The host's registrations for Quillex. The install puts in place what Quillex's own
// installer would: its folder and program file, and the install key its code reads.
#include "host/program/program.h"

#include "app/quillex.h"
#include "device/boot/device.h"
#include "device/core/utf.h"
#include "device/kernel/processes.h"
#include "device/screens/input.h"
#include "device/windowing/resources.h"
#include "platform/windows.h"
#include "res/embedded.h"

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace host {
namespace {

// A function's own static, so that a registration made while the process starts finds it made.
std::string& quillexHostProgram() {
    static std::string hostProgram;
    return hostProgram;
}

const WCHAR kInstallFolder[] = TEXT("\\Program Files\\Quillex");
const WCHAR kProgramFile[] = TEXT("\\Program Files\\Quillex\\Quillex.exe");

bool installQuillex(std::string* error) {
    if (!CreateDirectoryW(kInstallFolder, nullptr) && GetFileAttributesW(kInstallFolder) == INVALID_FILE_ATTRIBUTES) {
        *error = "cannot create the device's standard folders";
        return false;
    }
    if (!device::installFile(kProgramFile, "Quillex for the emulated device: a start of this file runs the host's quillex.\r\n")) {
        *error = "cannot create the device's program files";
        return false;
    }
    // A start of Quillex.exe runs this build's quillex, when this process knows where it is;
    // otherwise an earlier registration stays as it is.
    if (!quillexHostProgram().empty() && !device::programRegister(kProgramFile, quillexHostProgram())) {
        *error = "cannot register the host program of Quillex.exe";
        return false;
    }
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, TEXT("Software\\Apps\\Holvenark Quillex"), 0, nullptr, 0, 0, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        *error = "cannot create the install key";
        return false;
    }
    LONG result = RegSetValueExW(key, TEXT("InstallDir"), 0, REG_SZ, reinterpret_cast<const BYTE*>(kInstallFolder),
                                 sizeof kInstallFolder);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        *error = "cannot write the install key";
        return false;
    }
    return true;
}

// The command line follows "--", so no part of it is taken for a host option; the started
// program's own report is not wanted on whoever started it.
std::vector<std::string> quillexArguments(const std::string& hostProgram, const std::string& deviceDir,
                                          const std::string& commandLine) {
    std::vector<std::string> args{hostProgram, "--device", deviceDir, "--quiet", "--"};
    if (!commandLine.empty()) args.push_back(commandLine);
    return args;
}

}  // namespace

void introduceProgram(const std::string& quillexHost) {
    quillexHostProgram() = quillexHost;
    device::installAlso(installQuillex);
    device::programArgumentsRegister(quillexArguments);
    device::programResourcesRegister(quillex_resources::kBytes, quillex_resources::kSize);
    device::keyHelpRegister({
        {u"Quillex", "quit", "quit"},
        {u"Auto-start", "save", nullptr},
        {u"About Quillex", "close", nullptr},
    });
}

std::string findQuillexNear(const std::string& executable) {
    if (executable.empty()) return std::string();
    fs::path folder = fs::path(executable).parent_path();
    for (const fs::path& candidate : {folder / "quillex", folder.parent_path() / "quillex"}) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error) && access(candidate.c_str(), X_OK) == 0) {
            fs::path found = fs::canonical(candidate, error);
            return error ? fs::absolute(candidate).string() : found.string();
        }
    }
    return std::string();
}

std::string activityLogPath() {
    WCHAR folder[MAX_PATH];
    readInstallDir(folder);
    return device::toUtf8(folder) + "\\Quillex.log";
}

}  // namespace host
