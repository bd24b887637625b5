#!/usr/bin/env python3
"""The differential check's own formats, through the emulation's tools: what the check
writes for quillex-device must come back as the check reads it, or the check would compare
the wrong things. Run as: wine_check_test.py QUILLEX QUILLEX_DEVICE (ctest does)."""

import datetime
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import outcomes  # noqa: E402
import scenarios  # noqa: E402
import sides  # noqa: E402

QUILLEX, DEVICE_TOOL = None, None
NOW = datetime.datetime(2026, 12, 7, 10, 0, 0)


class ThroughTheTools(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="wine-check-test-")
        self.scenarios = scenarios.generate(7, 36, NOW)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def device(self, name):
        device = os.path.join(self.folder, name)
        self.tool(device, "init")
        return device

    def tool(self, device, *arguments, stdin=None):
        result = subprocess.run([DEVICE_TOOL, "--device", device, *arguments], input=stdin, capture_output=True)
        self.assertEqual(0, result.returncode, result.stderr.decode(errors="replace"))
        return result.stdout.decode("utf-8")

    def test_generated_registries_come_back_as_written(self):
        device = self.device("registry")
        for scenario in self.scenarios:
            with self.subTest(scenario=scenario.number):
                self.tool(device, "reg", "import", "-", stdin=sides.registry_file(scenario).encode("utf-8"))
                exported = outcomes.parse_registry_file(self.tool(device, "reg", "export"))
                expected = {key.lower(): [(name, kind, data.hex()) for name, kind, data in values]
                            for key, values in scenario.registry.items() if values is not None}
                self.assertEqual(expected, outcomes.watched_only(exported))

    def test_generated_queues_come_back_as_written_and_as_the_runner_reads_them(self):
        for scenario in self.scenarios:
            if not scenario.queue:
                continue
            with self.subTest(scenario=scenario.number):
                device = self.device(f"queue{scenario.number}")
                queue = json.dumps([scenarios.entry_json(entry) for entry in scenario.queue])
                self.tool(device, "notify", "import", "-", stdin=queue.encode("utf-8"))
                listed = outcomes.emulated_queue(self.tool(device, "notify", "list", "--json"))
                # The runner's lines carry the same entries.
                from_runner = [sides.runner_entry(sides.runner_notification(entry)[len("notification "):])
                               for entry in scenario.queue]
                self.assertEqual(from_runner, listed)
                self.assertEqual(len(scenario.queue), len(listed))

    def test_screen_figures_and_trees_read_as_laid_out(self):
        device = self.device("screen")
        scenario = scenarios.Scenario(1)
        scenario.folders = [r"\Temp\sub", r"\Temp\sub\deeper", r"\Windows\AvantGo"]
        scenario.files = {r"\Temp\a.txt": (2048, 0o644), r"\Temp\sub\b.txt": (512, 0o444),
                          r"\Temp\sub\deeper\c.txt": (999, 0o446), r"\Temp\.hidden": (0, 0o644),
                          r"\Windows\AvantGo\big.bin": (3 * 1024 * 1024 + 77, 0o644)}
        sides.lay_out(os.path.join(device, "fs"), scenario)
        tree = outcomes.read_tree(os.path.join(device, "fs"))
        self.assertEqual(("file", 512, True, False), tree[r"\Temp\sub\b.txt"])
        self.assertEqual(("file", 999, False, False), tree[r"\Temp\sub\deeper\c.txt"])  # others may write
        self.assertEqual(("file", 0, False, True), tree[r"\Temp\.hidden"])
        self.assertEqual(("folder", 0, False, False), tree[r"\Temp\sub\deeper"])

        shown = subprocess.run([QUILLEX, "--device", device, "--screen", "script"], input=b"dump\n",
                               capture_output=True)
        screens = outcomes.parse_screens(shown.stdout.decode("utf-8"))
        self.assertEqual([["0", "2.5 KB", "0.0 KB", "0.0 KB", "3.0 MB"]], screens)
        # Texts wider than their control are compared as far as the screen shows them.
        cases = [
            (["0", "2.5 KB", "0.0 KB", "0.0 KB", "3.0 MB"], ["0", "2.5 KB", "0.0 KB", "0.0 KB", "3.0 MB"], True),
            (["0", "197.9 K", "0.0 KB", "0.0 KB", "3.0 MB"], ["0", "197.9 KB", "0.0 KB", "0.0 KB", "3.0 MB"], True),
            (["0", "197.9 KB", "0.0 KB", "0.0 KB", "3.0 MB"], ["0", "197.9 KB", "0.0 KB", "0.0 KB", "3.0 MB"], True),
            (["0", "197.9", "0.0 KB", "0.0 KB", "3.0 MB"], ["0", "197.9 KB", "0.0 KB", "0.0 KB", "3.0 MB"], False),
            (["0", "197.9 K", "0.0 KB", "0.0 KB", "3.0 MB"], ["0", "197.8 KB", "0.0 KB", "0.0 KB", "3.0 MB"], False),
            (["0", "2.5 KB", "0.0 KB", "0.0 KB", "3.0 MB"], ["0", "2.5 KB", "0.0 KB", "0.0 KB", "3.0 KB"], False),
            (["1", "2.5 KB", "0.0 KB", "0.0 KB", "3.0 MB"], ["12", "2.5 KB", "0.0 KB", "0.0 KB", "3.0 MB"], False),
            (None, None, True),
            (None, ["0", "2.5 KB", "0.0 KB", "0.0 KB", "3.0 MB"], False),
        ]
        for shown_figures, texts, same in cases:
            with self.subTest(shown=shown_figures, texts=texts):
                self.assertEqual(same, outcomes.same_figures(shown_figures, texts))


