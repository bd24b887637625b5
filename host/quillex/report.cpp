// The run report. The record is one list of changes; the log lines written among them
// mark the actions (formats/logline.h): a line that starts an action opens it, and a line
// that ends one takes what came since the last action ended (the notification cleanup logs
// its summary after its work). What comes before any such line and is not claimed by one
// is grouped as "other".
#include "host/quillex/report.h"

#include "formats/logline.h"
#include "formats/notifyjson.h"

#include <cctype>
#include <cstdio>
#include <iterator>
#include <map>

namespace host {
namespace {

using Json = nlohmann::ordered_json;
using device::Change;
using device::EntryAdded;
using device::EntryCleared;
using device::FileDeleted;
using device::FileEmptied;
using device::FileKept;
using device::FileWritten;
using device::FolderKept;
using device::FolderRemoved;
using device::NotificationEntry;
using device::ProgramStarted;
using device::Restart;
using device::ValueDeleted;
using device::ValueSet;

// One item of an action: a change, or one line of the log.
struct Item {
    const Change* change = nullptr;
    std::string logLine;
};

// The change of `item` when it is of kind K.
template <class K>
const K* as(const Item& item) {
    return item.change ? std::get_if<K>(&item.change->what) : nullptr;
}

struct Action {
    std::string name;
    std::vector<Item> items;
};

bool sameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
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
        const FileWritten* write = std::get_if<FileWritten>(&change.what);
        if (!write || !sameIgnoringAsciiCase(write->path, facts.logPath)) {
            add(Item{&change, {}});
            continue;
        }
        for (std::string& line : formats::logLinesSplit(write->bytes)) {
            formats::LogLine read = formats::logLineRead(line);
            if (read.role == formats::LogRole::Starts) {
                flushPending();
                actions.push_back(Action{read.action, {Item{nullptr, line}}});
                open = static_cast<int>(actions.size()) - 1;
            } else if (read.role == formats::LogRole::Ends) {
                if (open >= 0 && actions[static_cast<size_t>(open)].name == read.action) {
                    actions[static_cast<size_t>(open)].items.push_back(Item{nullptr, line});
                } else {
                    pending.push_back(Item{nullptr, line});
                    actions.push_back(Action{read.action, std::move(pending)});
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

// The totals of an action, or of the run: a count for each row of the table below, and
// the files and folders that stayed by reason.
enum TotalId {
    FilesDeleted, BytesFreed, FilesKept, FoldersRemoved, FoldersKept, KeptByReason, EntriesRemoved, EntriesRegistered,
    ValuesDeleted, ValuesSet, LogLines, FilesWritten, ProgramsStarted, Restarts, kTotalIds
};

struct Totals {
    uint64_t n[kTotalIds] = {};
    std::map<std::string, uint64_t> kept;
};

struct Total {
    TotalId id;          // its row in the table
    const char* member;  // its name in the JSON "totals"
    // What one item adds to it; null for the one total kept by reason.
    uint64_t (*adds)(const Item&);
    int place;  // where the summary line says it, from 1; 0 where it says it with another or not at all
    std::string (*words)(const Totals&);  // what the summary says of it; "" for nothing
};

template <class K>
uint64_t countOf(const Item& item) {
    return as<K>(item) ? item.change->count : 0;
}

uint64_t bytesFreed(const Item& item) {
    const FileDeleted* deleted = as<FileDeleted>(item);
    return deleted ? deleted->size : 0;
}

uint64_t countLogLine(const Item& item) { return item.change ? 0 : 1; }

// Why a file or folder stayed, when the item is one that did.
const std::string* keptReason(const Item& item) {
    if (const FileKept* file = as<FileKept>(item)) return &file->reason;
    if (const FolderKept* folder = as<FolderKept>(item)) return &folder->reason;
    return nullptr;
}

std::string plural(uint64_t n, const char* one, const char* many) { return countText(n) + " " + (n == 1 ? one : many); }

std::string said(uint64_t n, const char* one, const char* many, const char* done) {
    return n ? plural(n, one, many) + " " + done : std::string();
}

std::string filesWords(const Totals& t) {
    if (!t.n[FilesDeleted] && !t.n[FilesKept] && !t.n[FoldersRemoved] && !t.n[FoldersKept]) return "";
    std::string files = plural(t.n[FilesDeleted], "file", "files") + " deleted (" + sizeText(t.n[BytesFreed]) + " freed)";
    if (t.n[FoldersRemoved]) files += ", " + plural(t.n[FoldersRemoved], "folder", "folders") + " removed";
    return files;
}

std::string keptWords(const Totals& t) {
    if (t.kept.empty()) return "";
    // The reasons people ask about first, then the rest.
    std::string kept = countText(t.n[FilesKept] + t.n[FoldersKept]) + " kept: ";
    std::map<std::string, uint64_t> left = t.kept;
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
    return kept;
}

// Every total, in the order the JSON lists them. A new total is one row here.
const Total kTotals[] = {
    {FilesDeleted, "filesDeleted", countOf<FileDeleted>, 1, filesWords},
    {BytesFreed, "bytesFreed", bytesFreed, 0, nullptr},
    {FilesKept, "filesKept", countOf<FileKept>, 0, nullptr},
    {FoldersRemoved, "foldersRemoved", countOf<FolderRemoved>, 0, nullptr},
    {FoldersKept, "foldersKept", countOf<FolderKept>, 0, nullptr},
    {KeptByReason, "kept", nullptr, 2, keptWords},
    {EntriesRemoved, "entriesRemoved", countOf<EntryCleared>, 5,
     [](const Totals& t) { return said(t.n[EntriesRemoved], "entry", "entries", "removed"); }},
    {EntriesRegistered, "entriesRegistered", countOf<EntryAdded>, 6,
     [](const Totals& t) { return said(t.n[EntriesRegistered], "entry", "entries", "registered"); }},
    {ValuesDeleted, "valuesDeleted", countOf<ValueDeleted>, 3,
     [](const Totals& t) { return said(t.n[ValuesDeleted], "registry value", "registry values", "deleted"); }},
    {ValuesSet, "valuesSet", countOf<ValueSet>, 4,
     [](const Totals& t) { return said(t.n[ValuesSet], "registry value", "registry values", "set"); }},
    {LogLines, "logLines", countLogLine, 0, nullptr},
    {FilesWritten, "filesWritten", countOf<FileWritten>, 7,
     [](const Totals& t) { return said(t.n[FilesWritten], "file", "files", "written"); }},
    {ProgramsStarted, "programsStarted", countOf<ProgramStarted>, 8,
     [](const Totals& t) { return said(t.n[ProgramsStarted], "program", "programs", "started"); }},
    {Restarts, "restarts", countOf<Restart>, 9,
     [](const Totals& t) { return std::string(t.n[Restarts] ? "restart requested" : ""); }},
};
static_assert(std::size(kTotals) == kTotalIds);

Totals totalsOf(const Action& action) {
    Totals totals;
    for (const Item& item : action.items) {
        for (const Total& total : kTotals)
            if (total.adds) totals.n[total.id] += total.adds(item);
        if (const std::string* reason = keptReason(item)) totals.kept[*reason] += item.change->count;
    }
    return totals;
}

void addTotals(const Totals& from, Totals* into) {
    for (const Total& total : kTotals) into->n[total.id] += from.n[total.id];
    for (const auto& [reason, n] : from.kept) into->kept[reason] += n;
}

std::string summaryLine(const Action& action) {
    Totals totals = totalsOf(action);
    std::map<int, std::string> parts;  // by place
    for (const Total& total : kTotals) {
        if (!total.place) continue;
        std::string words = total.words(totals);
        if (!words.empty()) parts[total.place] = words;
    }
    std::string line = action.name + ": ";
    if (parts.empty()) return line + "nothing to do";
    bool first = true;
    for (const auto& [place, words] : parts) {
        line += (first ? "" : "; ") + words;
        first = false;
    }
    return line;
}

Json totalsJson(const Totals& totals) {
    Json json = Json::object();
    for (const Total& total : kTotals) {
        if (total.adds) {
            json[total.member] = totals.n[total.id];
            continue;
        }
        Json kept = Json::object();
        for (const auto& [reason, n] : totals.kept) kept[reason] = n;
        json[total.member] = kept;
    }
    return json;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The tag of one item line, padded: "  delete file   ".
std::string verb(const char* word) {
    std::string padded = std::string("  ") + word;
    padded.resize(16, ' ');
    return padded;
}

// Overloaded lambdas for std::visit.
template <class... Ls>
struct Visitor : Ls... {
    using Ls::operator()...;
};
// Spelled out for compilers without aggregate deduction (clang 14).
template <class... Ls>
Visitor(Ls...) -> Visitor<Ls...>;

std::string itemLine(const Item& item) {
    if (!item.change) return verb("log") + item.logLine;
    return std::visit(
        Visitor{
            [](const FileDeleted& c) { return verb("delete file") + c.path + "  " + sizeText(c.size); },
            [](const FileKept& c) { return verb("keep file") + c.path + "  " + sizeText(c.size) + "  (" + c.reason + ")"; },
            [](const FolderRemoved& c) { return verb("remove folder") + c.path; },
            [](const FolderKept& c) { return verb("keep folder") + c.path + "  (" + c.reason + ")"; },
            [](const FileWritten& c) { return verb("write file") + c.path + "  " + sizeText(c.bytes.size()); },
            [](const FileEmptied& c) { return verb("empty file") + c.path; },
            [](const ValueDeleted& c) { return verb("delete value") + c.key + "  " + quoted(c.name); },
            [](const ValueSet& c) { return verb("set value") + c.key + "  " + quoted(c.name) + "  " + sizeText(c.size); },
            // A listing records cleared entries in full; only a summary leaves them out.
            [](const EntryCleared& c) { return verb("clear entry") + formats::notifyDescribe(c.entry.value()); },
            [](const EntryAdded& c) { return verb("add entry") + formats::notifyDescribe(c.entry); },
            [](const ProgramStarted& c) {
                return verb("start") + c.application + "  " + quoted(c.commandLine) + (c.found ? "" : "  (not found)");
            },
            [](const Restart& c) { return verb("restart") + "by the " + c.by; },
        },
        item.change->what);
}

Json entryJson(const NotificationEntry& entry) { return Json::parse(formats::notifyToJson({entry})).at(0); }

Json actionJson(const Action& action) {
    Json files = Json::array(), folders = Json::array(), values = Json::array(), removed = Json::array();
    Json registered = Json::array(), written = Json::array(), log = Json::array(), started = Json::array();
    Json restarts = Json::array();
    for (const Item& item : action.items) {
        if (!item.change) {
            log.push_back(item.logLine);
            continue;
        }
        std::visit(Visitor{
                       [&](const FileDeleted& c) {
                           files.push_back(Json{{"path", c.path}, {"size", c.size}, {"result", "deleted"}});
                       },
                       [&](const FileKept& c) {
                           files.push_back(Json{{"path", c.path}, {"size", c.size}, {"result", "kept"}, {"reason", c.reason}});
                       },
                       [&](const FolderRemoved& c) { folders.push_back(Json{{"path", c.path}, {"result", "removed"}}); },
                       [&](const FolderKept& c) {
                           folders.push_back(Json{{"path", c.path}, {"result", "kept"}, {"reason", c.reason}});
                       },
                       [&](const FileWritten& c) { written.push_back(Json{{"path", c.path}, {"size", c.bytes.size()}}); },
                       [&](const FileEmptied& c) { written.push_back(Json{{"path", c.path}, {"emptied", true}}); },
                       [&](const ValueDeleted& c) {
                           values.push_back(Json{{"key", c.key}, {"name", c.name}, {"result", "deleted"}});
                       },
                       [&](const ValueSet& c) {
                           values.push_back(Json{{"key", c.key}, {"name", c.name}, {"result", "set"}, {"size", c.size}});
                       },
                       [&](const EntryCleared& c) { removed.push_back(entryJson(c.entry.value())); },
                       [&](const EntryAdded& c) { registered.push_back(entryJson(c.entry)); },
                       [&](const ProgramStarted& c) {
                           started.push_back(
                               Json{{"application", c.application}, {"commandLine", c.commandLine}, {"found", c.found}});
                       },
                       [&](const Restart& c) { restarts.push_back(c.by); },
                   },
                   item.change->what);
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
