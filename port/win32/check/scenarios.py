"""The differential check's scenarios: generated devices and the command run on each.

Every choice comes from a random generator seeded by the seed and the scenario's number, so
a seed gives the same scenarios again; times in the queue and the schedule are relative to
`now`. Besides plain devices the generator reaches for the classes where two faithful
implementations part most easily: sizes whose figures fall on a rounding tie, text beyond
Latin-1, case pairs of every script, odd file modes, deep trees, crowded folders, long
queues, logs past 4 GiB and command lines that look like host options.

What it leaves out on purpose, each a difference the README's table documents: "." or ".."
inside a folder value, names of desktop devices (nul, aux, com1, ...), short 8.3 aliases in
folder values, 29 February of a common year, trailing dots, spaces or "\\" in folder values,
links, and names that differ only in case within one folder.
"""

import datetime
import json
import random

# The keys Quillex reads or writes; the check compares everything below them. The runner
# (port/win32/check/runner.cpp) watches the same ones.
SCHEDULE_KEY = r"HKEY_CURRENT_USER\Software\Holvenark\Quillex"
INSTALL_KEY = r"HKEY_LOCAL_MACHINE\Software\Apps\Holvenark Quillex"
AVANTGO_KEY = r"HKEY_CURRENT_USER\Software\AvantGo"
SHELL_FOLDERS = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
CACHE_FALLBACK = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Cache\Content"
HISTORY_FALLBACK = \
    r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Internet Settings\5.0\Cache\Cookies"
RUN_HISTORY = r"HKEY_LOCAL_MACHINE\Explorer\RunHistory"
ADDRESS_HISTORY = r"HKEY_LOCAL_MACHINE\Explorer\AddressHistory"
WATCHED_KEYS = [SCHEDULE_KEY, INSTALL_KEY, AVANTGO_KEY, SHELL_FOLDERS, CACHE_FALLBACK, HISTORY_FALLBACK, RUN_HISTORY,
                ADDRESS_HISTORY]

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

    def __init__(self, number, seed=1):
        self.number = number
        self.seed = seed
        self.folders = []    # device paths of folders, parents first
        self.files = {}      # device path -> (size, host permission bits)
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
        lines = [f"scenario {self.number} of seed {self.seed}: {action}"]
        lines += ["  " + note for note in self.notes]
        lines += ["  notification " + json.dumps(entry_json(entry), ensure_ascii=False)
                  for entry in self.queue[:DESCRIBED]]
        if len(self.queue) > DESCRIBED:
            lines.append(f"  ... and {len(self.queue) - DESCRIBED} notifications more")
        for key, values in self.registry.items():
            if values is None:
                continue
            lines.append(f"  [{key}]")
            lines += [f"    {name!r} type {kind}: {show_bytes(data)}" for name, kind, data in values]
        for folder in self.folders:
            lines.append(f"  folder {folder}")
        for path, (size, mode) in sorted(self.files.items())[:DESCRIBED * 10]:
            flags = (f" mode {mode:04o}" if mode != DEFAULT_MODE else "") + (" held" if path in self.held else "")
            lines.append(f"  file {path} {size} bytes{flags}")
        if len(self.files) > DESCRIBED * 10:
            lines.append(f"  ... and {len(self.files) - DESCRIBED * 10} files more")
        return "\n".join(lines)


# How many entries of a long queue, and (tenfold) of a crowded tree, a report lists.
DESCRIBED = 30


def show_bytes(data):
    if len(data) > 48:
        return data[:48].hex() + f"... ({len(data)} bytes)"
    return data.hex() or "(none)"


def wide(text, terminated=True):
    return text.encode("utf-16-le") + (b"\0\0" if terminated else b"")


# Capital and small letters of Unicode's simple case pairs, a few of every script, which
# both sides pair alike; one-way mappings (İ to i, the Kelvin sign to k, ſ to S, µ, ǅ)
# belong to no pair, and both sides leave them as they are.
CASE_PAIRS = dict(zip("ABCDEFGHIJKLMNOPQRSTUVWXYZÀÉÖÜÅØÑΣΩΆДЁЖЯҐҒҮӘȘȚǍẠẾἈԱⅫⒶႠꙀＡǄΓ",
                      "abcdefghijklmnopqrstuvwxyzàéöüåøñσωάдёжяґғүәșțǎạếἀաⅻⓐⴀꙁａǆγ"))
