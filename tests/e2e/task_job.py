"""Reads a Task Scheduler 1.0 work item (.job file) from the prefix's tasks folder."""

import struct


def _unicode_string(data, offset):
    count = struct.unpack_from("<H", data, offset)[0]
    offset += 2
    text = data[offset:offset + 2 * count].decode("utf-16-le").rstrip("\0")
    return text, offset + 2 * count


def read_job(path):
    """The fields of a .job file that the update task sets."""
    with open(path, "rb") as job:
        data = job.read()
    trigger_offset = struct.unpack_from("<H", data, 22)[0]
    flags = struct.unpack_from("<I", data, 48)[0]
    offset = 68 + 2  # fixed-length section, running instance count
    application, offset = _unicode_string(data, offset)
    parameters, offset = _unicode_string(data, offset)
    working_directory, offset = _unicode_string(data, offset)
    author, offset = _unicode_string(data, offset)
    comment, offset = _unicode_string(data, offset)
    count = struct.unpack_from("<H", data, trigger_offset)[0]
    triggers = []
    for index in range(count):
        fields = struct.unpack_from("<HHHHHHHHHHIIIIHHHHHH", data, trigger_offset + 2 + 48 * index)
        (size, _, begin_year, begin_month, begin_day, _, _, _, start_hour, start_minute,
         minutes_duration, minutes_interval, trigger_flags, trigger_type, days_interval,
         *_rest) = fields
        triggers.append({
            "size": size, "begin": (begin_year, begin_month, begin_day),
            "start_hour": start_hour, "start_minute": start_minute,
            "minutes_duration": minutes_duration, "minutes_interval": minutes_interval,
            "flags": trigger_flags, "type": trigger_type, "days_interval": days_interval,
        })
    return {
        "application": application, "parameters": parameters,
        "working_directory": working_directory, "author": author, "comment": comment,
        "flags": flags, "triggers": triggers,
    }
