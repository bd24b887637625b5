#!/usr/bin/env python3
"""The differential check: the same program on the emulated device and on desktop Win32.

Generates devices (folder trees two and three levels deep with read-only, held, hidden and
oddly named files; browser folders with and without their IE5 sub-folders; registry folder
values, history lists, install folders and schedules; notification queues), runs one
command on each twice, once with quillex on the emulated device and once with
quillex-check.exe under Wine, and compares what is left: the trees, the registry's values
below the keys Quillex uses, the log lines (without their timestamps), the queue, the
programs started and restarts asked for, and the main dialog's figures. Prints "N of N
scenarios agree" and every disagreement with the scenario's inputs. Times in the queue and
the schedule are relative to the moment of the run. scripts/wine-check.sh sets it all up.
"""

import argparse
import concurrent.futures
import datetime
import json
import os
import random
import re
import select
import shutil
import subprocess
import sys
import time

# The keys Quillex reads or writes; the check compares everything below them. The runner
# (port/win32/check/runner.cpp) watches the same ones.
WATCHED_KEYS = [
    r"HKEY_CURRENT_USER\Software\Holvenark\Quillex",
    r"HKEY_LOCAL_MACHINE\Software\Apps\Holvenark Quillex",
    r"HKEY_CURRENT_USER\Software\AvantGo",
    r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders",
    r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Cache\Content",
    r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Internet Settings\5.0\Cache\Cookies",
    r"HKEY_LOCAL_MACHINE\Explorer\RunHistory",
    r"HKEY_LOCAL_MACHINE\Explorer\AddressHistory",
]
INSTALL_KEY, SCHEDULE_KEY, AVANTGO_KEY, SHELL_FOLDERS, CACHE_FALLBACK, HISTORY_FALLBACK, RUN_HISTORY, \
    ADDRESS_HISTORY = WATCHED_KEYS[1], WATCHED_KEYS[0], WATCHED_KEYS[2], WATCHED_KEYS[3], WATCHED_KEYS[4], \
    WATCHED_KEYS[5], WATCHED_KEYS[6], WATCHED_KEYS[7]

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7

# The main dialog's rows and check boxes, in row order.
FIGURE_LABELS = ["Notifications", "Temp files", "IE Cache", "IE History", "AvantGo Cache"]
CHECK_BOXES = [1001, 1004, 1006, 1008, 1010]

DEFAULT_AVANTGO = r"\Windows\AvantGo"
IE_FOLDER = r"\Windows\Profiles\guest\Temporary Internet Files"
DEFAULT_CACHE = IE_FOLDER + r"\Content.IE5"
DEFAULT_HISTORY = r"\Windows\Profiles\guest\History"
DEFAULT_INSTALL = r"\Program Files\Quillex"


# ---------------------------------------------------------------- scenarios

class Scenario:
    """One generated device and the command run on it."""

    def __init__(self, number):
        self.number = number
        self.folders = []    # device paths of folders, parents first
        self.files = {}      # device path -> (size, read_only)
        self.registry = {}   # watched key -> list of (name, type, bytes), or None: absent
        self.held = []       # device paths held open while the program runs
        self.queue = []      # notification entries, in delivery order
        self.command = ""    # a command line, or "cleanup" or "export" in the main dialog
        self.boxes = []      # the check boxes the dialog's Cleanup ticks
        self.notes = []      # what the generator chose, for the report
        self.run_time = False  # the automatic run is registered at the time of day it runs

    def describe(self):
        if self.command == "cleanup":
            action = "Cleanup in the main dialog with boxes " + " ".join(map(str, self.boxes))
        elif self.command == "export":
            action = "Export Log in the main dialog"
        else:
            action = f"command line \"{self.command}\""
        lines = [f"scenario {self.number}: {action}"]
        lines += ["  " + note for note in self.notes]
        lines += ["  notification " + json.dumps(entry_json(entry), ensure_ascii=False) for entry in self.queue]
        for key in WATCHED_KEYS:
            values = self.registry.get(key)
            if values is None:
                continue
            lines.append(f"  [{key}]")
            lines += [f"    {name!r} type {kind}: {show_bytes(data)}" for name, kind, data in values]
        for folder in self.folders:
            lines.append(f"  folder {folder}")
        for path, (size, read_only) in sorted(self.files.items()):
            flags = (" read-only" if read_only else "") + (" held" if path in self.held else "")
            lines.append(f"  file {path} {size} bytes{flags}")
        return "\n".join(lines)


def show_bytes(data):
    if len(data) > 48:
        return data[:48].hex() + f"... ({len(data)} bytes)"
    return data.hex() or "(none)"


def wide(text, terminated=True):
    return text.encode("utf-16-le") + (b"\0\0" if terminated else b"")


NAME_POOL = ["a.txt", "notes.doc", "index.dat", "page.htm", "picture.gif", "data.bin", "x", "README",
             "name.with.many.dots.tmp", "Report 2024 (final).doc", "café.txt", "Ünïcödé ß.txt", "日本語.htm",
             "~WRL0001.tmp", "100%.txt", "%s %d.log", "a&b;c'd.txt", "#hash[1].js", "leading space.txt",
             "l" * 120 + ".txt", "UPPER.TXT", "mixed.Case.Htm", "no_extension", "{guid-1234}.dat"]