CASE_PAIRS.update({small: capital for capital, small in list(CASE_PAIRS.items())})
ONE_WAY = "İıſßẞµǅϴ\u212a\u2126\u212b"


def recase(rng, text):
    """`text` with each letter of a case pair in either of its cases, at random."""
    if not text:
        return text
    return "".join(CASE_PAIRS[c] if c in CASE_PAIRS and rng.random() < 0.5 else c for c in text)


NAME_POOL = ["a.txt", "notes.doc", "index.dat", "page.htm", "picture.gif", "data.bin", "x", "README",
             "name.with.many.dots.tmp", "Report 2024 (final).doc", "café.txt", "Ünïcödé ß.txt", "日本語.htm",
             "~WRL0001.tmp", "100%.txt", "%s %d.log", "a&b;c'd.txt", "#hash[1].js", "leading space.txt",
             "l" * 120 + ".txt", "UPPER.TXT", "mixed.Case.Htm", "no_extension", "{guid-1234}.dat"]
# Names beyond Latin-1: other scripts, symbols, characters outside the Basic Multilingual
# Plane (a surrogate pair each), and letters whose case maps one way only.
WIDE_NAME_POOL = ["Мой файл.txt", "Ґанок.doc", "Ελληνικά.htm", "Ǎǎ Ếế.tmp", "Ⓐⓑ.dat", "Ⴀⴀ.bin", "Ⅻ.log",
                  "€ 100.txt", "😀 smile.gif", "𐐀.txt", "İstanbul.txt", "ſtraße ẞ.txt", "Kelvin \u212a.dat",
                  "µ ǅ ϴ.txt", "한국어.htm", "עברית.txt", "العربية.js", "Ａｂｃ.txt"]
