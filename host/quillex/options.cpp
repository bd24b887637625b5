// The table of quillex's host options and the reading of a command line by it. Written
// here rather than with getopt_long: "-auto" is a word of the program's, not the options
// -a -u -t -o; "-?" is an option, not getopt's mark of an unknown one; and where "--"
// stood decides which words are checked, which getopt's reordering would hide.
#include "host/quillex/options.h"

#include <cstring>
#include <strings.h>
#include <vector>

namespace host {
namespace {

struct HostOption {
    const char* shortNames;  // the one-letter names, "" for none
    const char* longName;    // without its "--"
    const char* value;       // the value's name in the help ("DIR"), or null for a switch
    const char* help;        // lines after the first start with "\n"
    // Takes the option's value (null for a switch) into *options.
    // RETURNS true, or false with *message set.
    bool (*take)(const char* value, HostOptions* options, std::string* message);
    HostRequest request;     // help and version end the reading with what they ask
};

bool takeDevice(const char* value, HostOptions* options, std::string* message) {
    options->deviceDir = value;
    if (options->deviceDir.empty()) *message = "--device needs a folder, not an empty name";
    return !options->deviceDir.empty();
}

bool takeScreen(const char* value, HostOptions* options, std::string* message) {
    options->scriptScreen = std::strcmp(value, "script") == 0;
    if (!options->scriptScreen) *message = "--screen takes \"script\"";
    return options->scriptScreen;
}

bool takePreview(const char*, HostOptions* options, std::string*) { return options->preview = true; }
bool takeJson(const char*, HostOptions* options, std::string*) { return options->json = true; }
bool takeVerbose(const char*, HostOptions* options, std::string*) { return options->verbose = true; }
bool takeQuiet(const char*, HostOptions* options, std::string*) { return options->quiet = true; }

const HostOption kOptions[] = {
    {"h?", "help", nullptr, "this help", nullptr, HostRequest::help},
    {"V", "version", nullptr, "the version", nullptr, HostRequest::version},
    {"", "device", "DIR", "the device folder", takeDevice, HostRequest::run},
    {"", "screen", "script", "window mode reads input events from standard input", takeScreen, HostRequest::run},
    {"", "preview", nullptr,
     "run the command line against a dry-run view of the device and\n"
     "list what it would do; the device is left as it was",
     takePreview, HostRequest::run},
    {"", "json", nullptr, "write one JSON document of what the run did (or would do)", takeJson, HostRequest::run},
    {"", "verbose", nullptr, "list every item the run handled, not only the summary", takeVerbose, HostRequest::run},
    {"", "quiet", nullptr, "print no report", takeQuiet, HostRequest::run},
};

const HostOption* findLong(const std::string& name) {
    for (const HostOption& option : kOptions) {
        if (name == option.longName) return &option;
    }
    return nullptr;
}

const HostOption* findShort(char letter) {
    for (const HostOption& option : kOptions) {
        if (letter != 0 && std::strchr(option.shortNames, letter)) return &option;
    }
    return nullptr;
}

std::string missingValue(const HostOption& option) {
    return std::string("--") + option.longName +
           (std::strcmp(option.value, "DIR") == 0 ? " needs a folder" : std::string(" takes \"") + option.value + "\"");
}

// "-auto" in any case, as the program reads its command line: the automatic run.
bool isAutomaticRun(const char* word) { return strcasecmp(word, "-auto") == 0; }

// A word made only of action letters, in any case, as the program reads them.
bool isActionLetters(const char* word) { return *word && word[std::strspn(word, "ntchaNTCHA")] == 0; }

// `option` as read, within the argument `word` that held it.
std::string unknownOption(const std::string& option, const std::string& word) {
    return "unknown option " + option + (option == word ? "" : " (in " + word + ")") +
           "; nothing was run (to hand it to the program, put it after \"--\": quillex -- " + word + ")";
}

// The reading of one command line: options taken as they come, words kept for the end.
struct Reading {
    HostOptions* options;
    std::string* message;
    std::vector<const HostOption*> taken;
    std::vector<std::string> words;        // before "--": must be actions
    std::vector<std::string> programWords; // after "--": the program's as written

