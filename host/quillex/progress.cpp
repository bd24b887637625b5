// The progress line. The action's name comes from the log line that starts it, as in the
// report; a change is counted in a few instructions, and the terminal is written to only
// when a tenth of a second has passed since the last drawing.
#include "host/quillex/progress.h"

#include "device/core/changes.h"
#include "host/quillex/report.h"

#include <cstdio>
#include <ctime>
#include <strings.h>
#include <unistd.h>

namespace host {
namespace {

constexpr double kShowAfter = 0.5, kRedrawEvery = 0.1;

struct Progress {
    std::string logPath;
    std::string action = "working";
    double actionStarted = 0, lastDrawn = 0;
    uint64_t files = 0, bytes = 0;
    bool shown = false;
};
Progress state;

double now() {
    timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

void erase() {
    if (!state.shown) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    state.shown = false;
}

// A log line that is a bare name starts a new action.
void noteLogWrite(const std::string& bytes) {
    size_t arrow = bytes.rfind("->");
    if (arrow == std::string::npos || bytes.size() < 2 || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0) return;
    std::string text = bytes.substr(arrow + 2, bytes.size() - arrow - 4);
    if (text.empty() || text.find_first_of(" :") != std::string::npos) return;
    erase();
    state.action = text;
    state.actionStarted = now();
    state.files = state.bytes = 0;
}

void onChange(const device::Change& change) {
    using device::ChangeKind;
    if (change.kind == ChangeKind::FileWritten && strcasecmp(change.path.c_str(), state.logPath.c_str()) == 0) {
        noteLogWrite(change.detail);
        return;
    }
    if (change.kind == ChangeKind::FileDeleted) state.bytes += change.size;
    if (change.kind == ChangeKind::FileDeleted || change.kind == ChangeKind::FileKept) ++state.files;
    double time = now();
    if (time - state.actionStarted < kShowAfter || time - state.lastDrawn < kRedrawEvery) return;
    state.lastDrawn = time;
    state.shown = true;
    std::fprintf(stderr, "\r\033[K%s: %s files, %s freed", state.action.c_str(), countText(state.files).c_str(),
                 sizeText(state.bytes).c_str());
    std::fflush(stderr);
}

}  // namespace

void progressStart(const std::string& logPath) {
    if (!isatty(STDERR_FILENO)) return;
    state = Progress{};
    state.logPath = logPath;
    state.actionStarted = now();
    device::changesListen(onChange);
}

void progressStop() {
    erase();
    device::changesListen(nullptr);
}

}  // namespace host
