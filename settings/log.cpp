// The activity log: one timestamped 8-bit line per call, appended to Quillex.log in the
// install directory, which is emptied once it has grown past 60000 bytes.
#include "app/quillex.h"

namespace {

const LONG kLogLimit = 60000;

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

void writeBytes(HANDLE file, const char* bytes, DWORD count) {
    DWORD written;
    WriteFile(file, bytes, count, &written, nullptr);
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
    SetFilePointer(file, 0, nullptr, FILE_END);

    SYSTEMTIME now;
    GetLocalTime(&now);
    char prefix[18];
    StringCchPrintfA(prefix, sizeof prefix, "%02d/%02d %02d:%02d:%02d ->", now.wDay, now.wMonth, now.wHour,
                     now.wMinute, now.wSecond);
    writeBytes(file, prefix, textLength(prefix));
    writeBytes(file, text, textLength(text));
    writeBytes(file, "\r\n", 2);
    FlushFileBuffers(file);
    CloseHandle(file);
}
