// Reading log lines. An operation's name is as the program logs it: a lower-case letter,
// then letters and digits, so that free text ("Export done") never names an action.
#include "formats/logline.h"

#include <cctype>

namespace formats {
namespace {

bool isOperationName(const std::string& text) {
    if (text.empty() || !std::islower(static_cast<unsigned char>(text[0]))) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

LogLine logLineRead(const std::string& line) {
    LogLine read;
    size_t arrow = line.find("->");
    if (arrow == std::string::npos) {
        read.text = line;
    } else {
        read.stamp = line.substr(0, arrow);
        while (!read.stamp.empty() && read.stamp.back() == ' ') read.stamp.pop_back();
        read.text = line.substr(arrow + 2);
    }
    size_t colon = read.text.find(": ");
    if (isOperationName(read.text)) {
        read.role = LogRole::Starts;
        read.action = read.text;
    } else if (colon != std::string::npos && isOperationName(read.text.substr(0, colon))) {
        read.role = LogRole::Ends;
        read.action = read.text.substr(0, colon);
    }
    return read;
}

std::vector<std::string> logLinesSplit(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        std::string line = bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

}  // namespace formats
