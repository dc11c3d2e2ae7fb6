#!/usr/bin/python3
"""Writes what plumix-publish health reads, for its benchmark: a release
store with a rollout under way (2.0.0.0 to 5 % of the addresses over
1.0.0.0, since the first day's midnight) and an origin's access log in
nginx's combined format, split like a rotated log (the oldest days
gzip-compressed).

    health_log.py DIR LOG_FOLDER [--lines N] [--days D] [--seed S] [--bad]

The fleet: homes of one machine each, on IPv4 and on IPv6 (a new privacy
address every day in a fixed /64), and offices of a hundred machines behind
one IPv4 address, each on on six days in seven. Every machine checks once a
day at its own time. The candidate cohort is drawn as nginx draws it (the
same hash over the salt and the address's cohort key): its machines
download the candidate at their first check, and with --bad at every check
until their seventh attempt, after which they stop checking. In the control
cohort one machine in a hundred fails to install the current release and
downloads it every day. About one line in a hundred is another client's or
another format's.
"""
import argparse
import datetime
import gzip
import json
import os
import random

MANIFEST = "/pub/plumixplayer/update/current/sau/11/xml/version.xml"
PACKAGE = "/pub/plumixplayer/update/current/sau/11/install/install_all_win_ax_sgn.z"
PACKAGES = ["pub/plumixplayer/update/current/sau/11/install/install_all_win_%s_sgn.z" % name
            for name in ("ax", "64_ax", "pl", "64_pl")]
PACKAGE_BYTES = 21000000
SALT = "bench"
PERCENT = 5
MAX_ATTEMPTS = 7
START_DAY = 20432  # 2025-12-10
MONTHS = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec".split()


def write_store(folder):
    store = os.path.join(folder, ".plumix-publish")
    for release in ("1.0.0.0", "2.0.0.0"):
        path = os.path.join(store, "releases", release)
        os.makedirs(path, exist_ok=True)
        record = {
            "announced": {"ActiveX": release, "Plugin": release}, "checkFrequency": 4,
            "signer": {"subject": "CN=Bench", "expires": "2030-01-01 00:00:00 UTC"},
            "manifest": {"path": MANIFEST[1:], "size": 214, "sha256": "0" * 64},
            "packages": [{"path": p, "size": PACKAGE_BYTES, "sha256": "0" * 64}
                         for p in PACKAGES]}
        with open(os.path.join(path, "release.json"), "w") as out:
            json.dump(record, out)
    start = "2025-12-10T00:00:00Z"
    state = {"current": "1.0.0.0", "candidate": "2.0.0.0", "percent": PERCENT, "halted": False,
             "salt": SALT, "canaries": [], "trustedProxies": [],
             "ramp": {"steps": [], "stepHours": 0},
             "history": [{"time": start, "action": "start", "release": "2.0.0.0",
                          "percent": PERCENT, "reason": "bench"}]}
    with open(os.path.join(store, "rollout.json"), "w") as out:
        json.dump(state, out)


def split_clients_hash(text):
    """nginx's MurmurHash2, as split_clients computes it."""
    data = text.encode()
    mask = 0xFFFFFFFF
    value = len(data)
    index = 0
    while len(data) - index >= 4:
        word = int.from_bytes(data[index:index + 4], "little")
        word = (word * 0x5BD1E995) & mask
        word ^= word >> 24
        word = (word * 0x5BD1E995) & mask
        value = ((value * 0x5BD1E995) & mask) ^ word
        index += 4
    tail = data[index:]
    if tail:
        for position in range(len(tail) - 1, -1, -1):
            value ^= tail[position] << (8 * position)
        value = (value * 0x5BD1E995) & mask
    value ^= value >> 13
    value = (value * 0x5BD1E995) & mask
    return value ^ (value >> 15)


def in_candidate(key):
    return split_clients_hash(SALT + key) < PERCENT * 100 * 0xFFFFFFFF // 10000


