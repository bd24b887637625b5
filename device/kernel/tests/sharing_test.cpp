// Tests of sharing modes between handles and between processes, and of deletions racing an
// open or another deletion of one file: what the sharing locks must guarantee, seen through
// the platform's own calls, also by a process that may not write the file.
#include "platform/windows.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <grp.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testing_support::ScopedDevice;
using testing_support::wide;

namespace {

HANDLE openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(wide(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

struct Open {
    DWORD access;
    DWORD share;
};
const DWORD kRead = GENERIC_READ, kWrite = GENERIC_WRITE, kShareRW = FILE_SHARE_READ | FILE_SHARE_WRITE;

TEST(Sharing, ModesHoldBetweenHandles) {
    struct Case {
        Open first, second;
        bool admitted;
    };
    const Case cases[] = {
        {{kWrite, 0}, {kRead, FILE_SHARE_READ}, false},
        {{kWrite, 0}, {kWrite, 0}, false},
        {{0, 0}, {kRead, kShareRW}, false},
        {{kRead, FILE_SHARE_READ}, {kRead, FILE_SHARE_READ}, true},
        {{kRead, FILE_SHARE_READ}, {kWrite, kShareRW}, false},
        {{kRead, kShareRW}, {kWrite, kShareRW}, true},
        {{kWrite, kShareRW}, {kRead, FILE_SHARE_READ}, false},  // the second would deny the first's write
        {{kWrite, FILE_SHARE_READ}, {kRead, kShareRW}, true},
        {{kRead | kWrite, kShareRW}, {kRead | kWrite, kShareRW}, true},
        {{kRead, kShareRW}, {0, 0}, false},  // sharing nothing refuses an existing reader
        {{kWrite, 0}, {0, kShareRW}, true},  // no access asks nothing of the others
        {{kWrite, FILE_SHARE_READ}, {0, kShareRW}, true},
    };
    ScopedDevice dev;
    dev.writeText("\\Temp\\shared.txt", "content");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.first.access << "/" << c.first.share << " then "
                                        << c.second.access << "/" << c.second.share);
        HANDLE first = openFile("\\Temp\\shared.txt", c.first.access, c.first.share, OPEN_EXISTING);
        ASSERT_NE(INVALID_HANDLE_VALUE, first);
        HANDLE second = openFile("\\Temp\\SHARED.txt", c.second.access, c.second.share, OPEN_EXISTING);
        EXPECT_EQ(c.admitted, second != INVALID_HANDLE_VALUE);
        if (second == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        } else {
            CloseHandle(second);
        }
        // An open file cannot be deleted, whatever its sharing.
        EXPECT_FALSE(DeleteFileW(u"\\Temp\\shared.txt"));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        CloseHandle(first);
        // The refused request is admitted once the first handle is gone.
        second = openFile("\\Temp\\shared.txt", c.second.access, c.second.share, OPEN_EXISTING);
        EXPECT_NE(INVALID_HANDLE_VALUE, second);
        CloseHandle(second);
    }
    EXPECT_EQ("content", dev.readText("\\Temp\\shared.txt"));
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\shared.txt"));
}

// Runs `body` in a forked child; RETURNS the child's exit status (0 when every check held).
template <class Body>
int inChild(Body body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());  // _exit: the child must not tear down the parent's device
    int status = -1;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST(Sharing, ModesHoldBetweenProcesses) {
    ScopedDevice dev;
    dev.writeText("\\Temp\\shared.txt", "content");
    auto refusedInChild = [] {
        int failures = 0;
        HANDLE h = openFile("\\Temp\\shared.txt", kRead, FILE_SHARE_READ, OPEN_EXISTING);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) failures |= 1;
        h = openFile("\\Temp\\shared.txt", kWrite, 0, OPEN_EXISTING);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) failures |= 2;
        if (DeleteFileW(u"\\Temp\\shared.txt") || GetLastError() != ERROR_SHARING_VIOLATION) failures |= 4;
        return failures;
    };
    HANDLE held = openFile("\\Temp\\shared.txt", kWrite, 0, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(0, inChild(refusedInChild));
    CloseHandle(held);

    // The other way round: the child holds the file while the parent tries.
    int toParent[2], toChild[2];
    ASSERT_EQ(0, pipe(toParent));
    ASSERT_EQ(0, pipe(toChild));
    pid_t pid = fork();
    if (pid == 0) {
        HANDLE mine = openFile("\\Temp\\shared.txt", kRead | kWrite, 0, OPEN_EXISTING);
        char byte = mine != INVALID_HANDLE_VALUE ? 'y' : 'n';
        if (write(toParent[1], &byte, 1) != 1 || read(toChild[0], &byte, 1) != 1) _exit(1);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(1, read(toParent[0], &byte, 1));
    EXPECT_EQ('y', byte);
    EXPECT_EQ(0, refusedInChild());
    ASSERT_EQ(1, write(toChild[1], &byte, 1));
    int status = -1;
    waitpid(pid, &status, 0);
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
    HANDLE after = openFile("\\Temp\\shared.txt", kWrite, 0, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, after);
    CloseHandle(after);
}

// A deletion racing a rival on the same file, each round releasing both at once. Against
// an open, one of them must lose: if both won, the opener would hold a handle to a file
// the deletion reported gone. Against another deletion, one wins and the other finds no
// file (not a file "in use": no handle was ever open).
TEST(Sharing, ADeletionRacingAnOpenOrADeletionOfOneFile) {
    for (bool rivalDeletes : {false, true}) {
        SCOPED_TRACE(rivalDeletes ? "two deletions" : "a deletion and an open");
        ScopedDevice dev;
        constexpr int kRounds = 2000;
        std::atomic<int> go{0}, done{0}, release{0}, closed{0};
        std::vector<DWORD> rivalError(kRounds + 1, 0);  // ERROR_SUCCESS when the rival won
        auto waitFor = [](const std::atomic<int>& counter, int round) {
            while (counter.load() < round) std::this_thread::yield();
        };
        std::thread rival([&] {
            for (int round = 1; round <= kRounds; ++round) {
                waitFor(go, round);
                HANDLE file = INVALID_HANDLE_VALUE;
                bool won;
                if (rivalDeletes) {
                    won = DeleteFileW(u"\\Temp\\race.tmp");
                } else {
                    file = openFile("\\Temp\\race.tmp", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
                    won = file != INVALID_HANDLE_VALUE;
                }
                rivalError[round] = won ? ERROR_SUCCESS : GetLastError();
                done.store(round);
                waitFor(release, round);  // an opener holds its handle until the deletion is over
                if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
                closed.store(round);
            }
        });
        int bothWon = 0, wrongError = 0, notMade = 0;
        for (int round = 1; round <= kRounds; ++round) {
            HANDLE made = openFile("\\Temp\\race.tmp", GENERIC_WRITE, 0, CREATE_ALWAYS);
            if (made != INVALID_HANDLE_VALUE) CloseHandle(made);
            notMade += made == INVALID_HANDLE_VALUE;
            go.store(round);
            bool deleted = DeleteFileW(u"\\Temp\\race.tmp");
            DWORD error = deleted ? ERROR_SUCCESS : GetLastError();
            waitFor(done, round);
            release.store(round);
            waitFor(closed, round);
            bool rivalWon = rivalError[round] == ERROR_SUCCESS;
            bothWon += deleted && rivalWon;
            if (rivalDeletes) {
                // Exactly one deletion wins; the loser finds nothing to delete.
                DWORD loser = deleted ? rivalError[round] : error;
                wrongError += deleted == rivalWon || loser != ERROR_FILE_NOT_FOUND;
            } else {
                DWORD loser = deleted ? rivalError[round] : error;
                DWORD expected = deleted ? ERROR_FILE_NOT_FOUND : ERROR_SHARING_VIOLATION;
                wrongError += !deleted && !rivalWon ? 1 : loser != expected;
            }
            if (!deleted) DeleteFileW(u"\\Temp\\race.tmp");
        }
        rival.join();
        EXPECT_EQ(0, bothWon) << "of " << kRounds << " rounds";
        EXPECT_EQ(0, wrongError) << "of " << kRounds << " rounds";
        EXPECT_EQ(0, notMade);
    }
}

// A deletion by a process that may only read the file (an ordinary user cleaning another
// user's file in a folder open to all) racing an open of it: the deletion must hold a mark
// of its own all the same, so that the two never both succeed.
TEST(Sharing, ADeletionThatMayNotWriteTheFileRacingAnOpen) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: the file must belong to another user than the deleting process";
    ScopedDevice dev;
    dev.makeFolder("\\Temp");
    for (const std::string& folder : {dev.dir() + "/..", dev.dir(), dev.dir() + "/fs"}) chmod(folder.c_str(), 0755);
    chmod(dev.host("\\Temp").c_str(), 0777);
    constexpr int kRounds = 3000;
    struct Rounds {
        std::atomic<int> go, done;
        DWORD deleteError[kRounds + 1];  // ERROR_SUCCESS when the deletion won
    };
    void* memory = mmap(nullptr, sizeof(Rounds), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, memory);
    Rounds* rounds = new (memory) Rounds{};
    auto waitFor = [](const std::atomic<int>& counter, int round) {
        while (counter.load() < round) std::this_thread::yield();
    };
    // Each side on a processor of its own where there are two: the race is run, not taken in turns.
    auto runOn = [](int cpu) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(cpu, &set);
        sched_setaffinity(0, sizeof set, &set);
    };
    cpu_set_t allowed;
    bool twoProcessors = sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) >= 2;
    int firstCpu = 0, secondCpu = 0;
    for (int cpu = 0, found = 0; twoProcessors && found < 2; ++cpu)
        if (CPU_ISSET(cpu, &allowed)) (found++ == 0 ? firstCpu : secondCpu) = cpu;
    pid_t deleter = fork();
    if (deleter == 0) {
        if (twoProcessors) runOn(secondCpu);
        // Nobody, who may not open the file for writing (it belongs to root, mode 0644).
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0)
            _exit(2);
        for (int round = 1; round <= kRounds; ++round) {
            waitFor(rounds->go, round);
            rounds->deleteError[round] = DeleteFileW(u"\\Temp\\race.tmp") ? ERROR_SUCCESS : GetLastError();
            rounds->done.store(round);
        }
        _exit(0);
    }
    if (twoProcessors) runOn(firstCpu);
    int bothWon = 0, wrongError = 0;
    for (int round = 1; round <= kRounds; ++round) {
        // Made by root, mode 0644.
        HANDLE made = CreateFileW(u"\\Temp\\race.tmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, made);
        CloseHandle(made);
        rounds->go.store(round);
        // The open starts a little later each round, so that over the rounds it meets every
        // moment of the deletion, the one between its look and its unlink among them.
        for (int spin = round * 7919 % 20000; spin > 0; --spin) std::atomic_signal_fence(std::memory_order_seq_cst);
        HANDLE opened = CreateFileW(u"\\Temp\\race.tmp", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD openError = opened != INVALID_HANDLE_VALUE ? ERROR_SUCCESS : GetLastError();
        waitFor(rounds->done, round);
        DWORD deleteError = rounds->deleteError[round];
        bothWon += openError == ERROR_SUCCESS && deleteError == ERROR_SUCCESS;
        // Whichever lost says why: the file went, or it was open.
        if (openError == ERROR_SUCCESS) wrongError += deleteError != ERROR_SUCCESS && deleteError != ERROR_SHARING_VIOLATION;
        else wrongError += deleteError != ERROR_SUCCESS || openError != ERROR_FILE_NOT_FOUND;
        if (opened != INVALID_HANDLE_VALUE) CloseHandle(opened);
        DeleteFileW(u"\\Temp\\race.tmp");
    }
    int status = -1;
    waitpid(deleter, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the deleting process failed to start as nobody";
    EXPECT_EQ(0, bothWon) << "of " << kRounds << " rounds";
    EXPECT_EQ(0, wrongError) << "of " << kRounds << " rounds";
    munmap(memory, sizeof(Rounds));
    if (twoProcessors) sched_setaffinity(0, sizeof allowed, &allowed);
}

}  // namespace
