// Test support for a full disk: a small file system (tmpfs) of its own, mounted in a mount
// namespace private to the test process, so that it goes with the process however the
// test ends. Mounting needs root; a test that needs it starts with SKIP_UNLESS_SMALL_DISK().
#pragma once

#include <cstddef>
#include <string>

namespace testing_support {

// RETURNS why no small disk can be mounted here, or "" when one can.
std::string smallDiskUnavailable();

class SmallDisk {
public:
    // Mounts a file system of `bytes` bytes on a new temporary folder.
    explicit SmallDisk(size_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    // The mounted folder.
    const std::string& dir() const { return dir_; }
    // Bytes still free on it.
    size_t available() const;
    // Writes a filler file until only `bytes` stay free (fewer when the disk has less).
    void fillLeaving(size_t bytes) const;

private:
    std::string dir_;
};

}  // namespace testing_support

#define SKIP_UNLESS_SMALL_DISK()                                                                   \
    do {                                                                                           \
        std::string whyNot = testing_support::smallDiskUnavailable();                              \
        if (!whyNot.empty()) GTEST_SKIP() << "no small disk: " << whyNot;                          \
    } while (0)
