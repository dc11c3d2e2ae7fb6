"""Feeds the log reader an install log holding one line for every event code
written in src/ and checks that each is decoded with its meaning and values.

usage: check_every_event.py WORK_DIR READER_COMMAND..."""

import os
import subprocess
import sys

import event_sources

SAMPLE_VALUES = {
    "none": ("", None),
    "error-number": ("-2147024891", "error -2147024891 = 0x80070005 E_ACCESSDENIED"),
    "control-code": ("1", "control code 1 SERVICE_CONTROL_STOP"),
    "host-name": ("updates.example.test", 'host "updates.example.test"'),
}


def log_lines(codes, table):
    """(line, expected code, expected meaning, expected value text) per code;
    the time stamps are unpadded as the service writes them."""
    lines = []
    for index, code in enumerate(codes):
        level, value, meaning = table.get(code, ("error", "none", None))
        sample, shown = SAMPLE_VALUES[value]
        message = str(code) + (" " + sample if sample else "")
        stamp = "2026-12-8+21-%d-%d.%d" % (index // 60, index % 60, index % 1000)
        lines.append(("%s [%s] %s" % (stamp, level, message), code, meaning, shown))
    return lines


def main():
    work, reader = sys.argv[1], sys.argv[2:]
    table = event_sources.event_table()
    codes = sorted(event_sources.source_event_codes())
    lines = log_lines(codes, table)
    os.makedirs(work, exist_ok=True)
    path = os.path.join(work, "every-event.log")
    with open(path, "wb") as log:
        log.write("".join(line + "\r\n" for line, _, _, _ in lines).encode("utf-16-le"))
    run = subprocess.run(reader + [path], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=100)
    output = run.stdout.decode("utf-8").replace("\r\n", "\n").splitlines()

    problems = []
    if run.returncode != 0:
        problems.append("the reader exited with %d: %s" % (run.returncode, run.stderr.decode(errors="replace")))
    if len(output) != len(lines):
        problems.append("%d lines in, %d lines out" % (len(lines), len(output)))
    for (_, code, meaning, shown), printed in zip(lines, output):
        if meaning is None:
            problems.append("%d has no row in event_codes.tsv" % code)
            continue
        if "  %d  %s" % (code, meaning) not in printed or "unknown" in printed or "unparsed" in printed:
            problems.append("%d not decoded with its meaning: %s" % (code, printed))
        if shown is not None and not printed.endswith(" -- " + shown):
            problems.append("%d: value not shown as %r: %s" % (code, shown, printed))
        if shown is None and " -- " in printed:
            problems.append("%d: a value where the event has none: %s" % (code, printed))
    for problem in problems:
        print(problem)
    print("%d event codes fed to the reader, %d problems" % (len(lines), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
