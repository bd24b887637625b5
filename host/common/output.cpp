// Standard output checked at its close, as GNU's close_stdout does it.
#include "host/common/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace host {
namespace {

// The reason of the first write that failed, 0 while none has.
int firstFailure = 0;

void remember(int why) {
    if (firstFailure == 0) firstFailure = why;
}

}  // namespace

void writeOut(const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) remember(errno);
}

bool finishOutput(const char* program) {
    // std::cout shares stdout's buffer (the streams are synchronised), so one flush and one
    // close cover both; a stream that failed on its own is checked too.
    bool failed = !std::cout.good() || std::ferror(stdout) != 0;
    errno = 0;
    if (!std::cout.flush().good() && !failed) remember(errno);
    failed = failed || !std::cout.good();
    errno = 0;
    if (std::fflush(stdout) != 0) {
        failed = true;
        remember(errno);
    }
    // Nothing pending and nowhere to write (stdout closed when the program started) is no error.
    errno = 0;
    if (std::fclose(stdout) != 0 && !(errno == EBADF && !failed)) {
        failed = true;
        remember(errno);
    }
    if (!failed) return true;
    if (firstFailure != 0) {
        std::fprintf(stderr, "%s: write error: %s\n", program, std::strerror(firstFailure));
    } else {
        std::fprintf(stderr, "%s: write error\n", program);
    }
    return false;
}

}  // namespace host
