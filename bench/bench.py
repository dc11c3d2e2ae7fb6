"""Benchmark of the update service under Wine against its baselines, each
figure measured side by side with them in the same run and repeated; prints
median and spread (min-max). A script that prints figures: nothing here
passes or fails on a time.

  1. Install cycle: a due cycle that downloads, verifies and writes a package
     of a given size, from `sc start` to the end of the service's process,
     against the platform floor (bench-floor: bare WinHTTP download into a
     file and one CryptVerifyMessageSignature, same toolchain, same Wine)
     and, for information, the host (curl, then openssl cms -verify).
  2. Peak memory (VmHWM) of the service's process during that cycle against
     the package size.
  3. Not-due cycle, from `sc start` to the end of the process, against a
     trivial service in the same prefix.

Wine's crypt32 refuses to decode any ASN.1 item longer than 32 MiB
(CRYPT_E_ASN1_LARGE), so no program, the floor included, can verify a
larger package under Wine. Sizes up to 30 MiB are installed; larger ones
(64 and 256 MiB) run as far as Wine allows: download, read-back and the
refusal (event 1217), against the floor doing the same.

Run by bench/run-bench.sh, which builds what it needs and sets
PLUMIX_BUILD_DIR, PLUMIX_SOURCE_DIR, PLUMIX_ARCH and PLUMIX_E2E_ADDRESS.
"""

import argparse
import datetime
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

import environment  # noqa: E402
from environment import ADDRESS, PACKAGE_PATHS, PROGRAM, SERVICE  # noqa: E402

MIB = 1024 * 1024
# Wine's crypt32 decodes no ASN.1 item longer than this (CRYPT_E_ASN1_LARGE).
WINE_DECODE_LIMIT = 0x02000000
TRIVIAL_SERVICE = "PlumixBenchTrivialSvc"
TRIVIAL_PROGRAM = "C:\\plumix\\bench-trivial-service.exe"
FLOOR_PROGRAM = "C:\\plumix\\bench-floor.exe"
FLOOR_FILE = "C:\\windows\\temp\\bench-floor.tmp"
OLD_VERSION = "10.1.0.5"
NEW_VERSION = "10.2.0.1"
VARIANT = "ActiveX"
PACKAGE_PATH = PACKAGE_PATHS[(VARIANT, False)]
SILENT_VERBOSE = ("SilentAutoUpdateEnable=1\nSilentAutoUpdateVerboseLogging=1\n"
                  "SilentAutoUpdateServerDomain=%s\n" % ADDRESS)
POLL_SECONDS = 0.005
# Bound of every wait: a 256 MiB cycle under a loaded Wine takes well under this.
RUN_TIMEOUT_SECONDS = 300
LOG_LINE = re.compile(r"^(\d+)-(\d+)-(\d+)\+(\d+)-(\d+)-(\d+)\.(\d+) \[\w+\] (\d+)")


# -- host processes -----------------------------------------------------------

def process_names(prefix):
    """{pid: command line} of the host's processes that run in the Wine
    prefix (others may run the same programs in prefixes of their own)."""
    names = {}
    mark = ("WINEPREFIX=%s" % prefix).encode()
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/environ" % entry, "rb") as environ:
                    if mark not in environ.read().split(b"\0"):
                        continue
                with open("/proc/%s/cmdline" % entry, "rb") as cmdline:
                    names[int(entry)] = cmdline.read().replace(b"\0", b" ").decode(errors="replace")
            except OSError:
                pass
    return names


def peak_rss_kib(pid):
    """VmHWM of a live process in KiB; None once it has ended (or is a zombie)."""
    try:
        with open("/proc/%d/status" % pid) as status:
            text = status.read()
    except OSError:
        return None
    match = re.search(r"^VmHWM:\s+(\d+) kB", text, re.M)
    if match is None or re.search(r"^State:\s+Z", text, re.M):
        return None
    return int(match.group(1))


