"""The two sides of the differential check: the emulated device through quillex and
quillex-device, and the desktop through quillex-check.exe under Wine. Each lays a
scenario out, runs its command and reports an Outcome.
"""

import json
import os
import select
import shutil
import subprocess
import time

from outcomes import Outcome, emulated_events, emulated_queue, parse_registry_file, parse_screens, queue_entry, \
    read_logs, read_tree, watched_only
from scenarios import WATCHED_KEYS, entry_json


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
    for path, (size, mode) in scenario.files.items():
        target = host_path(root, path)
        with open(target, "wb") as out:
            if size <= 1024 * 1024 // 2:
                out.write(file_content(path, size))
            else:
                # Large files are sparse; a log keeps a whole first line.
                out.write(file_content(path, 0x10000) if path.endswith("Quillex.log") else b"")
                out.truncate(size)
        os.chmod(target, mode)


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
                # After "--" the whole command line is the program's, even one such as "-h".
                subprocess.run([self.quillex, "--device", device, "--", scenario.command], capture_output=True,
                               timeout=120)
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