FOLDER_POOL = ["sub", "Cache1", "ABCDEF12", "old files", "dünn", "deep.folder", "x" * 60, "GHIJKL34"]
SIZE_POOL = [0, 1, 17, 100, 1023, 1024, 1025, 4096, 5000, 65536, 70000]


def random_size(rng, big):
    roll = rng.random()
    if big and roll < 0.04:
        return 4 * 1024 ** 3 + 10  # counted modulo 2^32: ten bytes
    if roll < 0.12:
        return rng.choice([1024 ** 2, 1024 ** 2 + 1, 1536 * 1024, 3 * 1024 ** 2 + 77])
    return rng.choice(SIZE_POOL)


def add_folder(scenario, path):
    parts = path.strip("\\").split("\\")
    for depth in range(1, len(parts) + 1):
        folder = "\\" + "\\".join(parts[:depth])
        if folder.lower() not in (f.lower() for f in scenario.folders):
            scenario.folders.append(folder)


def unique_name(rng, pool, taken, hidden_chance=0.0):
    for _ in range(50):
        name = rng.choice(pool)
        if rng.random() < hidden_chance:
            name = "." + name
        if name.lower() not in taken:
            taken.add(name.lower())
            return name
    name = f"extra{len(taken)}.bin"
    taken.add(name)
    return name


def add_tree(scenario, rng, folder, depth):
    """A tree below `folder`: files in it, sub-folders with files, and a level below those
    when `depth` is 3 (which no sweep reaches)."""
    add_folder(scenario, folder)

    def fill(path, level):
        taken = set()
        for _ in range(rng.randint(0, 4)):
            name = unique_name(rng, NAME_POOL, taken, hidden_chance=0.1)
            scenario.files[path + "\\" + name] = (random_size(rng, level == 1), rng.random() < 0.12)
        if level < depth:
            for _ in range(rng.randint(0, 3 if level == 1 else 2)):
                name = unique_name(rng, FOLDER_POOL, taken, hidden_chance=0.05)
                add_folder(scenario, path + "\\" + name)
                fill(path + "\\" + name, level + 1)

    fill(folder, 1)
    scenario.notes.append(f"tree {depth} levels deep below {folder}")


def folder_value(rng, folder):
    """A folder location as a registry value, well formed or not. RETURNS (type, bytes, note)."""
    kind = rng.choices(["string", "expand", "case", "unterminated", "dword", "empty", "root", "long", "multi"],
                       weights=[10, 2, 2, 2, 1, 1, 1, 1, 1])[0]
    if kind == "string":
        return REG_SZ, wide(folder), f"string {folder}"
    if kind == "expand":
        return REG_EXPAND_SZ, wide(folder), f"expandable string {folder}"
    if kind == "case":
        changed = "".join(c.upper() if rng.random() < 0.5 else c.lower() for c in folder)
        return REG_SZ, wide(changed), f"string {changed}"
    if kind == "unterminated":
        return REG_SZ, wide(folder, terminated=False), f"unterminated string {folder}"
    if kind == "dword":
        return REG_DWORD, (0x5C).to_bytes(4, "little"), "dword 0x5c"
    if kind == "empty":
        return REG_SZ, wide(""), "empty string"
    if kind == "root":
        return REG_SZ, wide("\\"), "the root"
    if kind == "long":
        long_folder = folder + "\\" + "d" * (258 - len(folder))
        return REG_SZ, wide(long_folder), f"string of {len(long_folder)} characters"
    return REG_MULTI_SZ, wide(folder) + b"\0\0", f"multi-string {folder}"


def history_list(rng):
    """Values of a browser history list, now and then one that stops the walk. They are
    created in the order of their names, ignoring case: the order in which Wine lists them
    (Windows and the handheld list values in creation order)."""
    values = []
    for index in range(rng.randint(0, 6)):
        kind = rng.choice(["url", "url", "url", "dword", "binary", "longname", "bigdata", "emptyname"])
        if kind == "url":
            values.append((f"url{index + 1}", REG_SZ, wide(f"http://example.org/page{index}.htm")))
        elif kind == "dword":
            values.append((f"count{index}", REG_DWORD, index.to_bytes(4, "little")))
        elif kind == "binary":
            values.append((f"blob{index}", REG_BINARY, bytes(rng.randrange(256) for _ in range(rng.randint(0, 40)))))
        elif kind == "longname":
            values.append(("n" * rng.choice([259, 260, 300]), REG_SZ, wide("long name")))
        elif kind == "bigdata":
            values.append((f"big{index}", REG_BINARY, bytes(rng.choice([4200, 4201, 5000]))))
        else:
            values.append(("", REG_SZ, wide("the default value")))
    # One value a name (names ignore case), the first kept.
    unique = {}
    for value in values:
        unique.setdefault(value[0].lower(), value)
    return sorted(unique.values(), key=lambda value: value[0].lower())


