"""Writes the log reader's table of event codes (C++ initialisers, one per
code, in ascending order) from event_codes.tsv.

usage: generate_event_table.py event_codes.tsv OUTPUT"""

import sys

LEVELS = {"info": "LogLevel::Info", "warning": "LogLevel::Warning", "error": "LogLevel::Error"}
VALUES = {"none": "EventValue::None", "error-number": "EventValue::ErrorNumber",
          "control-code": "EventValue::ControlCode", "host-name": "EventValue::HostName"}


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def read_rows(path):
    rows = []
    with open(path, encoding="utf-8") as table:
        for number, row in enumerate(table, 1):
            if row.startswith("#") or not row.strip():
                continue
            fields = row.rstrip("\n").split("\t")
            if (len(fields) != 4 or not fields[0].isdigit() or len(fields[0]) != 4
                    or fields[1] not in LEVELS or fields[2] not in VALUES or not fields[3]):
                sys.exit("%s:%d: expected code, level, value and meaning" % (path, number))
            rows.append(fields)
    codes = [int(row[0]) for row in rows]
    if codes != sorted(set(codes)):
        sys.exit("%s: codes must be unique and in ascending order" % path)
    return rows


def main():
    source, output = sys.argv[1], sys.argv[2]
    lines = ["// Generated from event_codes.tsv by generate_event_table.py; do not edit."]
    for code, level, value, meaning in read_rows(source):
        lines.append("{%s, %s, %s, %s}," % (code, LEVELS[level], VALUES[value], c_string(meaning)))
    text = "\n".join(lines) + "\n"
    try:
        with open(output, encoding="utf-8") as existing:
            if existing.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(output, "w", encoding="utf-8") as generated:
        generated.write(text)


if __name__ == "__main__":
    main()