class Machine:
    def __init__(self, address, prefix, second, on_chance):
        self.address = address  # IPv4, or the IPv6 /64 prefix's first four groups
        self.ipv6 = prefix
        self.second = second
        self.on_chance = on_chance
        if prefix:
            key = ":".join("%04x" % int(group, 16) for group in address.split(":")) + "::/64"
        else:
            key = address
        self.candidate = in_candidate(key)
        self.attempts = 0
        self.current = not self.candidate


def fleet(random_source, machines):
    result = []
    while len(result) < machines:
        kind = random_source.random()
        if kind < 0.01:
            office = "172.%d.%d.%d" % tuple(random_source.randrange(256) for _ in range(3))
            result += [Machine(office, False, random_source.randrange(86000), 6 / 7)
                       for _ in range(100)]
        elif kind < 0.45:
            prefix = "2001:db8:%x:%x" % (random_source.randrange(65536), random_source.randrange(65536))
            result.append(Machine(prefix, True, random_source.randrange(86000), 1))
        else:
            address = "%d.%d.%d.%d" % tuple(random_source.randrange(1, 255) for _ in range(4))
            result.append(Machine(address, False, random_source.randrange(86000), 1))
    for machine in result:
        if not machine.candidate and random_source.random() < 0.01:
            machine.current = False  # the current release does not take on it
    return result[:machines]


def downloads(machine, bad):
    """Whether this check downloads; counts the attempt."""
    if machine.current:
        return False
    machine.attempts += 1
    machine.current = machine.candidate and not bad
    return True


def day_lines(random_source, machines, day, bad):
    year, month, day_of_month = civil(START_DAY + day)
    stamp = "%02d/%s/%d:" % (day_of_month, MONTHS[month - 1], year)
    manifest_tail = ("] \"GET %s HTTP/1.1\" 200 214 \"-\" \"Get Plumix Player version xml/1.0\"\n"
                     % MANIFEST)
    package_tail = ("] \"GET %s HTTP/1.1\" 200 %d \"-\" \"Download Plumix Player Installer/1.0\"\n"
                    % (PACKAGE, PACKAGE_BYTES))
    for index, machine in enumerate(machines):
        if machine.attempts >= MAX_ATTEMPTS or random_source.random() >= machine.on_chance:
            continue
        address, second = machine.address, machine.second
        if machine.ipv6:
            address = "%s:%x:%x::%x" % (address, random_source.randrange(65536), day,
                                        random_source.randrange(65536))
        clock = "%02d:%02d:%02d +0000" % (second // 3600, second // 60 % 60, second % 60)
        yield address + " - - [" + stamp + clock + manifest_tail
        if downloads(machine, bad):
            second += 1
            clock = "%02d:%02d:%02d +0000" % (second // 3600, second // 60 % 60, second % 60)
            yield address + " - - [" + stamp + clock + package_tail
        if index % 97 == 0:
            yield address + " - - [" + stamp + clock + "] \"GET / HTTP/1.1\" 404 153 \"-\" \"Mozilla/5.0\"\n"
        if index % 331 == 0:
            yield "2025/12/10 10:00:00 [error] 7#7: *1 open() failed\n"


def civil(days):
    date = datetime.date(1970, 1, 1) + datetime.timedelta(days=days)
    return date.year, date.month, date.day


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("dir")
    parser.add_argument("logs")
    parser.add_argument("--lines", type=int, default=10000000)
    parser.add_argument("--days", type=int, default=8)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--bad", action="store_true", help="a candidate that does not take")
    options = parser.parse_args()
    random_source = random.Random(options.seed)
    write_store(options.dir)
    os.makedirs(options.logs, exist_ok=True)
    machines = sorted(fleet(random_source, int(options.lines / options.days / 0.955)),
                      key=lambda machine: machine.second)
    for day in range(options.days):
        age = options.days - 1 - day
        name = "access.log" + ("" if age == 0 else ".%d" % age) + (".gz" if age > 1 else "")
        path = os.path.join(options.logs, name)
        opener = (lambda p: gzip.open(p, "wt", compresslevel=1)) if age > 1 else (
            lambda p: open(p, "w"))
        with opener(path) as out:
            out.writelines(day_lines(random_source, machines, day, options.bad))


main()
