"""Crash safety end to end: the service process is killed at seeded random
points of cycles that install a package or rewrite the settings file, and at
chosen steps inside the settings rewrite itself. Afterwards ksm.cfg is the old
or the new file, never anything else; an installer that was started is byte
for byte the verified package's content; and the next cycle runs normally.

PLUMIX_CRASH_RUNS (default 10) sets how many kills a run makes and
PLUMIX_CRASH_SEED (default 20261208) the seed; run i uses seed + i, so one
failing run can be repeated alone with PLUMIX_CRASH_SEED=<its seed> and
PLUMIX_CRASH_RUNS=1. PLUMIX_WINDOW_KILLS (default 3) sets how many kills
each step inside the settings rewrite gets."""

import os
import random
import signal
import subprocess
import sys
import threading
import time
import unittest

import environment
from environment import ADDRESS, POLICY_SILENT, SERVICE, SETTINGS
from file_events import OpenGate

ENV = None
RUNS = int(os.environ.get("PLUMIX_CRASH_RUNS", "10"))
SEED = int(os.environ.get("PLUMIX_CRASH_SEED", "20261208"))
WINDOW_KILLS = int(os.environ.get("PLUMIX_WINDOW_KILLS", "3"))

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


def wait_for_service_process(timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        pids = ENV.service_pids()
        if pids:
            return pids
        time.sleep(0.02)
    return []


def wait_stopped_after_kill():
    """True when the service manager saw the killed service end. Wine's
    service manager does not always notice a service process killed early
    in its start; its server is then restarted, which a reboot would do on
    Windows."""
    if ENV.prefix.wait_service_state(SERVICE, "STOPPED", STOPPED_AFTER_KILL_SECONDS):
        return True
    ENV.prefix.kill_server()
    assert ENV.prefix.wait_service_state(SERVICE, "STOPPED", 60), \
        "the service is not stopped even after a restart of Wine"
    return False


def kill_service():
    """Kills every process of the program in the prefix; how many there were."""
    pids = ENV.service_pids()
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    return len(pids)


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
        while ENV.service_pids() and time.monotonic() < deadline:
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
        return kill_service() > 0

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
                if not wait_stopped_after_kill():
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


class SettingsRewriteWindowTest(unittest.TestCase):
    """Kills the service at two steps inside the rewrite of ksm.cfg that the
    attempt limit makes: the moment its temporary file appears, and once that
    file is written and closed, right before the rename puts it in place.
    The kill does not race the service: the service is held in the opening
    of its temporary file until the kill has landed (fanotify). Afterwards
    ksm.cfg is whole, and the next due cycle makes the rewrite again."""

    # The openings of a temporary file that the rewrite makes: GetTempFileNameW
    # creates it (1), the store opens it to write (2), the rename opens it once
    # it is written and closed (3).
    KILL_POINTS = (("temporary file appears", 1, b""),
                   ("written, before the rename", 3, None))

    @classmethod
    def setUpClass(cls):
        reason = OpenGate.unavailable()
        if reason:
            raise unittest.SkipTest(reason)
        cls.folder = os.path.dirname(ENV.prefix.host_path(SETTINGS))

    def tearDown(self):
        ENV.stop_server()

    def temporary_files(self):
        return sorted(name for name in os.listdir(self.folder)
                      if name.lower().startswith("ksm") and name.lower().endswith(".tmp"))

    def prepare(self):
        ENV.reset()
        for name in self.temporary_files():
            os.remove(os.path.join(self.folder, name))
        ENV.start_server()
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 4)
        with open(ENV.prefix.host_path(SETTINGS), "wb") as out:
            out.write(OLD_SETTINGS)
        ENV.set_update_state(last_check=0, attempts=7)

    def kill_at_opening(self, ordinal):
        """Starts the service and kills it while it waits in the ordinal-th
        opening of a temporary file beside ksm.cfg. The seconds from the
        start to the kill, or None when the kill never came."""
        opened = []
        killed = threading.Event()

        def on_open(path):
            name = os.path.basename(path).lower()
            if not (name.startswith("ksm") and name.endswith(".tmp")):
                return
            opened.append(path)
            if len(opened) == ordinal and kill_service():
                killed.set()

        with OpenGate(self.folder, on_open):
            start = time.monotonic()
            ENV.prefix.sc("start", SERVICE)
            landed = killed.wait(60)
        return time.monotonic() - start if landed else None

    def test_kills_inside_the_rewrite_leave_whole_settings(self):
        figures = {}
        for point, ordinal, left_content in self.KILL_POINTS:
            counts = figures[point] = {"old": 0, "new": 0, "Wine restarted": 0}
            for run in range(WINDOW_KILLS):
                with self.subTest(point=point, run=run):
                    self.prepare()
                    seconds = self.kill_at_opening(ordinal)
                    self.assertIsNotNone(seconds, "no kill at the %s" % point)
                    if not wait_stopped_after_kill():
                        counts["Wine restarted"] += 1
                    settings = ENV.settings_bytes()
                    self.assertIn(settings, (OLD_SETTINGS, NOTIFY_SETTINGS), "ksm.cfg torn")
                    counts["old" if settings == OLD_SETTINGS else "new"] += 1
                    left = self.temporary_files()
                    self.assertEqual(1, len(left))
                    with open(os.path.join(self.folder, left[0]), "rb") as temporary:
                        expected = NOTIFY_SETTINGS if left_content is None else left_content
                        self.assertEqual(expected, temporary.read(), "the kill missed its step")
                    self.assertEqual(POLICY_SILENT + ["1618", "1608", "1301"],
                                     environment.install_log.event_codes(
                                         ENV.prefix.host_path(environment.SERVICE_LOG)))
                    sys.stderr.write("%s, run %d: killed %.2f s after the start\n" % (
                        point, run, seconds))
                    self.assertNextCycleRewrites()
        print("\nkills inside the settings rewrite, ksm.cfg left: %s" % figures)

    def assertNextCycleRewrites(self):
        """The next due cycle meets the attempt limit again and now writes the
        new file whole."""
        ENV.forget_service_log()
        ENV.set_update_state(last_check=0)
        ENV.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1301", "1625", "1612", "1620"],
                         ENV.service_events())
        self.assertEqual(NOTIFY_SETTINGS, ENV.settings_bytes())
        self.assertEqual(7, ENV.update_state()[1])


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
