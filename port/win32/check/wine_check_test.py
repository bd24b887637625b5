#!/usr/bin/env python3
"""The differential check's own formats, through the emulation's tools: what the check
writes for quillex-device must come back as the check reads it, or the check would compare
the wrong things. Run as: wine_check_test.py QUILLEX QUILLEX_DEVICE (ctest does)."""

import datetime
import json
import os
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
        scenario.files = {r"\Temp\a.txt": (2048, False), r"\Temp\sub\b.txt": (512, True),
                          r"\Temp\sub\deeper\c.txt": (999, False), r"\Temp\.hidden": (0, False),
                          r"\Windows\AvantGo\big.bin": (3 * 1024 * 1024 + 77, False)}
        sides.lay_out(os.path.join(device, "fs"), scenario)
        tree = outcomes.read_tree(os.path.join(device, "fs"))
        self.assertEqual(("file", 512, True, False), tree[r"\Temp\sub\b.txt"])
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


if __name__ == "__main__":
    QUILLEX, DEVICE_TOOL = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1])
