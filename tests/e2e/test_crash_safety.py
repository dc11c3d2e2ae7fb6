"""Crash safety end to end: the service process is killed at seeded random
points of cycles that install a package or rewrite the settings file.
Afterwards ksm.cfg is the old or the new file, never anything else; an
installer that was started is byte for byte the verified package's content;
and the next cycle runs normally.

PLUMIX_CRASH_RUNS (default 10) sets how many kills a run makes and
PLUMIX_CRASH_SEED (default 20261208) the seed; run i uses seed + i, so one
failing run can be repeated alone with PLUMIX_CRASH_SEED=<its seed> and
PLUMIX_CRASH_RUNS=1."""

import os
import random
import signal
import subprocess
import sys
import time
import unittest

import environment
from environment import ADDRESS, POLICY_SILENT, SERVICE, SETTINGS

ENV = None
RUNS = int(os.environ.get("PLUMIX_CRASH_RUNS", "10"))
SEED = int(os.environ.get("PLUMIX_CRASH_SEED", "20261208"))

# An administrator's file with more than the service's own keys, so that a
# torn or mixed write could not pass for either whole file.
OTHER_KEYS = "".join("Site%03d=keep this line %03d\n" % (n, n) for n in range(150))
OLD_SETTINGS = ("SilentAutoUpdateEnable=1\nSilentAutoUpdateVerboseLogging=1\n"
                "SilentAutoUpdateServerDomain=%s\n" % ADDRESS + OTHER_KEYS).encode()
# The same entries after a switch to notify mode, one CR LF line each. The
# file's order is the settings store's own, so the whole new file is taken
# from one complete save (see setUpModule).
NOTIFY_LINES = sorted([b"AutoUpdateDisable=0", b"SilentAutoUpdateEnable=0",
                       b"SilentAutoUpdateVerboseLogging=1",
                       b"SilentAutoUpdateServerDomain=" + ADDRESS.encode()] +
                      OTHER_KEYS.encode().splitlines())
NOTIFY_SETTINGS = None
POLICY_NOTIFY = ["1628 " + ADDRESS, "1629 " + ADDRESS, "1614", "1616"]
INSTALL_CYCLE = POLICY_SILENT + ["1618", "1608", "1600", "1602", "1609", "1612", "1620"]
GATED_CYCLE = POLICY_NOTIFY + ["1618", "1608", "1625", "1612", "1620"]
# How long the service manager gets to notice a killed service.
STOPPED_AFTER_KILL_SECONDS = 5
PROCESS_NAME = b"PlumixPlayerUpdateService.exe"


def setUpModule():
    global ENV, NOTIFY_SETTINGS
    ENV = environment.Environment(os.path.join(environment.BUILD, "e2e", "crash-safety"))
    ENV.set_up()
    ENV.reset()
    with open(ENV.prefix.host_path(SETTINGS), "wb") as out:
        out.write(OLD_SETTINGS)
    assert ENV.run_switch("-setNotifyAutoUpdate") == 0
    NOTIFY_SETTINGS = ENV.settings_bytes()
    assert NOTIFY_SETTINGS.endswith(b"\r\n"), NOTIFY_SETTINGS
    assert sorted(NOTIFY_SETTINGS[:-2].split(b"\r\n")) == NOTIFY_LINES, NOTIFY_SETTINGS


def tearDownModule():
    ENV.tear_down()


def service_pids():
    """Linux pids of the Wine processes that run the program in this test's
    prefix (never those of other prefixes on the machine)."""
    prefix = b"WINEPREFIX=" + os.fsencode(ENV.prefix.path)
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as cmdline:
                if PROCESS_NAME not in cmdline.read():
                    continue
            with open("/proc/%s/environ" % entry, "rb") as environ:
                if prefix in environ.read().split(b"\0"):
                    pids.append(int(entry))
        except OSError:
            continue
    return pids