class TheGenerator(unittest.TestCase):
    """What the generator reaches for, and what it leaves out on purpose (the differences the
    README documents): a class it stopped reaching, or one it began to, would go unnoticed."""

    def setUp(self):
        self.scenarios = [s for seed in (1, 2, 3, 4) for s in scenarios.generate(seed, 120, NOW)]

    def test_it_reaches_every_class(self):
        files = [(path, size, mode) for s in self.scenarios for path, (size, mode) in s.files.items()]
        texts = [text for s in self.scenarios for entry in s.queue
                 for text in (entry["application"], entry["arguments"]) if text]
        values = [data.decode("utf-16-le") for s in self.scenarios for values in s.registry.values() if values
                  for _, kind, data in values if kind == scenarios.REG_SZ]
        reached = {
            "sizes on a tie": any(size % 1024 == 256 for _, size, _ in files),
            "names beyond Latin-1": any(max(map(ord, path)) > 0xFF for path, _, _ in files),
            "queue texts beyond Latin-1": any(max(map(ord, text)) > 0xFF for text in texts),
            "case pairs beyond Latin-1": any(c in scenarios.CASE_PAIRS and ord(c) > 0xFF for t in texts for c in t),
            "writable by others only": any(mode & 0o222 and not mode & 0o200 for _, _, mode in files),
            "trees six levels deep": any(path.count("\\") >= 7 for path, _, _ in files),
            "a thousand files in a folder": any(len(s.files) > 1000 for s in self.scenarios),
            "queues of a hundred": any(len(s.queue) >= 100 for s in self.scenarios),
            "logs past 4 GiB": any(path.endswith("Quillex.log") and size >= 1 << 32 for path, size, _ in files),
            "command lines like options": any(s.command.startswith("--") for s in self.scenarios),
            "folder values of dots": any(value.strip("\\.\0") == "" and "." in value for value in values),
        }
        self.assertEqual([], [name for name, found in reached.items() if not found])

    def test_it_leaves_out_the_documented_differences(self):
        devices = {"con", "prn", "aux", "nul"} | {f"{port}{n}" for port in ("com", "lpt") for n in range(1, 10)}
        for s in self.scenarios:
            with self.subTest(seed=s.seed, scenario=s.number):
                for path in list(s.files) + s.folders:
                    for name in path.strip("\\").split("\\"):
                        self.assertNotIn(name.split(".")[0].lower(), devices)
                        self.assertFalse(name.endswith((".", " ")), name)
                for values in s.registry.values():
                    for _, kind, data in values or []:
                        if kind in (scenarios.REG_SZ, scenarios.REG_EXPAND_SZ):
                            parts = data.decode("utf-16-le").rstrip("\0").split("\\")
                            # "." and ".." only where they are all there is (the root).
                            if any(part not in ("", ".", "..") for part in parts):
                                self.assertFalse({".", ".."} & set(parts), parts)
                            self.assertNotIn("~", "".join(parts))
                for entry in s.queue:
                    year, month, _, day = entry["start"][:4]
                    if month == 2 and day == 29:
                        self.assertTrue(year % 4 == 0 and (year % 100 or year % 400 == 0))

    def test_case_pairs_are_the_devices_own(self):
        table = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "device", "core",
                                  "casepairs.h"), encoding="utf-8").read()
        pairs = {(int(a, 16), int(b, 16)) for a, b in re.findall(r"\{0x([0-9A-F]+), 0x([0-9A-F]+)\}", table)}
        paired = {a for pair in pairs for a in pair}
        for c, other in scenarios.CASE_PAIRS.items():
            self.assertTrue((ord(c), ord(other)) in pairs or (ord(other), ord(c)) in pairs, c)
        self.assertEqual([], [c for c in scenarios.ONE_WAY if ord(c) in paired])


if __name__ == "__main__":
    QUILLEX, DEVICE_TOOL = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1])
