#!/usr/bin/env python3
"""The differential check: the same program on the emulated device and on desktop Win32.

Generates devices (folder trees two to six levels deep with read-only, held, hidden, oddly
named and oddly permitted files, crowded folders and sizes on rounding ties; browser folders
with and without their IE5 sub-folders; registry folder values, history lists, install
folders, logs and schedules; notification queues, long ones and ones with text beyond
Latin-1), runs one command on each twice, once with quillex on the emulated device and once
with quillex-check.exe under Wine, and compares what is left: the trees, the registry's
values below the keys Quillex uses, the log lines (without their timestamps), the queue,
the programs started and restarts asked for, and the main dialog's figures. Prints "N of N
scenarios agree" and every disagreement with the scenario's inputs. Times in the queue and
the schedule are relative to the moment of the run. scripts/wine-check.sh sets it all up.
"""

import argparse
import concurrent.futures
import datetime
import os
import shutil
import sys
import time

from outcomes import compare
from scenarios import generate
from sides import Emulation, Wine, lay_out

# Four seeds of 120 scenarios each: 480 devices, a few minutes.
DEFAULT_SEEDS = [1, 2, 3, 4]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quillex", required=True, help="the native quillex")
    parser.add_argument("--device-tool", required=True, help="the native quillex-device")
    parser.add_argument("--runner", required=True, help="quillex-check.exe")
    parser.add_argument("--prefix", required=True, help="the Wine prefix (WINEPREFIX)")
    parser.add_argument("--work", required=True, help="a folder for the scenarios' devices")
    parser.add_argument("--scenarios", type=int, default=120, help="scenarios of each seed")
    parser.add_argument("--seed", type=int, action="append", help=f"a seed (repeatable; {DEFAULT_SEEDS} when none)")
    parser.add_argument("--jobs", type=int, default=2, help="emulated runs at once")
    parser.add_argument("--only", type=int, action="append", help="run only this scenario (repeatable)")
    options = parser.parse_args()
    options.work = os.path.abspath(options.work)

    started = time.monotonic()
    now = datetime.datetime.now()
    scenarios = [scenario for seed in options.seed or DEFAULT_SEEDS
                 for scenario in generate(seed, options.scenarios, now)]
    if options.only:
        scenarios = [s for s in scenarios if s.number in options.only]
    shutil.rmtree(options.work, ignore_errors=True)
    os.makedirs(options.work)
    emulation = Emulation(options.quillex, options.device_tool, options.work)

    def emulate(scenario):
        folder = os.path.join(options.work, f"{scenario.seed}-{scenario.number:03d}")
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