def wait_child(process, timeout):
    """Waits for a child and returns (seconds since it was started, peak RSS
    in KiB from the kernel's accounting of that one child, exit status)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        pid, status, usage = os.wait4(process.pid, os.WNOHANG)
        if pid:
            process.returncode = os.waitstatus_to_exitcode(status)
            return time.monotonic(), usage.ru_maxrss, process.returncode
        time.sleep(POLL_SECONDS)
    process.kill()
    raise RuntimeError("%s did not end within %d s" % (process.args, timeout))


# -- the bench world ----------------------------------------------------------

class Bench:
    def __init__(self, build, repetitions, sizes, compared=None):
        self.env = environment.Environment(os.path.join(build, "bench"))
        self.build = build
        self.repetitions = repetitions
        self.sizes = sizes
        # The service builds measured side by side: this build's, and
        # optionally another one (e.g. from before a change).
        self.services = {"service": os.path.join(build, "src", "PlumixPlayerUpdateService.exe")}
        if compared:
            self.services["compared"] = compared
        self.installed_service = "service"
        self.pending = {}
        self.completed = 0
        self.loader = self.env.prefix.loader
        self.packages = {}
        self.results = {}

    def set_up(self):
        """The e2e world (XP mode prefix, the service installed, server
        certificates, a package signer), plus the trivial service and the
        floor program in the prefix, and the signed packages."""
        env = self.env
        env.set_up()
        for name in ("bench-trivial-service.exe", "bench-floor.exe"):
            shutil.copy(os.path.join(self.build, "bench", name),
                        env.prefix.host_path("C:\\plumix\\" + name))
        result = env.prefix.sc("create", TRIVIAL_SERVICE, "binPath=", TRIVIAL_PROGRAM,
                               "type=", "own")
        assert result.returncode == 0, result.stdout + result.stderr
        # As after the service's creation: a fresh server loads the new
        # service from the saved registry.
        env.prefix.kill_server()
        env.prefix.sc("start", TRIVIAL_SERVICE)
        env.prefix.wait_service_state(TRIVIAL_SERVICE, "STOPPED")
        env.reset()
        for size in self.sizes:
            self.make_package(size)
        env.serve_manifest(NEW_VERSION, NEW_VERSION, 1)
        env.start_server()
        # The first task registration in a fresh prefix is much slower than
        # later ones (one-time work of the new prefix): one unmeasured
        # not-due cycle pays for it before anything is timed.
        self.prepare_cycle(due=False)
        self.start_service(SERVICE, PROGRAM)
        time.sleep(2)

    def tear_down(self):
        self.env.tear_down()

    def make_package(self, size_mib):
        """The stand-in installer padded with random bytes to size_mib MiB,
        branded with the new version and signed."""
        env, tools = self.env, os.path.join(environment.SOURCE, "tools")
        padded = os.path.join(env.work, "padded-%d.exe" % size_mib)
        branded = os.path.join(env.work, "installer-%d.exe" % size_mib)
        package = os.path.join(env.work, "package-%d.z" % size_mib)
        shutil.copy(os.path.join(self.build, "tools", "standin-installer.exe"), padded)
        with open(padded, "ab") as out:
            remaining = size_mib * MIB - os.path.getsize(padded)
            while remaining > 0:
                out.write(os.urandom(min(remaining, 8 * MIB)))
                remaining -= 8 * MIB
        subprocess.run([os.path.join(tools, "standin-installer", "brand-standin"), padded, VARIANT,
                        NEW_VERSION, branded], check=True)
        subprocess.run([os.path.join(tools, "sign-package", "sign-package"), "--content", branded,
                        "--signer-cert", os.path.join(env.work, "signer.pem"),
                        "--signer-key", os.path.join(env.work, "signer.key"), "--out", package],
                       check=True)
        os.remove(padded)
        os.remove(branded)
        self.packages[size_mib] = package

    def installs(self, size_mib):
        """Whether Wine can verify the package of this size at all."""
        return os.path.getsize(self.packages[size_mib]) <= WINE_DECODE_LIMIT

    def serve(self, size_mib):
        served = os.path.join(self.env.root, *PACKAGE_PATH.strip("/").split("/"))
        os.makedirs(os.path.dirname(served), exist_ok=True)
        shutil.copy(self.packages[size_mib], served)

    # -- timed runs ---------------------------------------------------------

    def wine(self, *args):
        """Starts a Windows program with the prefix's loader directly (the
        prefix's server is already up), so no wrapper's time is counted."""
        return subprocess.Popen([self.loader] + list(args), env=self.env.prefix.env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)

    def start_service(self, name, program):
        """Seconds from `sc start` to the end of the service's process, and
        the process's peak RSS in KiB. Wine's service manager sometimes
        refuses a start (1055) right after an earlier service's process
        ended; such a start is tried again, with a new start time."""
        marker = program.rsplit("\\", 1)[1].lower()
        for _ in range(5):
            before = set(process_names(self.env.prefix.path))
            start = time.monotonic()
            sc = self.wine("sc", "start", name)
            pid, peak, end = None, 0, None
            deadline = start + RUN_TIMEOUT_SECONDS
            while end is None and time.monotonic() < deadline:
                if pid is None:
                    pid = next((p for p, cmd in process_names(self.env.prefix.path).items()
                                if p not in before and marker in cmd.lower()
                                and "sc.exe" not in cmd.lower()), None)
                    if pid is None and sc.poll() not in (None, 0):
                        break
                else:
                    rss = peak_rss_kib(pid)
                    if rss is None:
                        end = time.monotonic()
                    else:
                        peak = max(peak, rss)
                time.sleep(POLL_SECONDS)
            output = sc.communicate(timeout=RUN_TIMEOUT_SECONDS)[0]
            if end is not None:
                return end - start, peak
            if pid is not None:
                raise RuntimeError("%s did not end within %d s" % (name, RUN_TIMEOUT_SECONDS))
            time.sleep(3)
            print("    (%s refused to start, trying again: %s)" % (name, output.strip()[-80:]))
        raise RuntimeError("%s could not be started" % name)

    def prepare_cycle(self, variant=None, due=True):
        env = self.env
        env.prefix.reg_delete_key(environment.STATE_KEY)
        for key in environment.VARIANT_KEYS.values():
            env.prefix.reg_delete_key(key)
        for path in (environment.SERVICE_LOG, environment.INSTALLER,
                     environment.INSTALLER + ".txt"):
            try:
                os.remove(env.prefix.host_path(path))
            except FileNotFoundError:
                pass
        env.write_settings(SILENT_VERBOSE)
        if variant is not None:
            env.set_installed(variant, OLD_VERSION)
        if not due:
            env.set_update_state(last_check=environment.now_filetime())

    def service_log(self):
        """[(seconds of the day, event code)] of the service's install log."""
        entries = []
        with open(self.env.prefix.host_path(environment.SERVICE_LOG), "rb") as log:
            for line in log.read().decode("utf-16-le", errors="replace").split("\r\n"):
                match = LOG_LINE.match(line)
                if match:
                    h, m, s, ms = (int(match.group(i)) for i in (4, 5, 6, 7))
                    entries.append((h * 3600 + m * 60 + s + ms / 1000.0, match.group(8)))
        return entries

    def use_service(self, label):
        """Puts the named service build in place as the installed program."""
        if label != self.installed_service:
            shutil.copy(self.services[label], self.env.prefix.host_path(PROGRAM))
            self.installed_service = label

    def install_cycle(self, size_mib, label):
        """A due cycle for the package; a package Wine cannot verify ends in
        the refusal (1217, 1234)."""
        self.use_service(label)
        self.prepare_cycle(VARIANT)
        seconds, peak = self.start_service(SERVICE, PROGRAM)
        log = self.service_log()
        codes = [code for _, code in log]
        at = {code: when for when, code in log}
        last = "1602" if self.installs(size_mib) else "1217"
        if "1612" not in codes or last not in codes:
            raise RuntimeError("the %d MiB cycle did not reach %s: %s" % (size_mib, last, codes))
        if self.installs(size_mib):
            # The stand-in installer runs on after the service; let it
            # finish before anything else is timed.
            if self.env.wait_installer_record(timeout=RUN_TIMEOUT_SECONDS) is None:
                raise RuntimeError("the stand-in installer left no record")
            self.wait_no_process("plumixplayerinstaller.exe")
        self.record("install-%s" % label, size_mib, seconds)
        self.record("install-%s-cycle" % label, size_mib, at["1612"] - at["1608"])
        self.record("install-%s-package" % label, size_mib, at[last] - at["1600"])
        self.record("install-%s-peak" % label, size_mib, peak / 1024.0)

    def wait_no_process(self, marker):
        deadline = time.monotonic() + RUN_TIMEOUT_SECONDS
        while time.monotonic() < deadline:
            names = process_names(self.env.prefix.path).values()
            if not any(marker in cmd.lower() for cmd in names):
                return
            time.sleep(0.1)
        raise RuntimeError("%s is still running" % marker)

    def floor(self, size_mib):
        start = time.monotonic()
        process = self.wine(FLOOR_PROGRAM, ADDRESS, PACKAGE_PATH, FLOOR_FILE)
        end, peak, status = wait_child(process, RUN_TIMEOUT_SECONDS)
        output = process.stdout.read()
        process.stdout.close()
        match = re.search(r"floor-ms=([\d.]+) verified=(\d) bytes=(\d+)", output)
        expected = "1" if self.installs(size_mib) else "0"
        if (match is None or match.group(2) != expected or
                int(match.group(3)) != os.path.getsize(self.packages[size_mib])):
            raise RuntimeError("the floor program did not do its work: %r" % output)
        os.remove(self.env.prefix.host_path(FLOOR_FILE))
        self.record("install-floor", size_mib, end - start)
        self.record("install-floor-work", size_mib, float(match.group(1)) / 1000.0)
        self.record("install-floor-peak", size_mib, peak / 1024.0)

    def host(self, size_mib):
        target = os.path.join(self.env.work, "host-download.z")
        issuer = os.path.join(self.env.work, "issuer.pem")
        start = time.monotonic()
        subprocess.run(["curl", "--silent", "--fail", "--noproxy", "*", "--output", target,
                        "http://%s%s" % (ADDRESS, PACKAGE_PATH)], check=True,
                       timeout=RUN_TIMEOUT_SECONDS)
        subprocess.run(["openssl", "cms", "-verify", "-binary", "-inform", "DER", "-in", target,
                        "-CAfile", issuer, "-purpose", "any", "-out", os.devnull],
                       check=True, timeout=RUN_TIMEOUT_SECONDS, stderr=subprocess.DEVNULL)
        self.record("install-host", size_mib, time.monotonic() - start)
        os.remove(target)

    def not_due(self, label):
        self.use_service(label)
        self.prepare_cycle(due=False)
        seconds, peak = self.start_service(SERVICE, PROGRAM)
        log = self.service_log()
        codes = [code for _, code in log]
        at = {code: when for when, code in log}
        if "1601" in codes or "1600" in codes or "1612" not in codes:
            raise RuntimeError("the not-due cycle did more than expected: %s" % codes)
        self.record("not-due-%s" % label, 0, seconds)
        self.record("not-due-%s-cycle" % label, 0, at["1612"] - at["1608"])
        self.record("not-due-%s-peak" % label, 0, peak / 1024.0)

    def trivial(self):
        seconds, peak = self.start_service(TRIVIAL_SERVICE, TRIVIAL_PROGRAM)
        self.record("not-due-trivial", 0, seconds)
        self.record("not-due-trivial-peak", 0, peak / 1024.0)

    def measure(self, step, *arguments):
        """Runs one measurement, again when it went wrong (for example when a
        process of the service was ended from outside), at most four times."""
        for attempt in range(4):
            try:
                return step(*arguments)
            except (RuntimeError, OSError) as error:
                print("    (%s; measuring again)" % error, flush=True)
                if not self.env.prefix.wait_service_state(SERVICE, "STOPPED", 60):
                    # Wine's service manager has been seen to miss the end of
                    # a killed service; a new prefix server starts it afresh.
                    self.env.prefix.kill_server()
                time.sleep(5)
        raise RuntimeError("%s failed four times" % step.__name__)

    def record(self, figure, size, value):
        """Keeps a figure of the current repetition; it joins the results only
        when the whole repetition completes."""
        self.pending.setdefault(figure, {}).setdefault(size, []).append(value)

    # -- the run ------------------------------------------------------------

    def run(self):
        # Within a repetition every figure is taken next to its baselines, so
        # a burst of load from elsewhere falls on all of them. A repetition
        # that cannot be completed is left out whole, so that the figures of
        # every repetition still pair up.
        for repetition in range(1, self.repetitions + 1):
            print("repetition %d of %d" % (repetition, self.repetitions), flush=True)
            self.pending = {}
            try:
                self.run_repetition()
            except RuntimeError as error:
                print("  (repetition dropped: %s)" % error, flush=True)
                continue
            for figure, sizes in self.pending.items():
                for size, values in sizes.items():
                    self.results.setdefault(figure, {}).setdefault(size, []).extend(values)
            self.completed += 1

    def run_repetition(self):
        """Every figure once, each next to its baselines."""
        for size in self.sizes:
            self.serve(size)
            for label in self.services:
                self.measure(self.install_cycle, size, label)
            self.measure(self.floor, size)
            self.measure(self.host, size)
            print("  %d MiB: %s, floor %.2f s, host %.2f s" % (size, ", ".join(
                "%s %.2f s" % (label, self.pending["install-" + label][size][-1])
                for label in self.services), self.pending["install-floor"][size][-1],
                self.pending["install-host"][size][-1]), flush=True)
        for label in self.services:
            self.measure(self.not_due, label)
            time.sleep(1)
        self.measure(self.trivial)
        print("  not due: %s, trivial service %.2f s" % (", ".join(
            "%s %.2f s" % (label, self.pending["not-due-" + label][0][-1])
            for label in self.services), self.pending["not-due-trivial"][0][-1]), flush=True)
        time.sleep(1)


