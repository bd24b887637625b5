// The activity log: one timestamped 8-bit line per call, appended to Quillex.log in the
// install directory, which is emptied once it has grown past 60000 bytes.
#include "app/quillex.h"

namespace {

const LONG kLogLimit = 60000;
const DWORD kPrefixLength = 17;
// Room for the prefix, the longest text any caller passes and the line end; a longer text
// gets a block of its own.
const DWORD kLineCapacity = 640;

// The log is opened without sharing, so a second process writing at the same moment
// finds it held. Such an open is retried for about a second before the line is given up.
const int kOpenAttempts = 20;
const DWORD kOpenRetryMs = 50;

HANDLE openLog(const WCHAR* path, DWORD disposition) {
    for (int attempt = 1;; ++attempt) {
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION || attempt == kOpenAttempts)
            return file;
        Sleep(kOpenRetryMs);
    }
}

DWORD textLength(const char* text) {
    DWORD length = 0;
    while (text[length]) ++length;
    return length;
}

}  // namespace

void writeLog(const char* text) {
    WCHAR path[MAX_PATH];
    // An install directory too long for the log's path loses the line rather than
    // writing to a cut path.
    if (FAILED(StringCchPrintfW(path, MAX_PATH, TEXT("%s\\Quillex.log"), installDir))) return;

    HANDLE file = openLog(path, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return;
    if (static_cast<LONG>(GetFileSize(file, nullptr)) > kLogLimit) {
        CloseHandle(file);
        file = openLog(path, TRUNCATE_EXISTING);
        if (file == INVALID_HANDLE_VALUE) return;
    }
    // A log of 4 GiB or more has no end that 32 bits can tell, and the move there fails;
    // the line is then lost, since written where the pointer stands it would overwrite the
    // start of the log.
    SetLastError(ERROR_SUCCESS);
    if (SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) {
        CloseHandle(file);
        return;
    }

    // The whole line goes out in one write, so that a process ended at any moment leaves
    // whole lines behind it, never a prefix without its text or a line without its end.
    DWORD length = kPrefixLength + textLength(text) + 2;
    char fixedLine[kLineCapacity];
    char* line = length <= kLineCapacity ? fixedLine : static_cast<char*>(LocalAlloc(LMEM_FIXED, length));
    if (!line) {
        CloseHandle(file);
        return;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    StringCchPrintfA(line, kPrefixLength + 1, "%02d/%02d %02d:%02d:%02d ->", now.wDay, now.wMonth, now.wHour,
                     now.wMinute, now.wSecond);
    for (DWORD i = kPrefixLength; i < length - 2; ++i) line[i] = text[i - kPrefixLength];
    line[length - 2] = '\r';
    line[length - 1] = '\n';
    DWORD written;
    WriteFile(file, line, length, &written, nullptr);
    if (line != fixedLine) LocalFree(line);
    FlushFileBuffers(file);
    CloseHandle(file);
}
