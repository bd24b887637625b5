// The lines of the program's activity log, as the host reads them: "07/12 10:00:00 ->text".
// The log names the actions: a line whose text is an operation's bare name ("cleanupTemp")
// starts that action, and a line "name: ..." ends the action of that name (the
// notification cleanup logs its summary after its work). The report groups a run's
// changes by these lines and the progress line takes its name from them.
#pragma once

#include <string>
#include <vector>

namespace formats {

enum class LogRole { Starts, Ends, Neither };

struct LogLine {
    std::string stamp;   // before "->", "07/12 10:00:00"; "" when the line has no "->"
    std::string text;    // after the first "->"; the whole line when it has none
    LogRole role = LogRole::Neither;
    std::string action;  // the operation it starts or ends; "" for neither
};

LogLine logLineRead(const std::string& line);

// The lines in bytes written to the log, each without its "\n" or "\r\n"; a last line
// without its end is one too.
std::vector<std::string> logLinesSplit(const std::string& bytes);

}  // namespace formats
