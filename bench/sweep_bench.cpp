// The sweep's side of bench/compare.sh: builds benchmark trees, and runs one measure or
// clean of \Temp on an existing device so that the script can time it beside du, the
// floor and find on identical trees.
//   sweep_bench tree FOLDER FILES     FILES small files, 1,000 to a sub-folder of FOLDER
//   sweep_bench measure DEVICE        prints cleanupTemp(0), the bytes in \Temp
//   sweep_bench clean DEVICE          runs cleanupTemp(1)
#include "app/quillex.h"
#include "device/boot/device.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sizes 0 to 96 bytes, so a measure adds something real and no file needs a data block
// beyond the first.
bool buildTree(const std::string& root, long files) {
    const long perFolder = 1000;
    static const std::string filler(96, 'x');
    std::string folder;
    for (long i = 0; i < files; ++i) {
        if (i % perFolder == 0) {
            folder = root + "/dir" + std::to_string(i / perFolder);
            if (mkdir(folder.c_str(), 0777) != 0) return false;
        }
        std::string path = folder + "/file" + std::to_string(i) + ".tmp";
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) return false;
        size_t size = static_cast<size_t>(i % 97);
        bool written = write(fd, filler.data(), size) == static_cast<ssize_t>(size);
        ::close(fd);
        if (!written) return false;
    }
    return true;
}

int usage() {
    std::fprintf(stderr, "usage: sweep_bench tree FOLDER FILES | measure DEVICE | clean DEVICE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    if (std::strcmp(argv[1], "tree") == 0) {
        if (argc != 4) return usage();
        if (mkdir(argv[2], 0777) != 0 || !buildTree(argv[2], std::atol(argv[3]))) {
            std::perror(argv[2]);
            return 1;
        }
        return 0;
    }
    bool clean = std::strcmp(argv[1], "clean") == 0;
    if (!clean && std::strcmp(argv[1], "measure") != 0) return usage();
    std::string error;
    if (!device::open(argv[2], &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    resolveInstallDir();
    DWORD result = cleanupTemp(clean ? 1 : 0);
    if (!clean) std::printf("%u\n", result);
    device::close();
    return 0;
}
