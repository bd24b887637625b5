// The progress line. The action's label comes from the log line that starts it, read by
// the report's own rules (formats/logline.h); a change is counted in a few instructions,
// and the terminal is written to only when a tenth of a second has passed since the last
// drawing.
#include "host/quillex/progress.h"

#include "device/core/changes.h"
#include "formats/logline.h"
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

// A whole log line read as the report reads it: one that starts an action names the line,
// and one that ends it leaves the line to whatever comes next.
void noteLogWrite(const std::string& bytes) {
    if (bytes.empty() || bytes.back() != '\n') return;  // not a whole line yet
    formats::LogLine read = formats::logLineRead(formats::logLinesSplit(bytes).back());
    if (read.role == formats::LogRole::Neither) return;
    erase();
    state.action = read.role == formats::LogRole::Starts ? actionLabel(read.action) : "working";
    state.actionStarted = now();
    state.files = state.bytes = 0;
}

void onChange(const device::Change& change) {
    const auto* write = std::get_if<device::FileWritten>(&change.what);
    if (write && strcasecmp(write->path.c_str(), state.logPath.c_str()) == 0) {
        noteLogWrite(write->bytes);
        return;
    }
    if (const auto* deleted = std::get_if<device::FileDeleted>(&change.what)) {
        state.bytes += deleted->size;
        ++state.files;
    }
    if (std::holds_alternative<device::FileKept>(change.what)) ++state.files;
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
