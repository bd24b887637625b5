// Processes, libraries, restarts and the platform version. A start is recorded in the
// journal and runs host code only when its program file is registered with a host program;
// the shell's restart is recorded and returns, the kernel's ends the process at once.
#include "device/kernel/processes.h"

#include "device/core/changes.h"
#include "device/core/faults.h"
#include "device/core/folder.h"
#include "device/core/preview.h"
#include "device/core/store.h"
#include "device/core/utf.h"
#include "device/kernel/clock.h"
#include "device/kernel/handles.h"
#include "device/kernel/journal.h"
#include "platform/winfile.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <vector>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace device {
namespace {

// Error codes of this family that no other family reports.

const char kVersionSetting[] = "platform.version";

HostArguments hostArguments = nullptr;

class ModuleObject : public KernelObject {
public:
    int references = 1;  // LoadLibraryW hands out one handle per library and counts the loads
};
class ProcessObject : public KernelObject {};
class ThreadObject : public KernelObject {};

std::mutex moduleLock;
HANDLE shellModule = nullptr;

// Decimal digits only, at most 32 bits.
std::optional<DWORD> parseDecimal(const std::string& text) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    uint64_t value = std::stoull(text);
    if (value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<DWORD>(value);
}

// A device path where a start looks for the program: a bare name lies in "\Windows".
std::u16string programPath(std::u16string_view application) {
    if (!application.empty() && application[0] == u'\\') return std::u16string(application);
    return u"\\Windows\\" + std::u16string(application);
}

void reap(pid_t child) {
    int status;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

// Forks and executes `args`. A detached start forks twice, so the program is nobody's
// child here and the intermediate process exits at once. The exec reports its own failure
// through a close-on-exec pipe, so *ran is known when this returns.
// RETURNS the process to reap (the program, or the intermediate one), or -1.
pid_t spawn(const std::vector<std::string>& args, bool detach, bool* ran) {
    *ran = false;
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return -1;
    pid_t child = fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return -1;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on: the parent may have other threads.
        ::close(report[0]);
        int error = 0;
        if (detach) {
            pid_t program = fork();
            if (program > 0) _exit(0);
            if (program < 0) error = errno;
        }
        if (error == 0) {
            execv(argv[0], argv.data());
            error = errno;
        }
        ssize_t ignored = write(report[1], &error, sizeof error);
        (void)ignored;
        _exit(127);
    }
    ::close(report[1]);
    int error = 0;
    ssize_t got;
    while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    *ran = got == 0;  // end of file: every copy of the pipe closed on a successful exec
    return child;
}

}  // namespace

PlatformVersion platformVersion() {
    return parsePlatformVersion(settingGet(kVersionSetting, "")).value_or(PlatformVersion{});
}

bool platformVersionSet(PlatformVersion version) { return settingSet(kVersionSetting, formatPlatformVersion(version)); }

std::optional<PlatformVersion> parsePlatformVersion(const std::string& text) {
    size_t dot = text.find('.');
    if (dot == std::string::npos) return std::nullopt;
    std::optional<DWORD> major = parseDecimal(text.substr(0, dot));
    std::optional<DWORD> minor = parseDecimal(text.substr(dot + 1));
    if (!major || !minor) return std::nullopt;
    return PlatformVersion{*major, *minor};
}

std::string formatPlatformVersion(PlatformVersion version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor);
}

std::string ownExecutable() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

void programArgumentsRegister(HostArguments arguments) { hostArguments = arguments; }

bool programRegister(std::u16string_view devicePath, const std::string& hostProgram) {
    if (devicePath.empty() || devicePath[0] != u'\\' || hostProgram.empty()) return false;
    Statement insert(store(), "INSERT INTO programs(fold, path, host) VALUES(?, ?, ?) "
                              "ON CONFLICT(fold) DO UPDATE SET path = excluded.path, host = excluded.host");
    return insert.bind(1, foldKey(devicePath)).bind(2, toUtf8(devicePath)).bind(3, hostProgram).run();
}

std::optional<std::string> programHost(std::u16string_view devicePath) {
    Statement query(store(), "SELECT host FROM programs WHERE fold = ?");
    if (!query.bind(1, foldKey(devicePath)).step()) return std::nullopt;
    return query.columnText(0);
}

