#include "tests/support/as_user.h"

#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testing_support {
namespace {

bool onPath(const std::string& program) { return run("/bin/sh", {"-c", "command -v " + program}).exitCode == 0; }

// The command and words that run a program as the ordinary user, or none.
std::vector<std::string> asUserPrefix() {
    static const std::vector<std::string> prefix = []() -> std::vector<std::string> {
        std::string id = std::to_string(kOrdinaryUser);
        if (onPath("setpriv")) return {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--"};
        const passwd* user = getpwuid(kOrdinaryUser);
        if (onPath("runuser") && user) return {"runuser", "-u", user->pw_name, "--"};
        return {};
    }();
    return prefix;
}

}  // namespace

std::string asUserUnavailable() {
    static const std::string why = []() -> std::string {
        if (geteuid() != 0) return "the tests run as uid " + std::to_string(geteuid()) + ", not as root";
        if (asUserPrefix().empty()) return "neither setpriv nor runuser is installed";
        RunResult reach = runAsUser("/bin/sh", {"-c", "test -x \"$0\" && test -x \"$1\"", quillexBinary(), deviceToolBinary()});
        if (reach.exitCode != 0) return "the built programs are out of reach of uid " + std::to_string(kOrdinaryUser);
        return "";
    }();
    return why;
}

void giveToUser(const std::string& path) {
    std::error_code ignored;
    if (lchown(path.c_str(), kOrdinaryUser, kOrdinaryUser) != 0) return;
    if (fs::is_directory(fs::symlink_status(path, ignored))) {
        for (auto it = fs::recursive_directory_iterator(path, ignored); it != fs::recursive_directory_iterator();
             it.increment(ignored)) {
            if (lchown(it->path().c_str(), kOrdinaryUser, kOrdinaryUser) != 0) return;
        }
    }
    // The folders a test made in the temporary folder are private (mkdtemp makes them 0700).
    fs::path top = fs::temp_directory_path(ignored);
    for (fs::path folder = fs::path(path).parent_path(); folder.has_relative_path() && folder != top;
         folder = folder.parent_path()) {
        if (folder.string().rfind(top.string() + "/", 0) != 0) break;
        fs::permissions(folder, fs::perms::others_exec, fs::perm_options::add, ignored);
    }
}

RunResult runAsUser(const std::string& program, const std::vector<std::string>& args, const std::string& input) {
    std::vector<std::string> words = asUserPrefix();
    if (words.empty()) return RunResult{-1, "no way to run as uid " + std::to_string(kOrdinaryUser)};
    words.push_back(program);
    words.insert(words.end(), args.begin(), args.end());
    return run(words[0], std::vector<std::string>(words.begin() + 1, words.end()), input);
}

}  // namespace testing_support