def system_time(moment):
    """The eight SYSTEMTIME fields of a local time (weekday 0 = Sunday)."""
    return (moment.year, moment.month, moment.isoweekday() % 7, moment.day, moment.hour, moment.minute,
            moment.second, moment.microsecond // 1000)


def notification(kind, event=0, application=None, arguments=None, start=None, user=None):
    return {"type": kind, "event": event, "application": application, "arguments": arguments,
            "start": start or (0,) * 8, "end": (0,) * 8, "user": user}


def notification_queue(rng, now):
    """A queue of time and event entries: stale, due, far off, duplicated, unwanted.
    Start times keep well clear of the cleanup's limits (a day back, two years ahead)."""
    def start(days, hours=0):
        moment = (now + datetime.timedelta(days=days, hours=hours)).replace(microsecond=0)
        return system_time(moment)

    def user(rng):
        if rng.random() < 0.5:
            return None
        return {"title": rng.choice([None, "Dentist", "Wecker"]),
                "text": rng.choice([None, "", "at 9:30", "Ring", "Café à l'Étoile", "Ñandú"]),
                "sound": rng.choice([None, "\\Windows\\alarm1.wav"]), "flags": rng.choice([0, 1, 5])}

    def recase(text):
        # Letters whose two cases every case table pairs alike (Latin-1's among them).
        return "".join(c.swapcase() if c.isascii() or c in "éÉüÜñÑåÅøØ" else c for c in text) if text else text

    queue = []
    for _ in range(rng.randint(0, 8)):
        roll = rng.random()
        if roll < 0.25 and queue:
            copy = dict(rng.choice(queue[-2:]))  # a neighbour's duplicate in another case
            for field in ("application", "arguments"):
                if rng.random() < 0.5:
                    copy[field] = recase(copy[field])
            if copy["user"] and rng.random() < 0.5:
                copy["user"] = dict(copy["user"], text=recase(copy["user"]["text"]))
            queue.append(copy)
        elif roll < 0.55:
            offset = rng.choice([(-3, 0), (0, -25), (0, 2), (2, 0), (20, 0), (400, 0)])
            when = start(*offset)
            if rng.random() < 0.15:  # a year past what the cleanup keeps, or just within it
                when = (now.year + rng.choice([2, 3]),) + when[1:]
                when = (when[0], when[1], 0, min(when[3], 28)) + when[4:]
            application = rng.choice(["\\Windows\\calnot.exe", "\\Windows\\Ärzte.exe", None,
                                      "\\\\.\\Notifications\\NamedEvents\\SCRIPT:backup",
                                      DEFAULT_INSTALL + "\\Quillex.exe"])
            arguments = rng.choice([None, "", "AppRunAtTime", "-auto", "-AUTO", "Übung Nº 5"])
            queue.append(notification(rng.choice([2, 2, 4, 3]), 0, application, arguments, when, user(rng)))
        elif roll < 0.9:
            application = rng.choice(["\\Windows\\repllog.exe", "\\Windows\\Överföring.exe", "CONNMGR.EXE",
                                      "\\Windows\\connmgr.exe", "\\Windows\\sstimechange.exe",
                                      "\\Windows\\SSTimeChange.exe", None, ""])
            arguments = rng.choice(["AppRunAtRs232Detect", "AppRunAfterTimeChange", "Ålesund", "", None])
            queue.append(notification(1, rng.choice([1, 2, 9, 11]), application, arguments, None, None))
        else:
            queue.append(notification(rng.choice([0, 9]), 3, "\\Windows\\odd.exe", "x", start(1), user(rng)))
    return queue


def schedule_values(rng, now):
    """The automatic run's settings: mostly sound, the time of day well away from now."""
    days = rng.choice([0, 0x7F, 0x01, 0x22, 0x40, rng.randrange(128)])
    minute_of_day = (now.hour * 60 + now.minute + rng.randint(30, 1380)) % 1440
    time_of_day = rng.choice([(minute_of_day // 60) * 100 + minute_of_day % 60] * 4 + [0, -5, 2500])
    options = rng.choice([0, 0x01, 0x02, 0x1F, 0x3F, 0x20, rng.randrange(64)])
    # In the order of their names, as history_list explains.
    values = [(name, REG_DWORD, (value & 0xFFFFFFFF).to_bytes(4, "little"))
              for name, value in (("startDays", days), ("startOptions", options), ("startTime", time_of_day))]
    if rng.random() < 0.15:  # a value of the wrong size does not count
        spoilt = rng.randrange(3)
        values[spoilt] = (values[spoilt][0], REG_BINARY, b"\x01\x02")
    return values, time_of_day, f"schedule: days 0x{days:02x}, time {time_of_day}, options 0x{options:02x}"


def generate(seed, count, now):
    scenarios = []
    commands = ["t", "c", "h", "a", "n", "tc", "ha", "tcha", "ntcha", "cleanup", "export", "-auto"]
    for number in range(1, count + 1):
        rng = random.Random(seed * 1000003 + number)
        scenario = Scenario(number)
        registry = scenario.registry
        # Every scenario runs one of the commands in turn, on a device of its own.
        scenario.command = commands[(number - 1) % len(commands)]
        if scenario.command == "cleanup":
            scenario.boxes = sorted(rng.sample(CHECK_BOXES, rng.randint(1, 5)))
        scenario.queue = notification_queue(rng, now)
        if scenario.command == "-auto" or rng.random() < 0.2:
            registry[SCHEDULE_KEY], time_of_day, note = schedule_values(rng, now)
            scenario.run_time = time_of_day < 1
            scenario.notes.append(note)

        # Temporary files.
        for folder in (r"\Temp", r"\Windows\Temp"):
            if rng.random() < 0.8:
                add_tree(scenario, rng, folder, rng.choice([2, 2, 3]))

        # The offline reader's cache: the default folder or one its setting names.
        avantgo = rng.choice([DEFAULT_AVANTGO, r"\AvantGo Data", r"\My Documents\Offline"])
        if rng.random() < 0.7:
            registry[AVANTGO_KEY] = []
            if rng.random() < 0.85:
                kind, data, note = folder_value(rng, avantgo)
                registry[AVANTGO_KEY].append(("DatabaseLocation", kind, data))
                scenario.notes.append("AvantGo location: " + note)
        for folder in dict.fromkeys([DEFAULT_AVANTGO, avantgo]):
            if rng.random() < 0.75:
                add_tree(scenario, rng, folder, rng.choice([2, 3]))

        # The browser: per-user locations, else the machine-wide ones, else the defaults.
        cache = rng.choice([DEFAULT_CACHE, IE_FOLDER, r"\Cache", r"\Windows\Profiles\guest\Cache.IE5"])
        history = rng.choice([DEFAULT_HISTORY, DEFAULT_HISTORY + r"\History.IE5", r"\Hist", r"\My Documents"])
        if rng.random() < 0.6:
            registry[SHELL_FOLDERS] = []
            for name, folder in (("Cache", cache), ("History", history)):
                if rng.random() < 0.85:
                    kind, data, note = folder_value(rng, folder)
                    registry[SHELL_FOLDERS].append((name, kind, data))
                    scenario.notes.append(f"per-user {name}: {note}")
        for key, folder, label in ((CACHE_FALLBACK, cache, "cache"), (HISTORY_FALLBACK, history, "history")):
            if rng.random() < 0.5:
                registry[key] = []
                if rng.random() < 0.85:
                    kind, data, note = folder_value(rng, folder)
                    registry[key].append(("CachePath", kind, data))
                    scenario.notes.append(f"machine-wide {label}: {note}")
        for folder in dict.fromkeys([DEFAULT_CACHE, cache]):
            if rng.random() < 0.8:
                add_tree(scenario, rng, folder, rng.choice([2, 3]))
        if cache in (IE_FOLDER, r"\Cache") and rng.random() < 0.6:
            add_tree(scenario, rng, cache + r"\Content.IE5", 2)
        for folder in dict.fromkeys([DEFAULT_HISTORY, history]):
            if rng.random() < 0.8:
                add_tree(scenario, rng, folder, rng.choice([2, 3]))
            if "IE5" not in folder and rng.random() < 0.6:
                add_tree(scenario, rng, folder + r"\History.IE5", 3)

        # The browser's history lists, with a sub-key now and then, which stays.
        for key in (RUN_HISTORY, ADDRESS_HISTORY):
            if rng.random() < 0.75:
                registry[key] = history_list(rng)
                if rng.random() < 0.2:
                    registry[key + r"\Older"] = [("kept", REG_SZ, wide("stays"))]

        # The install folder and its log.
        install = DEFAULT_INSTALL
        roll = rng.random()
        if roll < 0.15:
            registry[INSTALL_KEY] = None
            scenario.notes.append("no install key: the default install folder")
        else:
            registry[INSTALL_KEY] = []
            choice = rng.choice(["default", "default", "custom", "missing", "unterminated", "dword", "long"])
            if choice == "custom":
                install = r"\Apps\Quillex"
            elif choice == "missing":
                install = r"\Nowhere\Quillex"
            if choice in ("default", "custom", "missing"):
                registry[INSTALL_KEY].append(("InstallDir", REG_SZ, wide(install)))
                scenario.notes.append(f"install folder {install}" + (" (missing)" if choice == "missing" else ""))
            elif choice == "unterminated":
                registry[INSTALL_KEY].append(("InstallDir", REG_SZ, wide(r"\Apps\Quillex", terminated=False)))
                scenario.notes.append("unterminated install folder: the default")
            elif choice == "dword":
                registry[INSTALL_KEY].append(("InstallDir", REG_DWORD, (1).to_bytes(4, "little")))
                scenario.notes.append("install folder as a dword: the default")
            else:
                install = "\\" + "i" * 250
                registry[INSTALL_KEY].append(("InstallDir", REG_SZ, wide(install)))
                scenario.notes.append("install folder too long for the log's path")
        if "Nowhere" not in install:
            add_folder(scenario, install)
            log_size = rng.choice([None, None, 0, 170, 59985, 60000, 60001, 70000])
            if log_size is not None and len(install) < 200:
                scenario.files[install + "\\Quillex.log"] = (log_size, False)
                scenario.notes.append(f"a log of {log_size} bytes")

        # One file held open by another program, now and then.
        candidates = [path for path, (size, _) in scenario.files.items() if not path.endswith("Quillex.log")]
        if candidates and rng.random() < 0.3:
            scenario.held.append(rng.choice(sorted(candidates)))
        scenarios.append(scenario)
    return scenarios


# ---------------------------------------------------------------- laying out a device

def host_path(root, device_path):
    return os.path.join(root, *device_path.strip("\\").split("\\"))


def file_content(path, size):
    """Small files get text of their own; a log gets whole lines in the log's own format,
    the first one long enough to make up the size."""
    if path.endswith("Quillex.log"):
        line = b"01/01 00:00:00 ->old entry\r\n"
        if size < len(line):
            return b"x" * size
        count = size // len(line)
        padding = size - count * len(line)
        return line[:-2] + b"." * padding + b"\r\n" + line * (count - 1)
    seed = path.encode("utf-8")
    return (seed * (size // max(len(seed), 1) + 1))[:size]


def lay_out(root, scenario):
    for folder in scenario.folders:
        os.makedirs(host_path(root, folder), exist_ok=True)
    for path, (size, read_only) in scenario.files.items():
        target = host_path(root, path)
        with open(target, "wb") as out:
            if size <= 1024 * 1024 // 2:
                out.write(file_content(path, size))
            else:
                out.truncate(size)  # large files are sparse
        if read_only:
            os.chmod(target, 0o444)


def entry_json(entry):
    """An entry as quillex-device reads it; times as their eight fields, so they are exact."""
    def time(fields):
        if not any(fields):
            return None
        names = ["wYear", "wMonth", "wDayOfWeek", "wDay", "wHour", "wMinute", "wSecond", "wMilliseconds"]
        return dict(zip(names, fields))
    return {"type": entry["type"], "event": entry["event"], "application": entry["application"],
            "arguments": entry["arguments"], "start": time(entry["start"]), "end": time(entry["end"]),
            "user": entry["user"]}


def runner_text(text):
    return "" if text is None else "=" + text


def runner_notification(entry):
    user = entry["user"] or {}
    fields = [str(entry["type"]), str(entry["event"]), runner_text(entry["application"]),
              runner_text(entry["arguments"]), ",".join(map(str, entry["start"])), ",".join(map(str, entry["end"])),
              "1" if entry["user"] else "0", runner_text(user.get("title")), runner_text(user.get("text")),
              runner_text(user.get("sound")), str(user.get("flags", 0))]
    return "notification " + "\t".join(fields)


def registry_file(scenario):
    """The scenario's registry as a file quillex-device imports: each watched key deleted,
    then written as the scenario has it."""
    def quoted(text):
        return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key in WATCHED_KEYS:
        lines += [f"[-{key}]", ""]
    for key, values in scenario.registry.items():
        if values is None:
            continue
        lines.append(f"[{key}]")
        for name, kind, data in values:
            hex_list = ",".join(f"{b:02x}" for b in data)
            lines.append(f"{quoted(name) if name else '@'}=hex({kind:x}):{hex_list}")
        lines.append("")
    return "\n".join(lines) + "\n"


def runner_setup(scenario):
    lines = ["reset"]
    for key, values in scenario.registry.items():
        if values is None:
            continue
        lines.append("key " + key)
        lines += [f"value {key}\t{name}\t{kind}\t{data.hex()}" for name, kind, data in values]
    lines += [runner_notification(entry) for entry in scenario.queue]
    return lines


# ---------------------------------------------------------------- observing a device

def read_tree(root):
    """Every folder and file below `root`: device path -> (kind, size, read-only, hidden)."""
    tree = {}
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            full = os.path.join(folder, name)
            info = os.lstat(full)
            device = "\\" + os.path.relpath(full, root).replace(os.sep, "\\")
            directory = os.path.isdir(full) and not os.path.islink(full)
            tree[device] = ("folder" if directory else "file", 0 if directory else info.st_size,
                            not info.st_mode & 0o200, name.startswith("."))
    return tree


def read_logs(root):
    """The lines of every Quillex.log below `root`, without their timestamps."""
    logs = {}
    for folder, _, files in os.walk(root):
        for name in files:
            if name.lower() != "quillex.log":
                continue
            full = os.path.join(folder, name)
            with open(full, "rb") as log:
                lines = log.read().decode("latin-1").split("\r\n")
            stamp = re.compile(r"^\d\d/\d\d \d\d:\d\d:\d\d ->")
            # A stamp further on in a line belongs to the text: a notification's start.
            logs["\\" + os.path.relpath(full, root).replace(os.sep, "\\")] = [stamp.sub("", line) for line in lines]
    return logs


def parse_registry_file(text):
    """The keys and values of a registry file as quillex-device exports it."""
    keys = {}
    current = None
    lines = text.split("\n")
    index = 0
    while index < len(lines):
        line = lines[index]
        while line.endswith("\\") and index + 1 < len(lines):
            index += 1
            line = line[:-1] + lines[index].strip()
        index += 1
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1]
            keys[current] = []
            continue
        if current is None or not line or line.startswith("Windows Registry"):
            continue
        if line.startswith("@="):
            name, data = "", line[2:]
        else:
            match = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
            name, data = re.sub(r"\\(.)", r"\1", match.group(1)), match.group(2)
        if data.startswith('"'):
            text_value = re.sub(r"\\(.)", r"\1", data[1:-1])
            keys[current].append((name, REG_SZ, wide(text_value)))
        elif data.startswith("dword:"):
            keys[current].append((name, REG_DWORD, int(data[6:], 16).to_bytes(4, "little")))
        else:
            match = re.match(r"^hex(?:\(([0-9a-fA-F]+)\))?:(.*)$", data)
            kind = int(match.group(1), 16) if match.group(1) else REG_BINARY
            hex_list = match.group(2).replace(",", "").replace(" ", "")
            keys[current].append((name, kind, bytes.fromhex(hex_list)))
    return keys


def watched_only(keys):
    """Keys below the watched ones, their paths lower-cased (key names ignore case)."""
    watched = [key.lower() for key in WATCHED_KEYS]
    kept = {}
    for key, values in keys.items():
        lower = key.lower()
        if any(lower == w or lower.startswith(w + "\\") for w in watched):
            kept[lower] = [(name, kind, data.hex()) for name, kind, data in values]
    return kept


def parse_screens(text):
    """The figures of each screen written by the script screen."""
    screens = []
    for screen in text.split("=" * 40 + "\n")[1:]:
        figures = {}
        for line in screen.split("\n"):
            match = re.match(r"^(Notifications|Temp files|IE Cache|IE History|AvantGo Cache):\s+(.*?)\s*\[.\]\s*$",
                             line)
            if match:
                figures[match.group(1)] = match.group(2)
        if figures:
            screens.append([figures.get(label, "?") for label in FIGURE_LABELS])
    return screens


def queue_entry(kind, event, application, arguments, start, end, user):
    """An entry as both sides report it."""
    return (kind, event, application, arguments, tuple(start), tuple(end), user)


def comparable_queue(queue, scenario):
    """The queue without what depends on the moment each side ran: the automatic run is
    registered with the seconds of that moment, and with its hour and minute too when the
    schedule has no time of day."""
    kept = []
    for kind, event, application, arguments, start, end, user in queue:
        if arguments is not None and arguments.lower() == "-auto":
            start = start[:4] + ((0, 0) if scenario.run_time else start[4:6]) + (0, 0)
        kept.append((kind, event, application, arguments, start, end, user))
    return kept


def emulated_queue(text):
    names = ["wYear", "wMonth", "wDayOfWeek", "wDay", "wHour", "wMinute", "wSecond", "wMilliseconds"]

    def time(value):
        if value is None:
            return (0,) * 8
        if isinstance(value, dict):
            return tuple(value[name] for name in names)
        moment = datetime.datetime.strptime(value, "%Y-%m-%d %H:%M:%S.%f")
        return system_time(moment)

    queue = []
    for entry in json.loads(text):
        user = entry["user"]
        if user is not None:
            user = (user["title"], user["text"], user["sound"], user["flags"])
        queue.append(queue_entry(entry["type"], entry["event"], entry["application"], entry["arguments"],
                                 time(entry["start"]), time(entry["end"]), user))
    return queue


def emulated_events(text):
    events = []
    for event in json.loads(text):
        if event["kind"] == "start":
            events.append(("start", event["application"]))
        elif event["kind"] == "restart":
            events.append(("restart", event["by"]))
    return events


class Outcome:
    def __init__(self):
        self.figures = None
        self.cleaned = None
        self.tree = {}
        self.registry = {}
        self.logs = {}
        self.queue = []
        self.events = []   # ("start", program) and ("restart", "shell" or "kernel"), in order
        self.errors = []


# ---------------------------------------------------------------- the emulation

class Emulation:
    def __init__(self, quillex, device_tool, work):
        self.quillex = quillex
        self.device_tool = device_tool
        self.base = os.path.join(work, "base-device")
        shutil.rmtree(self.base, ignore_errors=True)
        self.tool("init", device=self.base)

    def tool(self, *arguments, device, stdin=None):
        result = subprocess.run([self.device_tool, "--device", device, *arguments], input=stdin,
                                capture_output=True, timeout=120)
        if result.returncode != 0:
            raise RuntimeError(f"quillex-device {' '.join(arguments)}: {result.stderr.decode(errors='replace')}")
        return result.stdout.decode("utf-8")

    def prepare(self, scenario, folder):
        device = os.path.join(folder, "device")
        shutil.copytree(self.base, device, symlinks=True)
        lay_out(os.path.join(device, "fs"), scenario)
        self.tool("reg", "import", "-", device=device, stdin=registry_file(scenario).encode("utf-8"))
        if scenario.queue:
            queue = json.dumps([entry_json(entry) for entry in scenario.queue])
            self.tool("notify", "import", "-", device=device, stdin=queue.encode("utf-8"))
        return device

    def run(self, scenario, device):
        outcome = Outcome()
        holder = None
        if scenario.held:
            holder = subprocess.Popen([self.device_tool, "--device", device, "hold", *scenario.held],
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if not holder.stdout.readline().startswith(b"holding"):
                outcome.errors.append("could not hold " + " ".join(scenario.held))
        try:
            script = "dump\n"
            if scenario.command == "cleanup":
                script += "".join(f"tap {box}\n" for box in scenario.boxes) + "softkey left\ndump\n"
            elif scenario.command == "export":
                script += "softkey right\nmenu Export Log\n"
            shown = subprocess.run([self.quillex, "--device", device, "--screen", "script"], input=script.encode(),
                                   capture_output=True, timeout=120)
            screens = parse_screens(shown.stdout.decode("utf-8", errors="replace"))
            if screens:
                outcome.figures = screens[0]
                if scenario.command == "cleanup":
                    outcome.cleaned = screens[-1]
            else:
                outcome.errors.append("the main dialog showed no figures")
            if scenario.command not in ("cleanup", "export"):
                subprocess.run([self.quillex, "--device", device, scenario.command], capture_output=True, timeout=120)
        finally:
            if holder:
                holder.communicate(timeout=60)
        outcome.registry = watched_only(parse_registry_file(self.tool("reg", "export", device=device)))
        outcome.queue = emulated_queue(self.tool("notify", "list", "--json", device=device))
        outcome.events = emulated_events(self.tool("events", "--json", device=device))
        outcome.tree = read_tree(os.path.join(device, "fs"))
        outcome.logs = read_logs(os.path.join(device, "fs"))
        return outcome


# ---------------------------------------------------------------- Wine

def runner_entry(line):
    fields = line.split("\t")

    def text(field):
        return None if field == "" else field[1:]

    def time(field):
        return tuple(int(part) for part in field.split(","))
    user = (text(fields[7]), text(fields[8]), text(fields[9]), int(fields[10])) if fields[6] == "1" else None
    return queue_entry(int(fields[0]), int(fields[1]), text(fields[2]), text(fields[3]), time(fields[4]),
                       time(fields[5]), user)


def runner_event(call):
    """The port's record of a start or a restart, as the emulation's journal has it."""
    words = call.split(" ")
    if words[0] == "CreateProcessW":
        return ("start", " ".join(words[1:-1]))
    if words[0] == "ExitWindowsEx":
        return ("restart", "shell")
    if words[0] == "KernelIoControl":
        return ("restart", "kernel")
    return None


class Wine:
    """quillex-check.exe under Wine, started once; the drive Q: is pointed at each
    scenario's folder in turn while the runner waits for its next commands."""

    def __init__(self, runner, prefix):
        self.drive = os.path.join(prefix, "dosdevices", "q:")
        self.runner = runner
        self.process = None

    def start(self):
        self.process = subprocess.Popen(["wine", self.runner, "Q:\\"], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.buffer = b""

    def point_drive(self, folder):
        link = self.drive + ".new"
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(folder, link)
        os.replace(link, self.drive)

    def read_line(self, deadline):
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.process.stdout], [], [], left)[0]:
                raise TimeoutError
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                raise EOFError
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode("utf-8", errors="replace")

    def run(self, scenario, root):
        if self.process is None or self.process.poll() is not None:
            self.start()
        self.point_drive(root)
        commands = runner_setup(scenario)
        commands += ["hold " + path for path in scenario.held]
        if scenario.command == "cleanup":
            commands.append("dialog cleanup " + " ".join(map(str, scenario.boxes)))
        elif scenario.command == "export":
            commands.append("dialog export")
        else:
            commands += ["dialog look", "run " + scenario.command]
        commands += ["release", "registry", "notifications", "calls", "end"]
        outcome = Outcome()
        registry = {}
        try:
            self.process.stdin.write(("\n".join(commands) + "\n").encode("utf-8"))
            self.process.stdin.flush()
            deadline = time.monotonic() + 120
            while True:
                line = self.read_line(deadline)
                if line == "end":
                    break
                word, _, rest = line.partition(" ")
                if word == "error":
                    outcome.errors.append(rest)
                elif line.startswith("figures\t"):
                    outcome.figures = line.split("\t")[1:]
                elif line.startswith("cleaned\t"):
                    outcome.cleaned = line.split("\t")[1:]
                elif word == "key":
                    registry[rest] = []
                elif word == "value":
                    key, name, kind, data = rest.split("\t")
                    registry[key].append((name, int(kind), bytes.fromhex(data)))
                elif word == "entry":
                    outcome.queue.append(runner_entry(rest))
                elif word == "call":
                    event = runner_event(rest)
                    if event:
                        outcome.events.append(event)
        except (TimeoutError, EOFError, BrokenPipeError) as failure:
            outcome.errors.append(f"the runner under Wine stopped answering ({type(failure).__name__})")
            self.process.kill()
            self.process.wait()
            self.process = None
        outcome.registry = watched_only(registry)
        outcome.tree = read_tree(root)
        outcome.logs = read_logs(root)
        return outcome

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.stdin.close()
            self.process.wait(timeout=60)


# ---------------------------------------------------------------- comparing

def compare(scenario, emulated, desktop):
    """RETURNS the differences between the two outcomes, one line each."""
    differences = [f"emulation: {error}" for error in emulated.errors] + [f"Wine: {error}" for error in desktop.errors]
    if not same_figures(emulated.figures, desktop.figures):
        differences.append(f"figures: emulation {emulated.figures}, Wine {desktop.figures}")
    if not same_figures(emulated.cleaned, desktop.cleaned):
        differences.append(f"figures after Cleanup: emulation {emulated.cleaned}, Wine {desktop.cleaned}")
    for path in sorted(set(emulated.tree) | set(desktop.tree)):
        a, b = emulated.tree.get(path), desktop.tree.get(path)
        if a != b:
            differences.append(f"tree {path}: emulation {describe_entry(a)}, Wine {describe_entry(b)}")
    for key in sorted(set(emulated.registry) | set(desktop.registry)):
        a, b = emulated.registry.get(key), desktop.registry.get(key)
        if a != b:
            differences.append(f"registry [{key}]: emulation {a if a is not None else 'absent'}, "
                               f"Wine {b if b is not None else 'absent'}")
    for path in sorted(set(emulated.logs) | set(desktop.logs)):
        a, b = emulated.logs.get(path), desktop.logs.get(path)
        if a != b:
            differences.append(f"log {path}: emulation {a}, Wine {b}")
    if comparable_queue(emulated.queue, scenario) != comparable_queue(desktop.queue, scenario):
        differences.append(f"notification queue: emulation {emulated.queue}, Wine {desktop.queue}")
    if emulated.events != desktop.events:
        differences.append(f"starts and restarts: emulation {emulated.events}, Wine {desktop.events}")
    return differences


# How many characters of each figure the device screen has room for: its control's width
# in dialog units (23 for the count, 28 for the sizes) over 4 units a character cell.
FIGURE_CELLS = [5, 7, 7, 7, 7]


def same_figures(shown, texts):
    """Whether the figures the emulation's screen shows are the texts of Wine's controls, as
    far as the screen has room for them."""
    if shown is None or texts is None:
        return shown == texts
    return len(shown) == len(texts) and all(a == b[:cells].rstrip() for a, b, cells in zip(shown, texts, FIGURE_CELLS))


def describe_entry(entry):
    if entry is None:
        return "missing"
    kind, size, read_only, hidden = entry
    return kind + (f" of {size} bytes" if kind == "file" else "") + (" read-only" if read_only else "") + \
        (" hidden" if hidden else "")


# ---------------------------------------------------------------- the run

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quillex", required=True, help="the native quillex")
    parser.add_argument("--device-tool", required=True, help="the native quillex-device")
    parser.add_argument("--runner", required=True, help="quillex-check.exe")
    parser.add_argument("--prefix", required=True, help="the Wine prefix (WINEPREFIX)")
    parser.add_argument("--work", required=True, help="a folder for the scenarios' devices")
    parser.add_argument("--scenarios", type=int, default=200)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2, help="emulated runs at once")
    parser.add_argument("--only", type=int, action="append", help="run only this scenario (repeatable)")
    options = parser.parse_args()
    options.work = os.path.abspath(options.work)

    started = time.monotonic()
    scenarios = generate(options.seed, options.scenarios, datetime.datetime.now())
    if options.only:
        scenarios = [s for s in scenarios if s.number in options.only]
    shutil.rmtree(options.work, ignore_errors=True)
    os.makedirs(options.work)
    emulation = Emulation(options.quillex, options.device_tool, options.work)

    def emulate(scenario):
        folder = os.path.join(options.work, f"{scenario.number:03d}")
        os.makedirs(folder)
        device = emulation.prepare(scenario, folder)
        desktop_root = os.path.join(folder, "desktop")
        shutil.copytree(os.path.join(emulation.base, "fs"), desktop_root, symlinks=True)
        lay_out(desktop_root, scenario)
        return emulation.run(scenario, device), desktop_root

    # The emulated runs go on beside Wine's, which take one scenario at a time.
    wine = Wine(options.runner, options.prefix)
    results = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=options.jobs) as pool:
        futures = [pool.submit(emulate, scenario) for scenario in scenarios]
        for scenario, future in zip(scenarios, futures):
            emulated, desktop_root = future.result()
            results.append((scenario, compare(scenario, emulated, wine.run(scenario, desktop_root))))
    wine.stop()

    agreeing = sum(1 for _, differences in results if not differences)
    for scenario, differences in results:
        if differences:
            print(scenario.describe())
            print("  differences:")
            for line in differences:
                print("    " + line)
            print()
    print(f"{agreeing} of {len(results)} scenarios agree ({time.monotonic() - started:.0f} s)")
    return 0 if agreeing == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
