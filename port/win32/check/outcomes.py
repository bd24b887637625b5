"""What a run leaves behind, read from either side, and how two runs are compared."""

import datetime
import json
import os
import re

from scenarios import FIGURE_LABELS, REG_BINARY, REG_DWORD, REG_SZ, WATCHED_KEYS, system_time, wide


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
            # Read-only as both sides read a host entry: no write permission for anyone.
            tree[device] = ("folder" if directory else "file", 0 if directory else info.st_size,
                            not info.st_mode & 0o222, name.startswith("."))
    return tree


# A log larger than this is compared by its size and its first and last lines only.
WHOLE_LOG = 1024 * 1024


def read_logs(root):
    """The lines of every Quillex.log below `root`, without their timestamps."""
    logs = {}
    stamp = re.compile(r"^\d\d/\d\d \d\d:\d\d:\d\d ->")
    for folder, _, files in os.walk(root):
        for name in files:
            if name.lower() != "quillex.log":
                continue
            full = os.path.join(folder, name)
            size = os.path.getsize(full)
            with open(full, "rb") as log:
                if size <= WHOLE_LOG:
                    lines = log.read().decode("latin-1").split("\r\n")
                else:
                    head = log.read(4096).decode("latin-1").split("\r\n")[:-1]
                    log.seek(size - 4096)
                    tail = log.read().decode("latin-1").split("\r\n")[1:]
                    lines = [f"({size} bytes)"] + head + ["..."] + tail
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
    """The figures of each screen written by the script screen: a screen begins with a row
    of "=", a figure stands between its label and its check box (which a ">" marks when it
    has the focus)."""
    screens = []
    for screen in re.split(r"(?m)^=+\n", text)[1:]:
        figures = {}
        for line in screen.split("\n"):
            match = re.match(r"^\s*(Notifications|Temp files|IE Cache|IE History|AvantGo Cache):\s+(.*?)\s*>?\[.\]\s*$",
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


# How many characters of each figure even a narrow device screen shows: its control's width
# in dialog units (23 for the count, 28 for the sizes) over 4 units a character cell.
FIGURE_CELLS = [5, 7, 7, 7, 7]


def same_figures(shown, texts):
    """Whether the figures the emulation's screen shows are the texts of Wine's controls: the
    whole text, or as much of it as the screen has room for."""
    if shown is None or texts is None:
        return shown == texts
    return len(shown) == len(texts) and all(
        b.startswith(a) and len(a) >= len(b[:cells].rstrip()) for a, b, cells in zip(shown, texts, FIGURE_CELLS))


def describe_entry(entry):
    if entry is None:
        return "missing"
    kind, size, read_only, hidden = entry
    return kind + (f" of {size} bytes" if kind == "file" else "") + (" read-only" if read_only else "") + \
        (" hidden" if hidden else "")
