// quillex's host options, read from one table GNU style: wherever they stand before "--",
// short ones combined ("-hV" is "-h -V"), long ones as "--name VALUE" or "--name=VALUE".
// The words among them make the program's command line only when they are plainly
// actions; after "--" every word is the program's, exactly as written. A new option is a
// row in options.cpp (and, when it asks something of the run, a member here).
#pragma once

#include <string>

namespace host {

// What the host's options ask of a run.
struct HostOptions {
    std::string deviceDir;  // "" for the default device
    bool scriptScreen = false, preview = false, json = false, verbose = false, quiet = false;
    std::string commandLine;  // the program's command line, as the device hands it over
};

enum class HostRequest {
    run,         // run the program with *options
    help,        // print the help and end
    version,     // print the version and end
    usageError,  // refused: *message says why, and nothing may run
};

// Reads the arguments after the program's name.
// RETURNS what they ask; for usageError *message is the text to show after "quillex: ".
HostRequest readHostOptions(int argc, char** argv, HostOptions* options, std::string* message);

// The options part of the help: one entry a row of the table, then the rule for words.
std::string hostOptionsHelp();

}  // namespace host