def wait_for_service_process(timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        pids = service_pids()
        if pids:
            return pids
        time.sleep(0.02)
    return []


class CrashSafetyTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        ENV.reset()
        ENV.serve_installer_package("ActiveX", "10.2.0.1")
        with open(os.path.join(ENV.root, *environment.PACKAGE_PATHS[("ActiveX", False)]
                               .strip("/").split("/")), "rb") as package:
            cls.package = package.read()
        with open(os.path.join(ENV.work, "installer-ActiveX.exe"), "rb") as installer:
            cls.installer = installer.read()
        cls.kill_window = cls.measure_cycle()

    @classmethod
    def measure_cycle(cls):
        """Seconds from the service process's appearance to its end in one
        cycle that installs: the kills spread over this time and a little
        beyond."""
        cls.prepare(0)
        ENV.prefix.sc("start", SERVICE)
        wait_for_service_process()
        start = time.monotonic()
        deadline = start + 60
        while service_pids() and time.monotonic() < deadline:
            time.sleep(0.02)
        duration = time.monotonic() - start
        ENV.prefix.wait_service_state(SERVICE, "STOPPED")
        ENV.stop_server()
        print("\none installing cycle took %.2f s" % duration)
        return duration * 1.1

    def tearDown(self):
        ENV.stop_server()

    @classmethod
    def prepare(cls, attempts):
        ENV.reset()
        ENV.start_server()
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 4)
        ENV.serve(environment.PACKAGE_PATHS[("ActiveX", False)], cls.package)
        with open(ENV.prefix.host_path(SETTINGS), "wb") as out:
            out.write(OLD_SETTINGS)
        ENV.set_installed("ActiveX", "10.1.0.5")
        ENV.set_update_state(last_check=0, attempts=attempts)

    def start_and_kill(self, delay):
        """Starts the service through its manager and kills its process delay
        seconds after it appears. None when the process was never seen,
        else whether it was still running at the kill."""
        for _ in range(3):
            result = ENV.prefix.sc("start", SERVICE)
            if "1055" not in result.stdout + result.stderr:
                break
            time.sleep(5)
        if not wait_for_service_process():
            return None
        time.sleep(delay)
        pids = service_pids()
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        return bool(pids)

    def wait_stopped_after_kill(self):
        """True when the service manager saw the killed service end. Wine's
        service manager does not always notice a service process killed
        early in its start; its server is then restarted, which a reboot
        would do on Windows."""
        if ENV.prefix.wait_service_state(SERVICE, "STOPPED", STOPPED_AFTER_KILL_SECONDS):
            return True
        ENV.prefix.kill_server()
        self.assertTrue(ENV.prefix.wait_service_state(SERVICE, "STOPPED", 60),
                        "the service is not stopped even after a restart of Wine")
        return False

    def assertInstallerWhole(self, run_seed):
        """A started installer ran from the complete, verified content."""
        events = environment.install_log.event_codes(ENV.prefix.host_path(environment.SERVICE_LOG))
        if ENV.installer_exists():
            # A process created just before the kill writes its record a
            # moment later.
            deadline = time.monotonic() + 5
            while ENV.installer_record() is None and time.monotonic() < deadline:
                time.sleep(0.2)
        if ENV.installer_record() is not None:
            with open(ENV.prefix.host_path(environment.INSTALLER), "rb") as started:
                self.assertEqual(self.installer, started.read(),
                                 "seed %d: an installer ran from an incomplete file" % run_seed)
        if "1602" in events:
            self.assertIsNotNone(ENV.wait_installer_record(30),
                                 "seed %d: 1602 logged but no installer ran" % run_seed)

    def recover(self, settings):
        """The next cycle after a kill, from a due state, with whatever
        settings file the kill left."""
        ENV.stop_server()
        ENV.reset()
        with open(ENV.prefix.host_path(SETTINGS), "wb") as out:
            out.write(settings)
        ENV.start_server()
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 4)
        ENV.serve(environment.PACKAGE_PATHS[("ActiveX", False)], self.package)
        ENV.set_installed("ActiveX", "10.1.0.5")
        ENV.set_update_state(last_check=0, attempts=0)
        before = ENV.temporary_entries()
        ENV.run_scheduled_start()
        return ENV.service_events(), before

    def test_killed_cycles_leave_whole_settings_and_no_partial_installer(self):
        outcomes = {"settings old": 0, "settings new": 0, "installer started": 0,
                    "temporary entries left by the kill": 0, "ended before the kill": 0,
                    "Wine restarted to stop the service": 0}
        # The last event each killed cycle wrote: where the kills fell.
        kill_points = {}
        for run in range(RUNS):
            run_seed = SEED + run
            rng = random.Random(run_seed)
            rewrites = rng.random() < 0.3
            delay = rng.uniform(0.0, self.kill_window)
            with self.subTest(seed=run_seed, rewrites_settings=rewrites, delay=round(delay, 3)):
                self.prepare(7 if rewrites else rng.randint(0, 5))
                temporary_before = ENV.temporary_entries()
                killed = self.start_and_kill(delay)
                self.assertIsNotNone(killed, "seed %d: no service process" % run_seed)
                if not killed:
                    outcomes["ended before the kill"] += 1
                if not self.wait_stopped_after_kill():
                    outcomes["Wine restarted to stop the service"] += 1
                events = environment.install_log.event_codes(
                    ENV.prefix.host_path(environment.SERVICE_LOG))
                point = events[-1].split(" ")[0] if events else "(nothing logged)"
                if killed:
                    kill_points[point] = kill_points.get(point, 0) + 1
                settings = ENV.settings_bytes()
                allowed = (OLD_SETTINGS, NOTIFY_SETTINGS) if rewrites else (OLD_SETTINGS,)
                self.assertIn(settings, allowed, "seed %d: ksm.cfg torn or mixed" % run_seed)
                outcomes["settings old" if settings == OLD_SETTINGS else "settings new"] += 1
                self.assertInstallerWhole(run_seed)
                if ENV.installer_record() is not None:
                    outcomes["installer started"] += 1
                if ENV.temporary_entries() - temporary_before:
                    outcomes["temporary entries left by the kill"] += 1
                sys.stderr.write("seed %d: %s, kill after %.3f s, %s, last event %s, settings %s\n" % (
                    run_seed, "attempt limit" if rewrites else "install", delay,
                    "killed" if killed else "had ended", point if killed else "-",
                    "old" if settings == OLD_SETTINGS else "new"))
                sys.stderr.flush()
                events, before = self.recover(settings)
                expected = INSTALL_CYCLE if settings == OLD_SETTINGS else GATED_CYCLE
                self.assertEqual(expected, events, "seed %d: the next cycle" % run_seed)
                self.assertEqual(before, ENV.temporary_entries())
                if expected is INSTALL_CYCLE:
                    self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9",
                                     ENV.wait_installer_record())
        print("\n%d cycles from seed %d: %s\nlast event before each kill: %s"
              % (RUNS, SEED, outcomes, dict(sorted(kill_points.items()))))


