// The run report. The record is one list of changes; the log lines written among them
// mark the actions (formats/logline.h): a line that starts an action opens it, and a line
// that ends one takes what came since the last action ended (the notification cleanup logs
// its summary after its work). A restart stands apart, under a heading of its own, as the
// registration of the next automatic run does (the program's "removeNotifications"). What
// comes before any such line and is not claimed by one is grouped as "other". Every text
// line is made safe for a terminal (formats/printable.h): the names in it are not ours.
#include "host/quillex/report.h"

#include "app/quillex.h"
#include "device/kernel/clock.h"
#include "formats/logline.h"
#include "formats/notifyjson.h"
#include "formats/printable.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <optional>

namespace host {
namespace {

using Json = nlohmann::ordered_json;
using device::Change;
using device::EntryAdded;
using device::EntryCleared;
using device::EntryKept;
using device::FileDeleted;
using device::FileEmptied;
using device::FileKept;
using device::FileNotWritten;
using device::FileWritten;
using device::FolderKept;
using device::FolderRemoved;
using device::NotificationEntry;
using device::ProgramStarted;
using device::Restart;
using device::ValueDeleted;
using device::ValueKept;
using device::ValueSet;

// The actions a person asks for, as the main dialog names them, with the letter that asks
// for each on the command line and its bit in the automatic run's startOptions.
struct ActionKind {
    const char* operation;  // as the program logs it
    const char* label;
    char letter;
    int scheduleBit;
};
const ActionKind kKinds[] = {
    {"cleanupNotifications", "Notifications", 'n', SCHEDULE_NOTIFICATIONS},
    {"cleanupTemp", "Temp files", 't', SCHEDULE_TEMP},
    {"cleanupIECache", "IE Cache", 'c', SCHEDULE_IE_CACHE},
    {"cleanupHistory", "IE History", 'h', SCHEDULE_IE_HISTORY},
    {"cleanupAvantGo", "AvantGo Cache", 'a', SCHEDULE_AVANTGO},
};
// What a run does beside the actions: the program's removal of its earlier automatic-run
// entry and registration of the next one, and a restart.
const char kScheduleOperation[] = "removeNotifications";
const char kRestart[] = "restart";
const char kOther[] = "other";

// The sweep reaches the entries of a folder and of its sub-folders; a folder below those
// is met as a file and fails to delete as one. Told as what it is.
const char kBelowSweep[] = "below the two levels swept";

// One item of an action: a change, or one line of the log.
struct Item {
    const Change* recorded = nullptr;
    std::optional<Change> told;  // the change as the report tells it, when not as recorded
    std::string logLine;
    const Change* change() const { return told ? &*told : recorded; }
};

// The change of `item` when it is of kind K.
template <class K>
const K* as(const Item& item) {
    return item.change() ? std::get_if<K>(&item.change()->what) : nullptr;
}

struct Action {
    std::string name;
    std::vector<Item> items;
};

// Where an action stands in kKinds; -1 for what is no action a person asks for.
int kindOf(const std::string& operation) {
    for (size_t i = 0; i < std::size(kKinds); ++i)
        if (operation == kKinds[i].operation) return static_cast<int>(i);
    return -1;
}

// `change` as an item: a folder the device refused to delete as a file is a folder kept.
Item itemOf(const Change& change) {
    Item item{&change, std::nullopt, {}};
    if (const FileKept* kept = std::get_if<FileKept>(&change.what); kept && kept->reason == "folder")
        item.told = Change{FolderKept{kept->path, kBelowSweep}, change.count};
    return item;
}

bool sameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// A write to the log that failed stands where its line would have: for the next action
// asked for that has not logged yet, or after them the automatic run's schedule. RETURNS
// that operation, or "" when none is left.
std::string refusedLineOf(const RunFacts& facts, const std::vector<std::string>& logged) {
    auto hasLogged = [&](const char* operation) { return std::find(logged.begin(), logged.end(), operation) != logged.end(); };
    for (const ActionKind& kind : kKinds)
        if (facts.asked.find(kind.letter) != std::string::npos && !hasLogged(kind.operation)) return kind.operation;
    std::string line = facts.commandLine;
    for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    bool automatic = line.find("-auto") != std::string::npos;
    return automatic && !hasLogged(kScheduleOperation) ? kScheduleOperation : "";
}

std::vector<Action> groupActions(const RunFacts& facts, const std::vector<Change>& changes) {
    std::vector<Action> actions;
    std::vector<Item> pending;  // not yet claimed by any action
    std::vector<std::string> logged;  // the actions that have logged, in order
    int open = -1;
    auto add = [&](Item item) {
        if (open >= 0) actions[static_cast<size_t>(open)].items.push_back(std::move(item));
        else pending.push_back(std::move(item));
    };
    auto flushPending = [&]() {
        if (!pending.empty()) actions.push_back(Action{kOther, std::move(pending)});
        pending.clear();
    };
    auto starts = [&](const std::string& action, Item item) {
        flushPending();
        logged.push_back(action);
        actions.push_back(Action{action, {std::move(item)}});
        open = static_cast<int>(actions.size()) - 1;
    };
    auto ends = [&](const std::string& action, Item item) {
        logged.push_back(action);
        if (open >= 0 && actions[static_cast<size_t>(open)].name == action) {
            actions[static_cast<size_t>(open)].items.push_back(std::move(item));
        } else {
            pending.push_back(std::move(item));
            actions.push_back(Action{action, std::move(pending)});
            pending.clear();
        }
        open = -1;
    };
    for (const Change& change : changes) {
        if (std::holds_alternative<Restart>(change.what)) {
            // Whatever action was open ends: a restart belongs to none of them.
            flushPending();
            actions.push_back(Action{kRestart, {itemOf(change)}});
            open = -1;
            continue;
        }
        const FileNotWritten* refused = std::get_if<FileNotWritten>(&change.what);
        if (refused && sameIgnoringAsciiCase(refused->path, facts.logPath)) {
            // The notification cleanup logs after its work; every other operation before it.
            std::string operation = refusedLineOf(facts, logged);
            if (operation == kKinds[0].operation) {
                ends(operation, itemOf(change));
            } else if (!operation.empty()) {
                starts(operation, itemOf(change));
            } else {
                open = -1;
                add(itemOf(change));
            }
            continue;
        }
        const FileWritten* write = std::get_if<FileWritten>(&change.what);
        if (!write || !sameIgnoringAsciiCase(write->path, facts.logPath)) {
            add(itemOf(change));
            continue;
        }
        for (std::string& line : formats::logLinesSplit(write->bytes)) {
            formats::LogLine read = formats::logLineRead(line);
            if (read.role == formats::LogRole::Starts) starts(read.action, Item{nullptr, std::nullopt, line});
            else if (read.role == formats::LogRole::Ends) ends(read.action, Item{nullptr, std::nullopt, line});
            else add(Item{nullptr, std::nullopt, line});
        }
    }
    flushPending();
    // An action asked for that logged nothing (the notification cleanup of an empty queue)
    // still has its place, in the order the program runs them, before the schedule.
    for (size_t kind = 0; kind < std::size(kKinds); ++kind) {
        if (facts.asked.find(kKinds[kind].letter) == std::string::npos) continue;
        auto present = [&](const Action& action) { return action.name == kKinds[kind].operation; };
        if (std::any_of(actions.begin(), actions.end(), present)) continue;
        auto later = [&](const Action& action) {
            return kindOf(action.name) > static_cast<int>(kind) || action.name == kScheduleOperation ||
                   action.name == kRestart;
        };
        actions.insert(std::find_if(actions.begin(), actions.end(), later), Action{kKinds[kind].operation, {}});
    }
    return actions;
}

// The totals of an action, or of the run: a count for each row of the table below, the
// files and folders that stayed by reason, and by reason what the host or the store
// refused: entries and registry values kept, writes failed.
enum TotalId {
    FilesDeleted, BytesFreed, FilesKept, FoldersRemoved, FoldersKept, KeptByReason, EntriesRemoved, EntriesRegistered,
    ValuesDeleted, ValuesSet, LogLines, FilesWritten, ProgramsStarted, Restarts, EntriesKept, ValuesKept, WritesFailed,
    kTotalIds
};

struct Totals {
    uint64_t n[kTotalIds] = {};
    std::map<std::string, uint64_t> kept, filesKept, foldersKept;  // by reason: all, files, folders
    std::map<std::string, uint64_t> entriesKept, valuesKept, writesFailed;  // by reason
    std::string nextRun;  // when the schedule registered one entry: its start, to the minute
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
    return as<K>(item) ? item.change()->count : 0;
}

uint64_t bytesFreed(const Item& item) {
    const FileDeleted* deleted = as<FileDeleted>(item);
    return deleted ? deleted->size : 0;
}

uint64_t countLogLine(const Item& item) { return item.change() ? 0 : 1; }

std::string plural(uint64_t n, const char* one, const char* many) { return countText(n) + " " + (n == 1 ? one : many); }

std::string said(uint64_t n, const char* one, const char* many, const char* done) {
    return n ? plural(n, one, many) + " " + done : std::string();
}

// What went: files (with the bytes freed) and folders, each counted apart.
std::string filesWords(const Totals& t) {
    std::string files, folders = said(t.n[FoldersRemoved], "folder", "folders", "removed");
    if (t.n[FilesDeleted]) files = said(t.n[FilesDeleted], "file", "files", "deleted") + " (" + sizeText(t.n[BytesFreed]) + " freed)";
    return files + (!files.empty() && !folders.empty() ? ", " : "") + folders;
}

// "2 files kept: 1 read-only, 1 in use": the reasons people ask about first, then the rest.
std::string keptByReason(uint64_t count, const char* one, const char* many, const std::map<std::string, uint64_t>& reasons,
                         std::initializer_list<const char*> first, const char* what = "kept") {
    if (reasons.empty()) return "";
    std::string kept = plural(count, one, many) + " " + what + ": ";
    std::map<std::string, uint64_t> left = reasons;
    bool none = true;
    for (const char* reason : first) {
        auto found = left.find(reason);
        if (found == left.end()) continue;
        kept += (none ? "" : ", ") + countText(found->second) + " " + reason;
        none = false;
        left.erase(found);
    }
    for (const auto& [reason, n] : left) {
        kept += (none ? "" : ", ") + countText(n) + " " + reason;
        none = false;
    }
    return kept;
}

// Files and folders that stayed, each counted apart.
std::string keptWords(const Totals& t) {
    std::string files = keptByReason(t.n[FilesKept], "file", "files", t.filesKept, {"read-only", "in use"});
    std::string folders =
        keptByReason(t.n[FoldersKept], "folder", "folders", t.foldersKept, {kBelowSweep, "folder not empty"});
    return files + (!files.empty() && !folders.empty() ? "; " : "") + folders;
}

std::string registeredWords(const Totals& t) {
    if (t.n[EntriesRegistered] == 1 && !t.nextRun.empty()) return "next run registered for " + t.nextRun;
    return said(t.n[EntriesRegistered], "entry", "entries", "registered");
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
    {EntriesRegistered, "entriesRegistered", countOf<EntryAdded>, 6, registeredWords},
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
    {EntriesKept, "entriesKept", countOf<EntryKept>, 10,
     [](const Totals& t) { return keptByReason(t.n[EntriesKept], "entry", "entries", t.entriesKept, {}); }},
    {ValuesKept, "valuesKept", countOf<ValueKept>, 11,
     [](const Totals& t) { return keptByReason(t.n[ValuesKept], "registry value", "registry values", t.valuesKept, {}); }},
    {WritesFailed, "writesFailed", countOf<FileNotWritten>, 12,
     [](const Totals& t) { return keptByReason(t.n[WritesFailed], "write", "writes", t.writesFailed, {}, "failed"); }},
};
static_assert(std::size(kTotals) == kTotalIds);

Totals totalsOf(const Action& action) {
    Totals totals;
    for (const Item& item : action.items) {
        for (const Total& total : kTotals)
            if (total.adds) totals.n[total.id] += total.adds(item);
        if (const FileKept* file = as<FileKept>(item)) {
            totals.kept[file->reason] += item.change()->count;
            totals.filesKept[file->reason] += item.change()->count;
        } else if (const FolderKept* folder = as<FolderKept>(item)) {
            totals.kept[folder->reason] += item.change()->count;
            totals.foldersKept[folder->reason] += item.change()->count;
        } else if (const EntryAdded* added = as<EntryAdded>(item); added && action.name == kScheduleOperation) {
            totals.nextRun = device::formatDeviceTime(added->entry.start).substr(0, 16);
        } else if (const EntryKept* entry = as<EntryKept>(item)) {
            totals.entriesKept[entry->reason] += item.change()->count;
        } else if (const ValueKept* value = as<ValueKept>(item)) {
            totals.valuesKept[value->reason] += item.change()->count;
        } else if (const FileNotWritten* write = as<FileNotWritten>(item)) {
            totals.writesFailed[write->reason] += item.change()->count;
        }
    }
    return totals;
}

void addTotals(const Totals& from, Totals* into) {
    for (const Total& total : kTotals) into->n[total.id] += from.n[total.id];
    for (const auto& [reason, n] : from.kept) into->kept[reason] += n;
}

std::string summaryLine(const Action& action) {
    if (action.name == kRestart) {
        const Restart* restart = action.items.empty() ? nullptr : as<Restart>(action.items.front());
        return std::string("restart requested") + (restart ? " by the " + restart->by : "");
    }
    Totals totals = totalsOf(action);
    std::map<int, std::string> parts;  // by place
    for (const Total& total : kTotals) {
        if (!total.place) continue;
        std::string words = total.words(totals);
        if (!words.empty()) parts[total.place] = words;
    }
    std::string line = actionLabel(action.name) + ": ";
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
    if (!item.change()) return verb("log") + item.logLine;
    return std::visit(
        Visitor{
            [](const FileDeleted& c) { return verb("delete file") + c.path + "  " + sizeText(c.size); },
            [](const FileKept& c) { return verb("keep file") + c.path + "  " + sizeText(c.size) + "  (" + c.reason + ")"; },
            [](const FolderRemoved& c) { return verb("remove folder") + c.path; },
            [](const FolderKept& c) { return verb("keep folder") + c.path + "  (" + c.reason + ")"; },
            [](const FileWritten& c) { return verb("write file") + c.path + "  " + sizeText(c.bytes.size()); },
            [](const FileEmptied& c) { return verb("empty file") + c.path; },
            [](const FileNotWritten& c) { return verb("not written") + c.path + "  (" + c.reason + ")"; },
            [](const ValueDeleted& c) { return verb("delete value") + c.key + "  " + quoted(c.name); },
            [](const ValueSet& c) { return verb("set value") + c.key + "  " + quoted(c.name) + "  " + sizeText(c.size); },
            [](const ValueKept& c) { return verb("keep value") + c.key + "  " + quoted(c.name) + "  (" + c.reason + ")"; },
            // A listing records cleared entries in full; only a summary leaves them out.
            [](const EntryCleared& c) { return verb("clear entry") + formats::notifyDescribe(c.entry.value()); },
            [](const EntryKept& c) {
                return verb("keep entry") + (c.entry ? formats::notifyDescribe(*c.entry) : std::string("?")) + "  (" +
                       c.reason + ")";
            },
            [](const EntryAdded& c) { return verb("add entry") + formats::notifyDescribe(c.entry); },
            [](const ProgramStarted& c) {
                return verb("start") + c.application + "  " + quoted(c.commandLine) + (c.found ? "" : "  (not found)");
            },
            [](const Restart& c) { return verb("restart") + "by the " + c.by; },
        },
        item.change()->what);
}

// The last line of a report that stopped early: what came before is all the run did.
std::string interruptedLine(const RunFacts& facts) {
    if (!facts.interruptedBy) return "";
    return "interrupted by " + signalName(facts.interruptedBy) + ": the report tells what the run did until then\n";
}

Json entryJson(const NotificationEntry& entry) { return Json::parse(formats::notifyToJson({entry})).at(0); }

Json actionJson(const Action& action) {
    Json files = Json::array(), folders = Json::array(), values = Json::array(), removed = Json::array();
    Json registered = Json::array(), written = Json::array(), log = Json::array(), started = Json::array();
    Json restarts = Json::array(), entriesKept = Json::array(), writesFailed = Json::array();
    for (const Item& item : action.items) {
        if (!item.change()) {
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
                       [&](const FileNotWritten& c) { writesFailed.push_back(Json{{"path", c.path}, {"reason", c.reason}}); },
                       [&](const ValueDeleted& c) {
                           values.push_back(Json{{"key", c.key}, {"name", c.name}, {"result", "deleted"}});
                       },
                       [&](const ValueSet& c) {
                           values.push_back(Json{{"key", c.key}, {"name", c.name}, {"result", "set"}, {"size", c.size}});
                       },
                       [&](const ValueKept& c) {
                           values.push_back(Json{{"key", c.key}, {"name", c.name}, {"result", "kept"}, {"reason", c.reason}});
                       },
                       [&](const EntryCleared& c) { removed.push_back(entryJson(c.entry.value())); },
                       [&](const EntryKept& c) {
                           Json kept = c.entry ? entryJson(*c.entry) : Json::object();
                           kept["reason"] = c.reason;
                           entriesKept.push_back(std::move(kept));
                       },
                       [&](const EntryAdded& c) { registered.push_back(entryJson(c.entry)); },
                       [&](const ProgramStarted& c) {
                           started.push_back(
                               Json{{"application", c.application}, {"commandLine", c.commandLine}, {"found", c.found}});
                       },
                       [&](const Restart& c) { restarts.push_back(c.by); },
                   },
                   item.change()->what);
    }
    return Json{{"name", action.name},
                {"label", actionLabel(action.name)},
                {"files", files},
                {"folders", folders},
                {"registryValues", values},
                {"notificationsRemoved", removed},
                {"entriesRegistered", registered},
                {"filesWritten", written},
                {"log", log},
                {"programsStarted", started},
                {"restarts", restarts},
                {"notificationsKept", entriesKept},
                {"writesFailed", writesFailed},
                {"totals", totalsJson(totalsOf(action))}};
}

}  // namespace