# -- the report ---------------------------------------------------------------

def spread(values, unit):
    if unit == "s":
        return "%.2f s (%.2f-%.2f)" % (statistics.median(values), min(values), max(values))
    return "%.0f MiB (%.0f-%.0f)" % (statistics.median(values), min(values), max(values))


def machine():
    with open("/proc/cpuinfo") as cpuinfo:
        model = re.search(r"^model name\s*:\s*(.*)$", cpuinfo.read(), re.M).group(1)
    with open("/proc/meminfo") as meminfo:
        ram = int(re.search(r"^MemTotal:\s+(\d+)", meminfo.read(), re.M).group(1)) // 1024
    wine = subprocess.run(["/usr/lib/wine/wine64", "--version"], capture_output=True,
                          text=True).stdout.strip()
    with open("/proc/loadavg") as loadavg:
        load = " ".join(loadavg.read().split()[:3])
    return "%d cores (%s), %d MiB RAM, %s, load average now %s" % (os.cpu_count(), model, ram,
                                                                   wine, load)


def ratio(numerators, denominators):
    """Median and spread of the per-repetition ratios."""
    ratios = [n / d for n, d in zip(numerators, denominators)]
    return "%.2f (%.2f-%.2f)" % (statistics.median(ratios), min(ratios), max(ratios))