class RefusedSettingsWriteTest(unittest.TestCase):
    """A mode switch whose new settings file cannot be written keeps the old
    file whole. The host makes the folder or the file immutable, which stops
    even root (and so Wine running as root) from changing it."""

    def setUp(self):
        ENV.reset()
        self.folder = os.path.dirname(ENV.prefix.host_path(SETTINGS))
        self.log = ENV.prefix.host_path(environment.CONSOLE_LOG)
        with open(ENV.prefix.host_path(SETTINGS), "wb") as out:
            out.write(OLD_SETTINGS)
        # The log must exist before its folder is frozen, as lines can then
        # still be appended.
        open(self.log, "ab").close()
        self.frozen = None

    def tearDown(self):
        if self.frozen:
            subprocess.run(["chattr", "-i", self.frozen], check=False)

    def freeze(self, path):
        result = subprocess.run(["chattr", "+i", path], capture_output=True, text=True)
        if result.returncode != 0:
            self.skipTest("this file system cannot make files immutable: " + result.stderr)
        self.frozen = path

    def test_old_settings_survive_when_the_write_is_refused(self):
        for frozen in ("folder", "file"):
            with self.subTest(frozen=frozen):
                self.setUp()
                self.freeze(self.folder if frozen == "folder" else ENV.prefix.host_path(SETTINGS))
                entries = sorted(os.listdir(self.folder))
                # The switch's result never changes the exit code.
                self.assertEqual(0, ENV.run_switch("-setNotifyAutoUpdate"))
                self.assertEqual(OLD_SETTINGS, ENV.settings_bytes())
                self.assertEqual(entries, sorted(os.listdir(self.folder)), "a temporary file was left")
                self.assertEqual(1001, ENV.run_switch("-isSAUEnabled"))
                self.tearDown()
                self.frozen = None
                self.assertEqual(0, ENV.run_switch("-setNotifyAutoUpdate"))
                self.assertEqual(NOTIFY_SETTINGS, ENV.settings_bytes())


if __name__ == "__main__":
    unittest.main()