FOLDER_POOL = ["sub", "Cache1", "ABCDEF12", "old files", "dünn", "deep.folder", "x" * 60, "GHIJKL34"]
WIDE_FOLDER_POOL = ["Кэш", "Φάκελος", "資料", "Ğüç", "Ⓕ", "ⴀⴁ"]
SIZE_POOL = [0, 1, 17, 100, 1023, 1024, 1025, 4096, 5000, 65536, 70000]
# Sizes whose figure falls on a tie of "%.1f": x.25 of a kilobyte or of a megabyte (the
# platform's runtime rounds a tie away from zero, a host's formatter to even).
TIE_SIZES = [256, 1280, 2304, 1024 * 9 + 256, 1024 ** 2 + 1024 ** 2 // 4, 3 * 1024 ** 2 + 1024 ** 2 // 4,
             4095 * 1024 ** 2 + 1024 ** 2 // 4]
# Host permission bits of a file: read-only when no one may write it (no write bit at all),
# else writable, whether or not its owner may write. The owner may always read.
DEFAULT_MODE = 0o644
ODD_MODES = [0o444, 0o400, 0o404, 0o446, 0o464, 0o466, 0o600, 0o604, 0o640, 0o660, 0o666]


def random_size(rng, big, ties):
    roll = rng.random()
    if ties and roll < 0.5:
        # Multiples of 256 make a total's fraction of a kilobyte .0, .25, .5 or .75.
        return rng.choice(TIE_SIZES) if roll < 0.15 else 256 * rng.randint(0, 40)
    if big and roll < 0.04:
        return 4 * 1024 ** 3 + 10  # counted modulo 2^32: ten bytes
    if roll < 0.12:
        return rng.choice([1024 ** 2, 1024 ** 2 + 1, 1536 * 1024, 3 * 1024 ** 2 + 77])
    return rng.choice(SIZE_POOL)


def random_mode(rng, odd):
    if odd and rng.random() < 0.35:
        return rng.choice(ODD_MODES)
    return 0o444 if rng.random() < 0.12 else DEFAULT_MODE


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


class TreeStyle:
    """What a scenario's trees are made of."""

    def __init__(self, rng):
        self.wide_names = rng.random() < 0.3  # names beyond Latin-1
        self.ties = rng.random() < 0.3        # sizes on rounding ties
        self.odd_modes = rng.random() < 0.3   # files writable by others than their owner, or not
        self.deep = rng.random() < 0.2        # trees 3 to 6 levels deep
        self.crowded = rng.random() < 0.04    # one folder of a thousand files or more

    def names(self):
        return NAME_POOL + WIDE_NAME_POOL if self.wide_names else NAME_POOL

    def folder_names(self):
        return FOLDER_POOL + WIDE_FOLDER_POOL if self.wide_names else FOLDER_POOL

    def depth(self, rng, choices):
        return rng.choice([3, 4, 5, 6]) if self.deep and rng.random() < 0.5 else rng.choice(choices)


def add_tree(scenario, rng, folder, depth, style):
    """A tree below `folder`: files in it, sub-folders with files, and levels below those
    when `depth` is 3 or more (which no sweep reaches)."""
    add_folder(scenario, folder)

    def fill(path, level):
        taken = set()
        for _ in range(rng.randint(0, 4)):
            name = unique_name(rng, style.names(), taken, hidden_chance=0.1)
            scenario.files[path + "\\" + name] = (random_size(rng, level == 1, style.ties),
                                                   random_mode(rng, style.odd_modes))
        if level < depth:
            # Fewer folders the deeper the level, so a deep tree stays a few dozen folders.
            most = 3 if level == 1 else 2 if level < 4 else 1
            for _ in range(rng.randint(0, most)):
                name = unique_name(rng, style.folder_names(), taken, hidden_chance=0.05)
                add_folder(scenario, path + "\\" + name)
                fill(path + "\\" + name, level + 1)

    fill(folder, 1)
    scenario.notes.append(f"tree {depth} levels deep below {folder}")


def add_crowd(scenario, rng, folder):
    """A folder of a thousand files or more, small ones, some in a sub-folder too."""
    add_folder(scenario, folder)
    count = rng.randint(1000, 2500)
    for index in range(count):
        place = folder if index % 5 else folder + "\\crowd"
        if place != folder:
            add_folder(scenario, place)
        scenario.files[f"{place}\\n{index:05d}.tmp"] = (rng.choice([0, 1, 100, 256, 1000]), DEFAULT_MODE)
    scenario.notes.append(f"{count} files below {folder}")


def folder_value(rng, folder):
    """A folder location as a registry value, well formed or not. RETURNS (type, bytes, note)."""
    kind = rng.choices(["string", "expand", "case", "unterminated", "dword", "empty", "root", "dots", "long",
                        "multi"], weights=[10, 2, 3, 2, 1, 1, 1, 2, 1, 1])[0]
    if kind == "string":
        return REG_SZ, wide(folder), f"string {folder}"
    if kind == "expand":
        return REG_EXPAND_SZ, wide(folder), f"expandable string {folder}"
    if kind == "case":
        changed = recase(rng, folder)
        return REG_SZ, wide(changed), f"string {changed}"
    if kind == "unterminated":
        return REG_SZ, wide(folder, terminated=False), f"unterminated string {folder}"
    if kind == "dword":
        return REG_DWORD, (0x5C).to_bytes(4, "little"), "dword 0x5c"
    if kind == "empty":
        return REG_SZ, wide(""), "empty string"
    if kind == "root":
        return REG_SZ, wide("\\"), "the root"
    if kind == "dots":
        # The root again, through "." and "..": a desktop resolves them, the handheld has none.
        dots = rng.choice(["\\.", "\\.\\", "\\..", "\\..\\", "\\.\\..", ".", "..\\.", "\\\\.\\\\"])
        return REG_SZ, wide(dots), f"the root as {dots}"
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


# Texts of queue entries beyond Latin-1: other scripts, the euro sign, a surrogate pair,
# and letters of case pairs and of one-way mappings. The handheld writes each character its
# 8-bit code page lacks as '?' when it logs an entry.
WIDE_APPLICATIONS = ["\\Windows\\Мой.exe", "\\Windows\\Ғалам.exe", "\\Windows\\日本.exe", "\\Windows\\€uro.exe",
                     "\\Windows\\😀.exe", "\\Windows\\Ἀθῆναι.exe", "\\Windows\\İzmir.exe", "\\Windows\\Ⓐⓑ.exe"]
WIDE_TEXTS = ["Ελληνικά", "Ґанок ✓", "Ⅻ o'clock", "ſtraße ẞ", "µ-Wert 5 \u212a", "Ǆemal ǅ", "Ꙁꙁ Ⴀⴀ", "한국어 😀"]


def notification_queue(rng, now, wide_texts=False, long_queue=False):
    """A queue of time and event entries: stale, due, far off, duplicated, unwanted; with
    texts beyond Latin-1 when `wide_texts`, and of a hundred entries or more when
    `long_queue`. Start times keep well clear of the cleanup's limits (a day back, two
    years ahead)."""
    def start(days, hours=0):
        moment = (now + datetime.timedelta(days=days, hours=hours)).replace(microsecond=0)
        return system_time(moment)

    def pick(plain, beyond):
        return rng.choice(plain + beyond if wide_texts else plain)

    def user(rng):
        if rng.random() < 0.5:
            return None
        return {"title": pick([None, "Dentist", "Wecker"], ["Врач", "Ἀθῆναι"]),
                "text": pick([None, "", "at 9:30", "Ring", "Café à l'Étoile", "Ñandú"], WIDE_TEXTS),
                "sound": rng.choice([None, "\\Windows\\alarm1.wav"]), "flags": rng.choice([0, 1, 5])}

    queue = []
    for _ in range(rng.randint(100, 300) if long_queue else rng.randint(0, 8)):
        roll = rng.random()
        if roll < 0.25 and queue:
            copy = dict(rng.choice(queue[-2:]))  # a neighbour's duplicate in another case
            for field in ("application", "arguments"):
                if rng.random() < 0.5:
                    copy[field] = recase(rng, copy[field])
            if copy["user"] and rng.random() < 0.5:
                copy["user"] = dict(copy["user"], text=recase(rng, copy["user"]["text"]))
            queue.append(copy)
        elif roll < 0.55:
            offset = rng.choice([(-3, 0), (0, -25), (0, 2), (2, 0), (20, 0), (400, 0)])
            when = start(*offset)
            if rng.random() < 0.15:  # a year past what the cleanup keeps, or just within it
                when = (now.year + rng.choice([2, 3]),) + when[1:]
                when = (when[0], when[1], 0, min(when[3], 28)) + when[4:]
            application = pick(["\\Windows\\calnot.exe", "\\Windows\\Ärzte.exe", None,
                                "\\\\.\\Notifications\\NamedEvents\\SCRIPT:backup", DEFAULT_INSTALL + "\\Quillex.exe"],
                               WIDE_APPLICATIONS)
            arguments = pick([None, "", "AppRunAtTime", "-auto", "-AUTO", "Übung Nº 5"], WIDE_TEXTS)
            queue.append(notification(rng.choice([2, 2, 4, 3]), 0, application, arguments, when, user(rng)))
        elif roll < 0.9:
            application = pick(["\\Windows\\repllog.exe", "\\Windows\\Överföring.exe", "CONNMGR.EXE",
                                "\\Windows\\connmgr.exe", "\\Windows\\sstimechange.exe", "\\Windows\\SSTimeChange.exe",
                                None, ""], WIDE_APPLICATIONS)
            arguments = pick(["AppRunAtRs232Detect", "AppRunAfterTimeChange", "Ålesund", "", None], WIDE_TEXTS)
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
    note = f"schedule: days 0x{days:02x}, time {time_of_day}, options 0x{options:02x}"
    if rng.random() < 0.15:  # a value of the wrong size does not count
        spoilt = rng.randrange(3)
        values[spoilt] = (values[spoilt][0], REG_BINARY, b"\x01\x02")
        if values[spoilt][0] == "startTime":
            time_of_day = 0  # as if there were none
    return values, time_of_day, note


# Command lines that a host's option parser would take for its own; the program reads each
# as letters like any other ("--help" holds an "h").
OPTION_LIKE = ["-h", "--help", "-?", "-V", "--version", "--auto", "--", "--device x", "--preview t", "--json",
               "/auto", "-- t", "-AUTO", "-ＡＵＴＯ", "Ｔ"]


def generate(seed, count, now):
    scenarios = []
    commands = ["t", "c", "h", "a", "n", "tc", "ha", "tcha", "ntcha", "cleanup", "export", "-auto", "option-like"]
    for number in range(1, count + 1):
        rng = random.Random(seed * 1000003 + number)
        scenario = Scenario(number, seed)
        registry = scenario.registry
        style = TreeStyle(rng)
        # Every scenario runs one of the commands in turn, on a device of its own.
        scenario.command = commands[(number - 1) % len(commands)]
        if scenario.command == "option-like":
            scenario.command = rng.choice(OPTION_LIKE)
        if scenario.command == "cleanup":
            scenario.boxes = sorted(rng.sample(CHECK_BOXES, rng.randint(1, 5)))
        scenario.queue = notification_queue(rng, now, wide_texts=style.wide_names or rng.random() < 0.2,
                                            long_queue=rng.random() < 0.05)
        if "-auto" in scenario.command.lower() or rng.random() < 0.2:
            registry[SCHEDULE_KEY], time_of_day, note = schedule_values(rng, now)
            scenario.run_time = time_of_day < 1
            scenario.notes.append(note)

        # Temporary files.
        for folder in (r"\Temp", r"\Windows\Temp"):
            if rng.random() < 0.8:
                add_tree(scenario, rng, folder, style.depth(rng, [2, 2, 3]), style)
        if style.crowded:
            add_crowd(scenario, rng, rng.choice([r"\Temp", DEFAULT_AVANTGO, DEFAULT_CACHE]))

        # The offline reader's cache: the default folder or one its setting names.
        avantgo = rng.choice([DEFAULT_AVANTGO, r"\AvantGo Data", r"\My Documents\Offline"] +
                             ([r"\Данные AvantGo", r"\Ἀρχεῖα"] if style.wide_names else []))
        if rng.random() < 0.7:
            registry[AVANTGO_KEY] = []
            if rng.random() < 0.85:
                kind, data, note = folder_value(rng, avantgo)
                registry[AVANTGO_KEY].append(("DatabaseLocation", kind, data))
                scenario.notes.append("AvantGo location: " + note)
        for folder in dict.fromkeys([DEFAULT_AVANTGO, avantgo]):
            if rng.random() < 0.75:
                add_tree(scenario, rng, folder, style.depth(rng, [2, 3]), style)

        # The browser: per-user locations, else the machine-wide ones, else the defaults.
        cache = rng.choice([DEFAULT_CACHE, IE_FOLDER, r"\Cache", r"\Windows\Profiles\guest\Cache.IE5"] +
                           ([r"\Кэш", r"\Ǎǎ Cache"] if style.wide_names else []))
        history = rng.choice([DEFAULT_HISTORY, DEFAULT_HISTORY + r"\History.IE5", r"\Hist", r"\My Documents"] +
                             ([r"\История", r"\Ⓗ"] if style.wide_names else []))
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
                add_tree(scenario, rng, folder, style.depth(rng, [2, 3]), style)
        if "IE5" not in cache and rng.random() < 0.6:
            add_tree(scenario, rng, cache + r"\Content.IE5", 2, style)
        for folder in dict.fromkeys([DEFAULT_HISTORY, history]):
            if rng.random() < 0.8:
                add_tree(scenario, rng, folder, style.depth(rng, [2, 3]), style)
            if "IE5" not in folder and rng.random() < 0.6:
                add_tree(scenario, rng, folder + r"\History.IE5", style.depth(rng, [3]), style)

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
            choice = rng.choice(["default", "default", "custom", "missing", "unterminated", "dword", "long"] +
                                (["wide"] if style.wide_names else []))
            if choice == "custom":
                install = r"\Apps\Quillex"
            elif choice == "wide":
                install = r"\Программы\Quillex"
            elif choice == "missing":
                install = r"\Nowhere\Quillex"
            if choice in ("default", "custom", "wide", "missing"):
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
            # Logs past 4 GiB are counted modulo 2^32: emptied when that is past the limit,
            # else left alone, since their end is beyond what a 32-bit move reaches.
            log_size = rng.choice([None, None, 0, 170, 59985, 60000, 60001, 70000] +
                                  [4 * 1024 ** 3 + rng.choice([0, 100, 60000, 60001, 70000])])
            if log_size is not None and len(install) < 200:
                mode = rng.choice([DEFAULT_MODE] * 6 + [0o444, 0o446])
                scenario.files[install + "\\Quillex.log"] = (log_size, mode)
                shown_mode = f", mode {mode:04o}" if mode != DEFAULT_MODE else ""
                scenario.notes.append(f"a log of {log_size} bytes{shown_mode}")

        # One file held open by another program, now and then: one its owner may write, since
        # the emulation denies others reading through a host lock that needs writing.
        candidates = [path for path, (size, mode) in scenario.files.items()
                      if mode & 0o200 and not path.endswith("Quillex.log")]
        if candidates and rng.random() < 0.3:
            scenario.held.append(rng.choice(sorted(candidates)))
        scenarios.append(scenario)
    return scenarios


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
