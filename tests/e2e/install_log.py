"""Reads an install log: UTF-16LE lines "Y-M-D+h-m-s.ms [level] message" CR LF."""

import re

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
