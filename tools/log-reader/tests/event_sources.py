"""The event codes as the program's sources, the table of event codes and the
administrator's guide hold them."""

import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", ".."))
# The end-to-end tests' log module holds the one reader of the table of event codes.
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import install_log  # noqa: E402
SRC = os.path.join(ROOT, "src")
EVENT_TABLE = os.path.join(ROOT, "tools", "log-reader", "event_codes.tsv")
GUIDE = os.path.join(ROOT, "docs", "admin.md")

# Four-digit numbers in src/ that are not event codes, by file. Every other
# four-digit number in the code is taken for an event code, wherever it is
# written (a LogEvent call, a table of events, a parameter, a return value),
# so a new code cannot slip past unseen: it either is in the table of events
# or must be named here.
NOT_EVENTS = {
    ("service/process_entry.cpp", 1001): "the exit code of -isSAUEnabled when silent updating is on",
    ("update/installed_version.cpp", 1024): "the size of the Version value's buffer in bytes",
    ("settings/settings_file.cpp", 1024): "the first size of the settings line buffer",
    ("net/version_manifest_parser.h", 1000): "the deepest element nesting the manifest parser accepts",
    ("task/update_task_v1.cpp", 1440): "the trigger's duration: the minutes of one day",
    ("task/update_task_v1.cpp", 2000): "the trigger's first year",
    ("task/task_schedule.cpp", 2000): "the start boundary's year",
    ("service/service_control.cpp", 3000): "the wait hint of the start-pending report, in milliseconds",
    ("net/download_limits.h", 1000): "milliseconds per second, for the bounds of the waits",
}

LEVELS = {"Info": "info", "Warning": "warning", "Error": "error"}
CALL_VALUES = {"LogEvent": "none", "LogEventValue": "control-code", "LogEventText": "host-name",
               "LogEventLastError": "error-number"}


def code_text(path):
    """The file's text with its comments blanked out (line numbers kept)."""
    with open(path, encoding="utf-8") as source:
        text = source.read()
    text = re.sub(r"/\*.*?\*/", lambda m: re.sub(r"[^\n]", " ", m.group(0)), text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def source_files():
    for folder, _, names in os.walk(SRC):
        for name in sorted(names):
            if name.endswith((".cpp", ".h")):
                path = os.path.join(folder, name)
                yield os.path.relpath(path, SRC).replace(os.sep, "/"), path


def source_numbers():
    """[(file, line, number)] of every four-digit decimal number in the code."""
    found = []
    for relative, path in source_files():
        for number, line in enumerate(code_text(path).split("\n"), 1):
            for match in re.finditer(r"(?<![\w.])(\d{4})(?![\w.])", line):
                found.append((relative, number, int(match.group(1))))
    return found


def source_event_codes():
    """({code: [where]}, [unclassified]) from src/: every four-digit number
    that NOT_EVENTS does not name is an event code."""
    codes = {}
    for relative, line, number in source_numbers():
        if (relative, number) not in NOT_EVENTS:
            codes.setdefault(number, []).append("%s:%d" % (relative, line))
    return codes


def stale_exclusions():
    """NOT_EVENTS entries that no longer match anything in src/."""
    seen = {(relative, number) for relative, _, number in source_numbers()}
    return sorted(key for key in NOT_EVENTS if key not in seen)


def direct_calls():
    """[(where, level, value, code)] for every code written straight into a
    LogEvent* call, e.g. LogEvent(LogLevel::Info, enabled ? 1613 : 1614)."""
    calls = []
    call = re.compile(r"\b(LogEvent\w*)\(\s*LogLevel::(\w+)\s*,([^;]*?)\)\s*;")
    for relative, path in source_files():
        text = code_text(path)
        for match in call.finditer(text):
            line = text.count("\n", 0, match.start()) + 1
            for code in re.findall(r"(?<![\w.])(\d{4})(?![\w.])", match.group(3)):
                calls.append(("%s:%d" % (relative, line), LEVELS.get(match.group(2), match.group(2)),
                              CALL_VALUES.get(match.group(1), match.group(1)), int(code)))
    return calls


def event_table():
    """{code: (level, value, meaning)} of event_codes.tsv, codes as numbers."""
    return {int(code): row for code, row in install_log.read_event_table(EVENT_TABLE).items()}


GUIDE_VALUES = {"-": "none", "error number": "error-number", "control code": "control-code",
                "host name": "host-name"}


def guide_table():
    """{code: (level, value)} of the guide's table of event codes: the rows
    "| 1403 | warning | error number | meaning |" under its heading."""
    rows = {}
    duplicates = []
    in_table = False
    with open(GUIDE, encoding="utf-8") as guide:
        for line in guide:
            if line.startswith("#"):
                in_table = line.strip().lower().endswith("table of event codes")
                continue
            match = re.match(r"^\|\s*(\d{4})\s*\|\s*(\w+)\s*\|\s*([^|]+?)\s*\|", line)
            if in_table and match:
                code = int(match.group(1))
                if code in rows:
                    duplicates.append(code)
                rows[code] = (match.group(2), GUIDE_VALUES.get(match.group(3), match.group(3)))
    return rows, duplicates
