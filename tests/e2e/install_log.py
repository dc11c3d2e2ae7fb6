"""Reads an install log: UTF-16LE lines "Y-M-D+h-m-s.ms [level] message" CR LF."""

import os
import re

EVENT_TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                           "tools", "log-reader", "event_codes.tsv")

LINE = re.compile(r"^(\d+)-(\d+)-(\d+)\+(\d+)-(\d+)-(\d+)\.(\d+) \[(info|warning|error)\] (.*)$")


def read_entries(path):
    """[(level, message)] of every well-formed line; missing file gives []."""
    try:
        with open(path, "rb") as log:
            text = log.read().decode("utf-16-le", errors="replace")
    except FileNotFoundError:
        return []
    entries = []
    for line in text.split("\r\n"):
        match = LINE.match(line)
        if match:
            entries.append((match.group(8), match.group(9)))
    return entries


def event_codes(path):
    """The messages of the log in order, e.g. ["1608", "1403 12029", ...]."""
    return [message for _, message in read_entries(path)]


def read_event_table(path=EVENT_TABLE):
    """{code: (level, value, meaning)} from the table of event codes, the one
    list of every code the service writes (the log reader is built from it)."""
    table = {}
    with open(path, encoding="utf-8") as rows:
        for row in rows:
            if row.startswith("#") or not row.strip():
                continue
            code, level, value, meaning = row.rstrip("\n").split("\t")
            table[code] = (level, value, meaning)
    return table


# What each event code of the service means.
EVENT_MEANINGS = {code: meaning for code, (_, _, meaning) in read_event_table().items()}
