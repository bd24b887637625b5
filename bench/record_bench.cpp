// What the record of changes (what quillex reports from) costs a real run: measures and
// cleans a \Temp of 100,000 files (100 sub-folders of 1,000 files, two levels as the sweep
// reaches) beside `du -sb` and `find -delete` on identical trees, then cleans fresh trees
// with the record off and on, alternately, and reports the best and the median of each.
//   record_bench [FILES [ROUNDS [recording]]]   "recording": only the last comparison
// The trees are built under $TMPDIR (e.g. TMPDIR=/dev/shm to leave the disk out).
#include "app/quillex.h"
#include "device/boot/device.h"
#include "device/core/changes.h"

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void buildTree(const fs::path& root, int files) {
    const int perFolder = 1000;
    for (int i = 0; i < files; ++i) {
        fs::path folder = root / ("dir" + std::to_string(i / perFolder));
        if (i % perFolder == 0) fs::create_directories(folder);
        std::ofstream(folder / ("file" + std::to_string(i) + ".tmp")) << std::string(static_cast<size_t>(i % 97), 'x');
    }
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double cpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double timeCommand(const std::string& command) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
    return seconds(start);
}

// Reads a tree once, so the timed runs all find it in the page cache.
void warm(const fs::path& tree) {
    std::string command = "du -sb '" + tree.string() + "' > /dev/null";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
}

void report(const char* what, int files, double elapsed) {
    std::printf("%-28s %8.3f s  %12.0f files/s\n", what, elapsed, files / elapsed);
}

}  // namespace

int main(int argc, char** argv) {
    int files = argc > 1 ? std::atoi(argv[1]) : 100000;
    int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    bool recordingOnly = argc > 3 && std::string(argv[3]) == "recording";
    fs::path work = fs::temp_directory_path() / ("quillex-bench-" + std::to_string(getpid()));
    std::string error;
    if (!device::open((work / "device").string(), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    resolveInstallDir();
    fs::path temp = work / "device" / "fs" / "Temp";
    fs::path twin = work / "twin";
    if (!recordingOnly) {
        std::printf("building two trees of %d files...\n", files);
        buildTree(temp, files);
        buildTree(twin, files);
        warm(temp);
        warm(twin);

        auto start = std::chrono::steady_clock::now();
        DWORD measured = cleanupTemp(0);
        report("quillex measure", files, seconds(start));
        report("du -sb", files, timeCommand("du -sb '" + twin.string() + "' > /dev/null"));

        start = std::chrono::steady_clock::now();
        cleanupTemp(1);
        report("quillex clean", files, seconds(start));
        report("find -delete", files, timeCommand("find '" + twin.string() + "' -mindepth 1 -delete"));

        std::printf("measured %u bytes; files left after clean: %zu\n", measured,
                    static_cast<size_t>(std::distance(fs::recursive_directory_iterator(temp), fs::recursive_directory_iterator())));
    }

    // The real run as quillex makes it: recording costs one record per file deleted.
    std::vector<double> times[2], cpuTimes[2];
    for (int round = 0; round < rounds; ++round) {
        for (int recording = 0; recording < 2; ++recording) {
            buildTree(temp, files);
            warm(temp);
            device::changesForget();
            device::changesRecord(recording != 0);
            auto start = std::chrono::steady_clock::now();
            double cpuStart = cpuSeconds();
            cleanupTemp(1);
            double elapsed = seconds(start), cpu = cpuSeconds() - cpuStart;
            device::changesRecord(false);
            report(recording ? "quillex clean, recording" : "quillex clean, not recording", files, elapsed);
            std::printf("%-28s %8.3f s of processor time\n", "", cpu);
            cpuTimes[recording].push_back(cpu);
            if (recording && device::changesSoFar().size() < static_cast<size_t>(files))
                std::fprintf(stderr, "only %zu changes recorded\n", device::changesSoFar().size());
            times[recording].push_back(elapsed);
        }
    }
    for (auto& list : times) std::sort(list.begin(), list.end());
    for (auto& list : cpuTimes) std::sort(list.begin(), list.end());
    // Processor time (user and system) is what the record adds to; wall time also holds
    // whatever else the disk is doing.
    std::printf("processor time: %+.1f%% by the best (%.3f s off, %.3f s on), %+.1f%% by the median\n",
                (cpuTimes[1][0] / cpuTimes[0][0] - 1) * 100, cpuTimes[0][0], cpuTimes[1][0],
                (cpuTimes[1][cpuTimes[1].size() / 2] / cpuTimes[0][cpuTimes[0].size() / 2] - 1) * 100);
    double median[2] = {times[0][times[0].size() / 2], times[1][times[1].size() / 2]};
    std::printf("wall time: recording costs %+.1f%% by the best (%.3f s off, %.3f s on), %+.1f%% by the median (%.3f s, %.3f s)\n",
                (times[1][0] / times[0][0] - 1) * 100, times[0][0], times[1][0], (median[1] / median[0] - 1) * 100,
                median[0], median[1]);
    device::close();
    fs::remove_all(work);
    return 0;
}
