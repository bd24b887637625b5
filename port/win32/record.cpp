// The record of the calls the port stands in for: kept in memory for the process, and
// appended to a file when QUILLEX_CALL_RECORD names one.
#include "port/win32/port.h"

#include <cstdio>
#include <cstdlib>

namespace port {

namespace {

std::vector<std::string>& lines() {
    static std::vector<std::string> recorded;
    return recorded;
}

}  // namespace

std::string utf8(const WCHAR* text) {
    if (!text || !text[0]) return {};
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return {};
    std::string converted(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), bytes, nullptr, nullptr);
    converted.resize(static_cast<size_t>(bytes) - 1);
    return converted;
}

void recordCall(const std::string& line) {
    lines().push_back(line);
    const char* file = std::getenv("QUILLEX_CALL_RECORD");
    if (!file || !file[0]) return;
    if (FILE* out = std::fopen(file, "ab")) {
        std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
    }
}

const std::vector<std::string>& callRecord() { return lines(); }

void clearCallRecord() { lines().clear(); }

}  // namespace port
