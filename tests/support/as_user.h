// Test support for the cases that show only for an ordinary user (permissions, races
// between processes of one user): the built programs run again as uid and gid 65534, with
// no supplementary groups, through setpriv or else runuser, on a folder given to that user.
// A test that needs it starts with SKIP_UNLESS_AS_USER(), which says why it is skipped.
#pragma once

#include "tests/support/scoped_device.h"

#include <string>
#include <vector>

namespace testing_support {

// The ordinary user the cases run as.
constexpr unsigned kOrdinaryUser = 65534;

// RETURNS why programs cannot be run as the ordinary user here (not root, neither setpriv
// nor runuser, the built programs out of that user's reach), or "" when they can.
std::string asUserUnavailable();

// Gives `path` and everything under it to the ordinary user, and lets that user pass
// through the folders above it that this test made (below the temporary folder).
void giveToUser(const std::string& path);

// Runs a built program as the ordinary user, as run() does.
RunResult runAsUser(const std::string& program, const std::vector<std::string>& args, const std::string& input = "");

}  // namespace testing_support

#define SKIP_UNLESS_AS_USER()                                                                      \
    do {                                                                                           \
        std::string whyNot = testing_support::asUserUnavailable();                                 \
        if (!whyNot.empty()) GTEST_SKIP() << "not run as an ordinary user: " << whyNot;            \
    } while (0)
