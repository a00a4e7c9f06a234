#!/usr/bin/env python3
"""Where a silent install's time goes: the median time of each step over several runs.

Each RUN file holds the run's start and end (Unix time in ms, from the bench's own clock,
taken around `wine`) on its first line, then the installer's /l: log, whose lines begin
"yyyy-mm-dd hh:mm:ss.mmm [pid] ". Each stretch of time is charged to the log line that
ends it (a line is written once its event is done); the start-up runs from the bench's
clock to the first line, the exit from the last line to the bench's clock.

usage: steps.py RUN...
"""
import re
import statistics
import sys
import time

LINE = re.compile(r"(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)(?:\.(\d{3}))?(?: \[(\d+)\])? (.*)")
# Rows in the order of the install; the first pattern that matches a line names its step.
STEPS = [
    ("start-up to the first log line", None),
    ("command line, directory", r"^(====|start:|(created the )?program directory)"),
    ("closing the running product", r"^closing the running product"),
    ("unpacking", r"^unpacked"),
    ("registry: product values", r"^(wrote|deleted) HK.*\\Quellmark value (AppPath|CCode|DCC)"),
    ("registry: autostart", r"^((wrote|deleted) HK.*\\Run value|opened HK.*\\Run(: |$))"),
    ("registry: uninstall entry", r"^(wrote|deleted) HK.*\\Uninstall\\Quellmark"),
    ("registry: browser settings", r"^(wrote|deleted) HK.*Internet Explorer"),
    ("registry: other", r"^(wrote|deleted) HK"),
    ("file Quellmark.dll", None),
    ("file Quellmark.exe", None),
    ("file Update.kvc", None),
    ("data files", r"^copied .*strings\.dat"),
    ("old group removed", r"^(deleted .*\.lnk|removed the program group)"),
    ("group folder", r"^(made the program group|read HK.*\\Shell Folders)"),
    ("shortcut Launch Quellmark", r"^shortcut .*Launch Quellmark"),
    ("shortcut User's Guide", r"^shortcut .*User's Guide"),
    ("shortcut Uninstall Quellmark", r"^shortcut .*Uninstall Quellmark"),
    ("system copy", r"^copied .*QM-Install\.exe"),
    ("product start", r"^started"),
    ("messages", r"^message"),
    ("to the end line", r"^end:"),
    ("other lines", r""),
    ("exit after the end line", None),
]
# A temporary file's write (or the import's copy) is charged to the file it replaces next.
TEMP_WRITE = re.compile(r"^(?:wrote|copied) .*?\.tmp(?: from |: |$)")
REPLACED = re.compile(r"^(?:replaced|replacement at the restart of) (.*?)(?: from |: |$)")


def stamp(match):
    year, month, day, hour, minute, second = (int(match.group(k)) for k in range(1, 7))
    seconds = time.mktime((year, month, day, hour, minute, second, 0, 0, -1))
    return int(seconds) * 1000 + int(match.group(7) or 0)


def step_of(text):
    for name, pattern in STEPS:
        if pattern is not None and re.search(pattern, text):
            return name
    return "other lines"


def read_run(path):
    """{step: ms} for one run; None when the log has no lines."""
    with open(path, encoding="latin-1") as f:
        head = f.readline().split()
        lines = [m for m in (LINE.match(line.rstrip("\r\n")) for line in f) if m]
    if len(head) != 2 or not lines:
        return None
    started, ended = int(head[0]), int(head[1])
    # A log may hold earlier runs: only the last process's lines count.
    pid = lines[-1].group(8)
    lines = [m for m in lines if m.group(8) == pid]
    times = {name: 0 for name, _ in STEPS}
    times["start-up to the first log line"] = stamp(lines[0]) - started
    times["exit after the end line"] = ended - stamp(lines[-1])
    pending = 0
    for previous, line in zip(lines, lines[1:]):
        spent = stamp(line) - stamp(previous)
        text = line.group(9)
        if TEMP_WRITE.search(text):
            pending += spent
            continue
        name = step_of(text)
        replaced = REPLACED.search(text)
        if replaced:
            target = replaced.group(1).rsplit("\\", 1)[-1]
            name = "file " + target if "file " + target in times else name
        times[name] += spent + (pending if replaced else 0)
        if replaced:
            pending = 0
    times["other lines"] += pending
    times["total"] = ended - started
    return times


def main():
    runs = [t for t in (read_run(path) for path in sys.argv[1:]) if t is not None]
    if not runs:
        print("no logs to read")
        return
    print(f"where our time goes, medians of {len(runs)} runs (ms; each stretch charged to the "
          "log line that ends it):")
    for name in [name for name, _ in STEPS] + ["total"]:
        values = [t[name] for t in runs]
        if name != "total" and not any(values):
            continue
        print(f"  {name:<32} {statistics.median(values):7.1f}"
              f"   (min {min(values)}, max {max(values)})")


if __name__ == "__main__":
    main()