def report(bench, started):
    r = bench.results
    print("\n== Results (%d complete repetitions of %d, median and min-max; started %s, %s build)"
          % (bench.completed, bench.repetitions, started, environment.ARCH))
    print("machine: " + machine())
    if "compared" in bench.services:
        print("compared: %s" % bench.services["compared"])
    for size in bench.sizes:
        package = os.path.getsize(bench.packages[size])
        installs = bench.installs(size)
        end = "1602" if installs else "1217"
        floor = r["install-floor"][size]
        print("\n%d MiB package (%d bytes): %s" % (size, package, "installed" if installs else
              "larger than Wine's crypt32 decodes: download, read-back, refusal"))
        for label in bench.services:
            print("  %-8s sc start to process end        %s" % (label, spread(
                r["install-" + label][size], "s")))
            print("    its cycle (log 1608 to 1612)           %s" % spread(
                r["install-%s-cycle" % label][size], "s"))
            print("    its package step (log 1600 to %s)    %s" % (end, spread(
                r["install-%s-package" % label][size], "s")))
        print("  floor    process start to end            %s" % spread(floor, "s"))
        print("    its own work (WinHTTP open to verdict) %s" % spread(
            r["install-floor-work"][size], "s"))
        print("  host     curl + openssl cms -verify      %s" % spread(
            r["install-host"][size], "s"))
        for label in bench.services:
            print("  ratio %s / floor (per repetition)  %s   target <= 1.2" % (
                label, ratio(r["install-" + label][size], floor)))
        limit = 2.1 * package / MIB + 16
        for label in bench.services:
            peak = r["install-%s-peak" % label][size]
            print("  peak memory, %-8s (VmHWM)          %s = %.2f x package   "
                  "target <= %.0f MiB" % (label, spread(peak, "MiB"),
                                          statistics.median(peak) * MIB / package, limit))
            # What the package adds to the process that a not-due cycle needs.
            above = statistics.median(peak) - statistics.median(r["not-due-%s-peak" % label][0])
            print("    above its not-due peak                 %.0f MiB = %.2f x package" % (
                above, above * MIB / package))
        floor_peak = r["install-floor-peak"][size]
        print("  peak memory, floor (maxrss)             %s = %.2f x package" % (
            spread(floor_peak, "MiB"), statistics.median(floor_peak) * MIB / package))
    print("\nnot-due cycle, sc start to process end")
    trivial = r["not-due-trivial"][0]
    for label in bench.services:
        print("  %-8s                                 %s, peak %s" % (
            label, spread(r["not-due-" + label][0], "s"), spread(
                r["not-due-%s-peak" % label][0], "MiB")))
    for label in bench.services:
        print("  %-8s its cycle (log 1608 to 1612)    %s" % (
            label, spread(r["not-due-%s-cycle" % label][0], "s")))
    print("  trivial service                          %s, peak %s" % (
        spread(trivial, "s"), spread(r["not-due-trivial-peak"][0], "MiB")))
    for label in bench.services:
        print("  ratio %s / trivial (per repetition)  %s   target <= 1.5" % (
            label, ratio(r["not-due-" + label][0], trivial)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true",
                        help="2 repetitions, the 30 and 64 MiB packages only")
    parser.add_argument("--repetitions", type=int, help="default 5 (2 with --quick)")
    parser.add_argument("--compare-with", metavar="EXE",
                        help="another build of the service to measure side by side")
    parser.add_argument("--sizes", help="package sizes in MiB, comma-separated "
                        "(default 8,30,64,256; 30,64 with --quick)")
    arguments = parser.parse_args()
    repetitions = arguments.repetitions or (2 if arguments.quick else 5)
    sizes = arguments.sizes or ("30,64" if arguments.quick else "8,30,64,256")
    started = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    bench = Bench(environment.BUILD, repetitions, [int(size) for size in sizes.split(",")],
                  arguments.compare_with and os.path.abspath(arguments.compare_with))
    print("Preparing the prefix, the services and the packages ...", flush=True)
    bench.set_up()
    try:
        bench.run()
    finally:
        bench.tear_down()
    if bench.completed == 0:
        sys.exit("no repetition could be completed")
    report(bench, started)


if __name__ == "__main__":
    main()