StartOutcome programStart(const WCHAR* application, const WCHAR* commandLine, bool wait) {
    StartOutcome outcome;
    std::u16string path = programPath(application);
    DWORD attributes = GetFileAttributesW(path.c_str());
    outcome.found = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    std::string line = toUtf8(commandLine ? commandLine : u"");

    // Recorded before anything runs, so the journal lists the start ahead of whatever the
    // started program records.
    JournalEvent event;
    event.kind = "start";
    event.time = clockNow();
    event.application = toUtf8(application);
    event.arguments = line;
    event.found = outcome.found;
    outcome.event = journalRecord(event);
    if (changesRecording())
        changeAdd(Change{ProgramStarted{.application = toUtf8(application), .commandLine = line, .found = outcome.found}});
    // A preview starts nothing: the start is in the record and the preview's journal.
    if (!outcome.found || previewing()) return outcome;
    std::optional<std::string> host = programHost(path);
    if (!host) return outcome;

    std::error_code error;
    std::string deviceDir = fs::absolute(dir(), error).string();
    std::vector<std::string> args{*host};
    if (hostArguments) args = hostArguments(*host, deviceDir, line);
    else if (!line.empty()) args.push_back(line);
    pid_t child = spawn(args, !wait, &outcome.hostRan);
    if (outcome.hostRan && outcome.event) journalSetHostRan(outcome.event);
    if (child > 0) reap(child);
    return outcome;
}

}  // namespace device

using namespace device;

namespace {

// The shell's restart entry point: the restart is requested, and the call returns.
BOOL shellExitWindowsEx(UINT flags, DWORD reserved) {
    (void)reserved;
    if (faultHit("ExitWindowsEx")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (flags != EWX_REBOOT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    JournalEvent event;
    event.kind = "restart";
    event.time = clockNow();
    event.by = "shell";
    if (!journalRecord(event)) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    if (changesRecording()) changeAdd(Change{Restart{.by = "shell"}});
    return TRUE;
}

bool isShellLibrary(const WCHAR* name) {
    std::string folded = foldKey(name);
    const std::string folder = "\\windows\\";
    if (folded.compare(0, folder.size(), folder) == 0) folded.erase(0, folder.size());
    return folded == "aygshell.dll" || folded == "aygshell";
}

}  // namespace

BOOL GetVersionExW(LPOSVERSIONINFOW info) {
    if (faultHit("GetVersionExW") || !info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PlatformVersion version = platformVersion();
    info->dwMajorVersion = version.major;
    info->dwMinorVersion = version.minor;
    info->dwBuildNumber = 0;
    info->dwPlatformId = VER_PLATFORM_WIN32_CE;
    info->szCSDVersion[0] = 0;
    return TRUE;
}

HMODULE LoadLibraryW(LPCWSTR name) {
    if (faultHit("LoadLibraryW")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!name || !isShellLibrary(name)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(moduleLock);
    if (ModuleObject* loaded = handleGet<ModuleObject>(shellModule)) {
        ++loaded->references;
    } else {
        shellModule = handleInsert(std::make_unique<ModuleObject>());
    }
    return reinterpret_cast<HMODULE>(shellModule);
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR name) {
    if (faultHit("GetProcAddressW")) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (!handleGet<ModuleObject>(reinterpret_cast<HANDLE>(module))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Export names match exactly, case included.
    if (!name || std::u16string_view(name) != u"ExitWindowsEx") {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(&shellExitWindowsEx);
}

BOOL FreeLibrary(HMODULE module) {
    if (faultHit("FreeLibrary")) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(module);
    std::lock_guard<std::mutex> guard(moduleLock);
    ModuleObject* loaded = handleGet<ModuleObject>(handle);
    if (!loaded) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--loaded->references == 0) handleRemove(handle);
    return TRUE;
}

BOOL KernelIoControl(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned) {
    (void)in;
    (void)inSize;
    (void)out;
    (void)outSize;
    (void)returned;
    if (faultHit("KernelIoControl")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (code != IOCTL_HAL_REBOOT) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    // The journal statement has committed when it returns: the event outlives the reset.
    JournalEvent event;
    event.kind = "restart";
    event.time = clockNow();
    event.by = "kernel";
    journalRecord(event);
    if (changesRecording()) changeAdd(Change{Restart{.by = "kernel"}});
    // The host face has its last word (a preview's report among it), then the reset: the
    // process ends here, with nothing of it run further. Host output already
    // written is kept, as it is no part of the device.
    changesProcessEnding();
    std::fflush(nullptr);
    _exit(0);
}

BOOL CreateProcessW(LPCWSTR application, LPWSTR commandLine, LPVOID processAttributes, LPVOID threadAttributes,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
                    LPVOID startupInfo, LPPROCESS_INFORMATION info) {
    if (faultHit("CreateProcessW")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (!application || processAttributes || threadAttributes || inheritHandles || creationFlags || environment ||
        currentDirectory || startupInfo) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!isOpen()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    StartOutcome outcome = programStart(application, commandLine, false);
    if (!outcome.found) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (info) {
        // Identifiers unique on the device: drawn from the start's place in the journal.
        DWORD id = static_cast<DWORD>(outcome.event > 0 ? outcome.event : getpid());
        info->hProcess = handleInsert(std::make_unique<ProcessObject>());
        info->hThread = handleInsert(std::make_unique<ThreadObject>());
        info->dwProcessId = id * 2;
        info->dwThreadId = id * 2 + 1;
    }
    return TRUE;
}