    // RETURNS run to read on, the request of help or version, or usageError.
    HostRequest take(const HostOption& option, const std::string& shown, const char* value) {
        if (option.request != HostRequest::run) return option.request;
        for (const HostOption* before : taken) {
            if (before == &option) {
                *message = shown + " given twice; nothing was run";
                return HostRequest::usageError;
            }
        }
        taken.push_back(&option);
        return option.take(value, options, message) ? HostRequest::run : HostRequest::usageError;
    }
};

// Options that ask for things that cannot both be done. RETURNS the complaint, or "".
std::string contradiction(const HostOptions& options, bool actions) {
    const char* reportForms[] = {options.json ? "--json" : nullptr, options.verbose ? "--verbose" : nullptr,
                                 options.quiet ? "--quiet" : nullptr};
    const char* first = nullptr;
    for (const char* form : reportForms) {
        if (form && first) return std::string(first) + " and " + form + " contradict each other; nothing was run";
        if (form) first = form;
    }
    if (options.preview && options.quiet) return "--preview and --quiet contradict each other; nothing was run";
    if (options.scriptScreen && actions)
        return "--screen script is for window mode, which a command line leaves out; nothing was run";
    return "";
}

}  // namespace

HostRequest readHostOptions(int argc, char** argv, HostOptions* options, std::string* message) {
    Reading reading{options, message, {}, {}, {}};
    bool ended = false;  // "--" was read
    for (int at = 1; at < argc; ++at) {
        const char* arg = argv[at];
        if (ended) {
            reading.programWords.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            ended = true;
        } else if (std::strncmp(arg, "--", 2) == 0) {
            const char* equals = std::strchr(arg, '=');
            std::string name = equals ? std::string(arg + 2, equals) : std::string(arg + 2);
            const HostOption* option = findLong(name);
            if (!option) {
                *message = unknownOption(equals ? std::string(arg, equals) : std::string(arg), arg);
                return HostRequest::usageError;
            }
            const char* value = equals ? equals + 1 : nullptr;
            if (option->value && !value) {
                if (at + 1 >= argc) {
                    *message = missingValue(*option);
                    return HostRequest::usageError;
                }
                value = argv[++at];
            } else if (!option->value && value) {
                *message = "--" + name + " takes no value; nothing was run";
                return HostRequest::usageError;
            }
            if (HostRequest request = reading.take(*option, "--" + name, value); request != HostRequest::run) return request;
        } else if (arg[0] == '-' && arg[1] != 0 && !isAutomaticRun(arg)) {
            // One or more one-letter options; one that takes a value takes the rest of the
            // word, or else the next argument.
            for (const char* letter = arg + 1; *letter; ++letter) {
                const HostOption* option = findShort(*letter);
                if (!option) {
                    *message = unknownOption(std::string("-") + *letter, arg);
                    return HostRequest::usageError;
                }
                const char* value = nullptr;
                if (option->value) {
                    value = letter[1] ? letter + 1 : (at + 1 < argc ? argv[++at] : nullptr);
                    if (!value) {
                        *message = missingValue(*option);
                        return HostRequest::usageError;
                    }
                }
                HostRequest request = reading.take(*option, std::string("-") + *letter, value);
                if (request != HostRequest::run) return request;
                if (value) break;
            }
        } else {
            reading.words.push_back(arg);
        }
    }

    // The words before "--", checked once every option is read (so "CLEAN --help" helps).
    bool automatic = false;
    for (const std::string& word : reading.words) {
        if (isAutomaticRun(word.c_str())) {
            automatic = true;
        } else if (!isActionLetters(word.c_str())) {
            *message = "\"" + word +
                       "\" is not an action: before \"--\" the command line takes only words of the letters n t c h "
                       "a, and -auto; nothing was run (words after \"--\" reach the program exactly as written: "
                       "quillex -- " + word + ")";
            return HostRequest::usageError;
        }
    }
    if (automatic && reading.words.size() > 1) {
        *message = "-auto runs the automatic run alone, and the program would not look at the other words; nothing "
                   "was run";
        return HostRequest::usageError;
    }
    std::vector<std::string> all = reading.words;
    all.insert(all.end(), reading.programWords.begin(), reading.programWords.end());
    for (size_t i = 0; i < all.size(); ++i) options->commandLine += (i ? " " : "") + all[i];

    if (std::string complaint = contradiction(*options, !all.empty()); !complaint.empty()) {
        *message = complaint;
        return HostRequest::usageError;
    }
    if (options->commandLine.empty() && (options->preview || options->json)) {
        *message = std::string(options->preview ? "--preview" : "--json") +
                   " needs a command line (window mode has nothing to report)";
        return HostRequest::usageError;
    }
    return HostRequest::run;
}

std::string hostOptionsHelp() {
    std::string help =
        "Usage: quillex [HOST OPTIONS] [ACTIONS] [-- COMMAND LINE]\n"
        "\n"
        "Host options (anywhere before \"--\"; -hV is -h -V):\n";
    for (const HostOption& option : kOptions) {
        std::string names;
        for (const char* letter = option.shortNames; *letter; ++letter) names += std::string("-") + *letter + ", ";
        names += std::string("--") + option.longName + (option.value ? std::string(" ") + option.value : "");
        std::string text = option.help;
        for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 22) text.insert(at + 1, 21, ' ');
        help += "  " + names + std::string(names.size() < 19 ? 19 - names.size() : 1, ' ') + text + "\n";
    }
    return help +
           "Before \"--\", the words that are no options make the program's command line, and\n"
           "each must be plainly an action: letters among n t c h a (in either case, as in\n"
           "\"nt\" or \"TCH\") or -auto alone. Any other word (CLEAN, a path, -x, --x), an option\n"
           "given twice, or options that contradict each other (--verbose --quiet, --screen\n"
           "script with actions) are refused with exit code 2, and nothing runs. Words after\n"
           "\"--\" reach the program exactly as written: quillex -- -h hands \"-h\" (the browser\n"
           "history) to the program.\n";
}

}  // namespace host