std::string actionsAsked(const std::string& commandLine) {
    // The program's own reading: a letter anywhere in the line, in either case; a line
    // holding "-auto" is the automatic run, which runs what its settings select.
    std::string line = commandLine;
    for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    int scheduled = 0;
    bool automatic = line.find("-auto") != std::string::npos;
    if (automatic) {
        HKEY key;
        if (openScheduleKey(&key)) {
            readScheduleValue(key, TEXT("startOptions"), &scheduled);
            RegCloseKey(key);
        }
    }
    std::string asked;
    for (const ActionKind& kind : kKinds) {
        if (automatic ? (scheduled & kind.scheduleBit) != 0 : line.find(kind.letter) != std::string::npos)
            asked += kind.letter;
    }
    return asked;
}

std::string actionLabel(const std::string& operation) {
    int kind = kindOf(operation);
    if (kind >= 0) return kKinds[kind].label;
    return operation == kScheduleOperation ? "schedule" : operation;
}

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

std::string signalName(int signal) {
    const char* abbreviation = sigabbrev_np(signal);
    return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal);
}

std::string reportSummary(const RunFacts& facts, const std::vector<Change>& changes) {
    std::string text;
    for (const Action& action : groupActions(facts, changes)) text += formats::printable(summaryLine(action)) + "\n";
    return text + interruptedLine(facts);
}

