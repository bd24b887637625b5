// The run report. The record is one list of changes; the log lines written among them
// mark the actions: a line that is a bare name ("cleanupTemp") starts that action, and a
// line "name: ..." ends the action of that name, taking what came since the last action
// ended (the notification cleanup logs its summary after its work). What comes before any
// such line and is not claimed by one is grouped as "other".
#include "host/quillex/report.h"

#include "device/core/utf.h"
#include "device/notifications/notifications.h"
#include "platform/windows.h"
#include "formats/notifyjson.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

namespace host {
namespace {

using Json = nlohmann::ordered_json;
using device::Change;
using device::ChangeKind;

// One item of an action: a change, or one line of the log.
struct Item {
    const Change* change = nullptr;
    std::string logLine;
};

struct Action {
    std::string name;
    std::vector<Item> items;
};

struct Totals {
    uint64_t filesDeleted = 0, bytesFreed = 0, filesKept = 0, foldersRemoved = 0, foldersKept = 0;
    uint64_t entriesRemoved = 0, entriesRegistered = 0, valuesDeleted = 0, valuesSet = 0;
    uint64_t logLines = 0, filesWritten = 0, programsStarted = 0, restarts = 0;
    std::map<std::string, uint64_t> kept;  // files and folders that stayed, by reason
};

bool sameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// An operation's name as the program logs it: a lower-case letter, then letters and digits.
bool isName(const std::string& text) {
    if (text.empty() || !std::islower(static_cast<unsigned char>(text[0]))) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

// The text of a log line after its time stamp ("06/12 03:43:37 ->").
std::string logText(const std::string& line) {
    size_t arrow = line.find("->");
    return arrow == std::string::npos ? line : line.substr(arrow + 2);
}

std::vector<std::string> splitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        std::string line = bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

std::vector<Action> groupActions(const RunFacts& facts, const std::vector<Change>& changes) {
    std::vector<Action> actions;
    std::vector<Item> pending;  // not yet claimed by any action
    int open = -1;
    auto add = [&](Item item) {
        if (open >= 0) actions[static_cast<size_t>(open)].items.push_back(std::move(item));
        else pending.push_back(std::move(item));
    };
    auto flushPending = [&]() {
        if (!pending.empty()) actions.push_back(Action{"other", std::move(pending)});
        pending.clear();
    };
    for (const Change& change : changes) {
        if (change.kind != ChangeKind::FileWritten || !sameIgnoringAsciiCase(change.path, facts.logPath)) {
            add(Item{&change, {}});
            continue;
        }
        for (std::string& line : splitLines(change.detail)) {
            std::string text = logText(line);
            size_t colon = text.find(": ");
            if (isName(text)) {
                flushPending();
                actions.push_back(Action{text, {Item{nullptr, line}}});
                open = static_cast<int>(actions.size()) - 1;
            } else if (colon != std::string::npos && isName(text.substr(0, colon))) {
                std::string name = text.substr(0, colon);
                if (open >= 0 && actions[static_cast<size_t>(open)].name == name) {
                    actions[static_cast<size_t>(open)].items.push_back(Item{nullptr, line});
                } else {
                    pending.push_back(Item{nullptr, line});
                    actions.push_back(Action{name, std::move(pending)});
                    pending.clear();
                }
                open = -1;
            } else {
                add(Item{nullptr, line});
            }
        }
    }
    flushPending();
    return actions;
}

void count(const Item& item, Totals* totals) {
    if (!item.change) {
        ++totals->logLines;
        return;
    }
    const Change& change = *item.change;
    switch (change.kind) {
        case ChangeKind::FileDeleted: totals->filesDeleted += change.count; totals->bytesFreed += change.size; break;
        case ChangeKind::FileKept: totals->filesKept += change.count; totals->kept[change.detail] += change.count; break;
        case ChangeKind::FolderRemoved: totals->foldersRemoved += change.count; break;
        case ChangeKind::FolderKept: totals->foldersKept += change.count; totals->kept[change.detail] += change.count; break;
        case ChangeKind::FileWritten: ++totals->filesWritten; break;
        case ChangeKind::FileEmptied: break;
        case ChangeKind::ValueDeleted: ++totals->valuesDeleted; break;
        case ChangeKind::ValueSet: ++totals->valuesSet; break;
        case ChangeKind::EntryCleared: totals->entriesRemoved += change.count; break;
        case ChangeKind::EntryAdded: ++totals->entriesRegistered; break;
        case ChangeKind::ProgramStarted: ++totals->programsStarted; break;
        case ChangeKind::Restart: ++totals->restarts; break;
    }
}

Totals totalsOf(const Action& action) {
    Totals totals;
    for (const Item& item : action.items) count(item, &totals);
    return totals;
}

void addTotals(const Totals& from, Totals* into) {
    into->filesDeleted += from.filesDeleted;
    into->bytesFreed += from.bytesFreed;
    into->filesKept += from.filesKept;
    into->foldersRemoved += from.foldersRemoved;
    into->foldersKept += from.foldersKept;
    into->entriesRemoved += from.entriesRemoved;
    into->entriesRegistered += from.entriesRegistered;
    into->valuesDeleted += from.valuesDeleted;
    into->valuesSet += from.valuesSet;
    into->logLines += from.logLines;
    into->filesWritten += from.filesWritten;
    into->programsStarted += from.programsStarted;
    into->restarts += from.restarts;
    for (const auto& [reason, n] : from.kept) into->kept[reason] += n;
}

std::string plural(uint64_t n, const char* one, const char* many) { return countText(n) + " " + (n == 1 ? one : many); }

std::string summaryLine(const Action& action) {
    Totals totals = totalsOf(action);
    std::vector<std::string> parts;
    if (totals.filesDeleted || totals.filesKept || totals.foldersRemoved || totals.foldersKept) {
        std::string files = plural(totals.filesDeleted, "file", "files") + " deleted (" + sizeText(totals.bytesFreed) + " freed)";
        if (totals.foldersRemoved) files += ", " + plural(totals.foldersRemoved, "folder", "folders") + " removed";
        parts.push_back(files);
    }
    if (!totals.kept.empty()) {
        // The reasons people ask about first, then the rest.
        std::string kept = countText(totals.filesKept + totals.foldersKept) + " kept: ";
        std::map<std::string, uint64_t> left = totals.kept;
        bool first = true;
        for (const char* reason : {"read-only", "in use", "folder", "folder not empty"}) {
            auto found = left.find(reason);
            if (found == left.end()) continue;
            kept += (first ? "" : ", ") + countText(found->second) + " " + reason;
            first = false;
            left.erase(found);
        }
        for (const auto& [reason, n] : left) {
            kept += (first ? "" : ", ") + countText(n) + " " + reason;
            first = false;
        }
        parts.push_back(kept);
    }
    if (totals.valuesDeleted) parts.push_back(plural(totals.valuesDeleted, "registry value", "registry values") + " deleted");
    if (totals.valuesSet) parts.push_back(plural(totals.valuesSet, "registry value", "registry values") + " set");
    if (totals.entriesRemoved) parts.push_back(plural(totals.entriesRemoved, "entry", "entries") + " removed");
    if (totals.entriesRegistered) parts.push_back(plural(totals.entriesRegistered, "entry", "entries") + " registered");
    if (totals.filesWritten) parts.push_back(plural(totals.filesWritten, "file", "files") + " written");
    if (totals.programsStarted) parts.push_back(plural(totals.programsStarted, "program", "programs") + " started");
    if (totals.restarts) parts.push_back("restart requested");
    if (parts.empty()) parts.push_back("nothing to do");
    std::string line = action.name + ": ";
    for (size_t i = 0; i < parts.size(); ++i) line += (i ? "; " : "") + parts[i];
    return line;
}

std::string quotedOrDash(const std::string& text) { return "\"" + text + "\""; }

std::string itemLine(const Item& item) {
    auto verb = [](const char* word) {
        std::string padded = std::string("  ") + word;
        padded.resize(16, ' ');
        return padded;
    };
    if (!item.change) return verb("log") + item.logLine;
    const Change& change = *item.change;
    switch (change.kind) {
        case ChangeKind::FileDeleted: return verb("delete file") + change.path + "  " + sizeText(change.size);
        case ChangeKind::FileKept:
            return verb("keep file") + change.path + "  " + sizeText(change.size) + "  (" + change.detail + ")";
        case ChangeKind::FolderRemoved: return verb("remove folder") + change.path;
        case ChangeKind::FolderKept: return verb("keep folder") + change.path + "  (" + change.detail + ")";
        case ChangeKind::FileWritten:
            return verb("write file") + change.path + "  " + sizeText(change.detail.size());
        case ChangeKind::FileEmptied: return verb("empty file") + change.path;
        case ChangeKind::ValueDeleted: return verb("delete value") + change.path + "  " + quotedOrDash(change.name);
        case ChangeKind::ValueSet:
            return verb("set value") + change.path + "  " + quotedOrDash(change.name) + "  " + sizeText(change.size);
        case ChangeKind::EntryCleared:
            return verb("clear entry") + formats::notifyDescribe(std::any_cast<const device::NotificationEntry&>(change.entry));
        case ChangeKind::EntryAdded:
            return verb("add entry") + formats::notifyDescribe(std::any_cast<const device::NotificationEntry&>(change.entry));
        case ChangeKind::ProgramStarted:
            return verb("start") + change.path + "  " + quotedOrDash(change.detail) + (change.size ? "" : "  (not found)");
        case ChangeKind::Restart: return verb("restart") + "by the " + change.detail;
    }
    return std::string();
}

Json entryJson(const Change& change) {
    Json list = Json::parse(formats::notifyToJson({std::any_cast<const device::NotificationEntry&>(change.entry)}));
    return list.at(0);
}

Json totalsJson(const Totals& totals) {
    Json kept = Json::object();
    for (const auto& [reason, n] : totals.kept) kept[reason] = n;
    return Json{{"filesDeleted", totals.filesDeleted},   {"bytesFreed", totals.bytesFreed},
                {"filesKept", totals.filesKept},         {"foldersRemoved", totals.foldersRemoved},
                {"foldersKept", totals.foldersKept},     {"kept", kept},
                {"entriesRemoved", totals.entriesRemoved}, {"entriesRegistered", totals.entriesRegistered},
                {"valuesDeleted", totals.valuesDeleted}, {"valuesSet", totals.valuesSet},
                {"logLines", totals.logLines},           {"filesWritten", totals.filesWritten},
                {"programsStarted", totals.programsStarted}, {"restarts", totals.restarts}};
}

Json actionJson(const Action& action) {
    Json files = Json::array(), folders = Json::array(), values = Json::array(), removed = Json::array();
    Json registered = Json::array(), written = Json::array(), log = Json::array(), started = Json::array();
    Json restarts = Json::array();
    for (const Item& item : action.items) {
        if (!item.change) {
            log.push_back(item.logLine);
            continue;
        }
        const Change& change = *item.change;
        switch (change.kind) {
            case ChangeKind::FileDeleted:
                files.push_back(Json{{"path", change.path}, {"size", change.size}, {"result", "deleted"}});
                break;
            case ChangeKind::FileKept:
                files.push_back(Json{{"path", change.path}, {"size", change.size}, {"result", "kept"}, {"reason", change.detail}});
                break;
            case ChangeKind::FolderRemoved: folders.push_back(Json{{"path", change.path}, {"result", "removed"}}); break;
            case ChangeKind::FolderKept:
                folders.push_back(Json{{"path", change.path}, {"result", "kept"}, {"reason", change.detail}});
                break;
            case ChangeKind::FileWritten: written.push_back(Json{{"path", change.path}, {"size", change.detail.size()}}); break;
            case ChangeKind::FileEmptied: written.push_back(Json{{"path", change.path}, {"emptied", true}}); break;
            case ChangeKind::ValueDeleted:
                values.push_back(Json{{"key", change.path}, {"name", change.name}, {"result", "deleted"}});
                break;
            case ChangeKind::ValueSet:
                values.push_back(Json{{"key", change.path}, {"name", change.name}, {"result", "set"}, {"size", change.size}});
                break;
            case ChangeKind::EntryCleared: removed.push_back(entryJson(change)); break;
            case ChangeKind::EntryAdded: registered.push_back(entryJson(change)); break;
            case ChangeKind::ProgramStarted:
                started.push_back(Json{{"application", change.path}, {"commandLine", change.detail}, {"found", change.size != 0}});
                break;
            case ChangeKind::Restart: restarts.push_back(change.detail); break;
        }
    }
    return Json{{"name", action.name},
                {"files", files},
                {"folders", folders},
                {"registryValues", values},
                {"notificationsRemoved", removed},
                {"entriesRegistered", registered},
                {"filesWritten", written},
                {"log", log},
                {"programsStarted", started},
                {"restarts", restarts},
                {"totals", totalsJson(totalsOf(action))}};
}

}  // namespace

std::string countText(uint64_t count) {
    std::string digits = std::to_string(count);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string sizeText(uint64_t bytes) {
    if (bytes < 1024) return countText(bytes) + (bytes == 1 ? " byte" : " bytes");
    const char* units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024;
    size_t unit = 0;
    while (value >= 1024 && unit + 1 < 4) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string reportSummary(const RunFacts& facts, const std::vector<Change>& changes) {
    std::string text;
    for (const Action& action : groupActions(facts, changes)) text += summaryLine(action) + "\n";
    return text;
}

std::string reportItems(const RunFacts& facts, const std::vector<Change>& changes) {
    std::vector<Action> actions = groupActions(facts, changes);
    std::string text;
    for (const Action& action : actions) {
        text += action.name + "\n";
        for (const Item& item : action.items) text += itemLine(item) + "\n";
    }
    if (!actions.empty()) text += "\n";
    for (const Action& action : actions) text += summaryLine(action) + "\n";
    return text;
}

Json reportJson(const RunFacts& facts, const std::vector<Change>& changes) {
    Json actions = Json::array();
    Totals all;
    for (const Action& action : groupActions(facts, changes)) {
        actions.push_back(actionJson(action));
        addTotals(totalsOf(action), &all);
    }
    return Json{{"device", facts.device},
                {"commandLine", facts.commandLine},
                {"preview", facts.preview},
                {"actions", actions},
                {"totals", totalsJson(all)}};
}

}  // namespace host
