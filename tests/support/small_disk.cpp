#include "tests/support/small_disk.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace testing_support {

std::string smallDiskUnavailable() {
    // The first call moves this process (and the programs it runs) into a mount namespace of
    // its own, where mounts reach no other process and end with it.
    static const std::string why = []() -> std::string {
        if (geteuid() != 0) return "mounting one needs root";
        if (unshare(CLONE_NEWNS) != 0) return std::string("no mount namespace of its own: ") + std::strerror(errno);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return std::string("mounts not private: ") + std::strerror(errno);
        }
        return "";
    }();
    return why;
}

SmallDisk::SmallDisk(size_t bytes) {
    if (!smallDiskUnavailable().empty()) throw std::runtime_error("no small disk: " + smallDiskUnavailable());
    std::string pattern = (std::filesystem::temp_directory_path() / "quillex-disk-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = buffer.data();
    std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (mount("tmpfs", dir_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        rmdir(dir_.c_str());
        throw std::runtime_error(std::string("mount tmpfs: ") + std::strerror(errno));
    }
}

SmallDisk::~SmallDisk() {
    umount2(dir_.c_str(), MNT_DETACH);
    rmdir(dir_.c_str());
}

size_t SmallDisk::available() const {
    struct statvfs info;
    return statvfs(dir_.c_str(), &info) == 0 ? static_cast<size_t>(info.f_bavail) * info.f_frsize : 0;
}

void SmallDisk::fillLeaving(size_t bytes) const {
    size_t free = available();
    if (free <= bytes) return;
    int fd = open((dir_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    static const char zeros[4096] = {};
    for (size_t left = free - bytes; left > 0;) {
        ssize_t wrote = write(fd, zeros, left < sizeof zeros ? left : sizeof zeros);
        if (wrote <= 0) break;
        left -= static_cast<size_t>(wrote);
    }
    close(fd);
}

}  // namespace testing_support