std::string reportItems(const RunFacts& facts, const std::vector<Change>& changes) {
    std::vector<Action> actions = groupActions(facts, changes);
    std::string text;
    for (const Action& action : actions) {
        text += formats::printable(actionLabel(action.name)) + "\n";
        for (const Item& item : action.items) text += formats::printable(itemLine(item)) + "\n";
    }
    if (!actions.empty()) text += "\n";
    for (const Action& action : actions) text += formats::printable(summaryLine(action)) + "\n";
    return text + interruptedLine(facts);
}

bool reportRefused(const std::vector<Change>& changes) {
    for (const Change& change : changes) {
        if (const FileKept* file = std::get_if<FileKept>(&change.what); file && file->reason == "refused") return true;
        if (const FolderKept* folder = std::get_if<FolderKept>(&change.what); folder && folder->reason == "refused")
            return true;
        if (std::holds_alternative<EntryKept>(change.what) || std::holds_alternative<ValueKept>(change.what) ||
            std::holds_alternative<FileNotWritten>(change.what))
            return true;
    }
    return false;
}

Json reportJson(const RunFacts& facts, const std::vector<Change>& changes) {
    Json actions = Json::array();
    Totals all;
    for (const Action& action : groupActions(facts, changes)) {
        actions.push_back(actionJson(action));
        addTotals(totalsOf(action), &all);
    }
    Json document{{"device", facts.device},
                  {"commandLine", facts.commandLine},
                  {"preview", facts.preview},
                  {"interrupted", facts.interruptedBy != 0}};
    if (facts.interruptedBy) document["signal"] = signalName(facts.interruptedBy);
    document["actions"] = actions;
    document["totals"] = totalsJson(all);
    return document;
}

}  // namespace host
