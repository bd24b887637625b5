// quillex-device: sets up and inspects an emulated device (file system, registry, clock and
// its scheduler, notification queue, platform version, event journal) from the host. The
// commands are rows of one table (commands.cpp); this file only builds the command line
// from it, parses it, opens the device as the chosen row asks, and runs the row. Exit
// status 0 on success, 1 when the device refused the operation, 2 for a bad command line.
#include "device/boot/device.h"
#include "device/kernel/processes.h"
#include "host/common/open.h"
#include "host/common/output.h"
#include "host/device-tool/commands.h"
#include "host/device-tool/tool.h"
#include "host/program/program.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <map>

namespace {

using tool::Command;
using tool::Use;

// The command line of every row, each command under its group, with the row it runs.
struct CommandLine {
    CLI::App app{"Sets up and inspects an emulated device for Quillex."};
    std::map<const CLI::App*, const Command*> rows;
};

void build(CommandLine* line) {
    std::map<std::string, CLI::App*> groups;
    for (const Command& command : tool::commands()) {
        std::string path = command.path;
        size_t space = path.find(' ');
        CLI::App* parent = space == std::string::npos ? &line->app : groups.at(path.substr(0, space));
        CLI::App* app = parent->add_subcommand(path.substr(space == std::string::npos ? 0 : space + 1), command.help);
        // Options of the levels above count wherever they stand: "log --device D" as "--device D log".
        app->fallthrough();
        if (space == std::string::npos) groups[path] = app;
        if (command.use == Use::group) app->require_subcommand(1);
        if (command.options) command.options(app);
        line->rows[app] = &command;
    }
    for (auto& [name, group] : groups) {
        // A group that runs on its own ("clock") takes one command or none; "reg" needs one.
        if (!group->get_subcommands({}).empty() && line->rows[group]->use != Use::group) group->require_subcommand(0, 1);
    }
}

// The row the parsed command line chose: its innermost command.
const Command* chosen(const CommandLine& line) {
    const CLI::App* at = &line.app;
    while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
    return at == &line.app ? nullptr : line.rows.at(at);
}

// Whether the chosen command was given anything beyond its help flag.
bool givenAnything(const CommandLine& line) {
    const CLI::App* at = &line.app;
    while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
    for (const CLI::Option* option : at->get_options()) {
        if (option != at->get_help_ptr() && option->count() > 0) return true;
    }
    return false;
}

// The words no command took, in the order given.
std::string unexpectedWords(const CLI::App& app) {
    std::string words;
    for (const std::string& word : app.remaining(true)) words += (words.empty() ? "" : " ") + word;
    return words;
}

// CLI11's own message for a command line it did not understand, said as this tool says
// everything: after its name, and naming unexpected words in the order given.
int refuse(const CommandLine& line, const CLI::ParseError& error) {
    std::string message = error.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
        std::string words = unexpectedWords(line.app);
        if (!words.empty()) {
            message = (words.find(' ') == std::string::npos ? "the following argument was not expected: "
                                                              : "the following arguments were not expected: ") +
                      words;
        }
    } else if (message.size() > 1 && std::isupper(static_cast<unsigned char>(message[0])) &&
               !std::isupper(static_cast<unsigned char>(message[1]))) {
        message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
    }
    std::fprintf(stderr, "quillex-device: %s\nRun with --help for more information.\n", message.c_str());
    return 2;
}

int runCommandLine(int argc, char** argv) {
    CommandLine line;
    line.app.set_version_flag("-V,--version", std::string("quillex-device ") + QUILLEX_VERSION);
    // An unknown word is then reported by name rather than as a missing command.
    line.app.require_subcommand(0, 1);
    std::string deviceDir;
    line.app.add_option("--device", deviceDir, "The device folder (default: $QUILLEX_DEVICE, else "
                                               "$XDG_DATA_HOME/quillex/device)");
    build(&line);
    line.app.footer("Exit codes: 0 done; 1 the device or the operation failed; 2 usage error.");
    try {
        line.app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return line.app.exit(error);  // --help, --version
        return refuse(line, error);
    }
    const Command* command = chosen(line);
    if (!command) {
        std::fprintf(stderr, "quillex-device: a command is required\n%s", line.app.help().c_str());
        return 2;
    }
    // Bad arguments are reported before the device is touched.
    if (line.app.count("--device") && deviceDir.empty()) return tool::usage("--device needs a folder, not an empty name");
    if (command->check) {
        if (int refused = command->check(); refused != 0) return refused;
    }

    Use use = command->use == Use::setting ? (givenAnything(line) ? Use::write : Use::read) : command->use;
    // A device created or installed by this run gets its Quillex.exe backed by the quillex
    // built or installed beside this tool, if there is one.
    host::introduceProgram(host::findQuillexNear(device::ownExecutable()));
    std::string dir = deviceDir.empty() ? device::defaultDir() : deviceDir;
    // Said at once, so a misspelt folder is not taken for an empty device; `init` makes one anyway.
    host::Opening opening = use == Use::read  ? host::Opening::existing
                            : use == Use::make ? host::Opening::makeQuietly
                                               : host::Opening::make;
    if (!host::openForHost("quillex-device", dir, opening)) return 1;
    return command->run();
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = runCommandLine(argc, argv);
    // What was printed must have reached its place: a report cut short is a failure.
    if (!host::finishOutput("quillex-device")) return 1;
    return exitCode;
}
