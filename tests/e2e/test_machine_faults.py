"""Faults of the machine itself, end to end: a disk that fills, a folder that
cannot be written, registry state that cannot be stored, a clock that is
wrong. The disks are real: the whole module runs in private mount and network
namespaces, where a folder of the prefix is put on a small file system or
made read-only, and the Wine server, the service and the update server all
run inside. Each case checks the exact events, what is left on disk, and the
next cycle once the fault is gone."""

import ntpath
import os
import re
import unittest

import environment
import private_mounts
from environment import (CONSOLE_DIR, FILETIME_PER_HOUR, POLICY_SILENT, PROGRAM, SERVICE_END,
                         SERVICE_LOG, SILENT_VERBOSE, now_filetime)

ENV = None

CYCLE_START = POLICY_SILENT + ["1618", "1608"]
INSTALLED = ["1600", "1602", "1609"] + SERVICE_END
# A download folder or an installer file that the disk cannot hold. Windows
# reports a full volume as ERROR_DISK_FULL, some file systems as
# ERROR_HANDLE_DISK_FULL.
DISK_FULL = ("112", "39")
# Wine reports a read-only file system as ERROR_ACCESS_DENIED (Windows: the
# same for a folder its permissions close, ERROR_WRITE_PROTECT for media).
ACCESS_DENIED = "5"
# The task refresh of Task Scheduler 1.0 (Windows XP mode): a new task, or an
# update of the one an earlier cycle of the same test registered.
TASK_CREATED = "1625"
TASK_UPDATED = "1624"
FILETIME_PER_DAY = 24 * FILETIME_PER_HOUR
FILETIME_PER_YEAR = 365 * FILETIME_PER_DAY
# An administrator's file with keys of its own besides the service's.
ADMIN_SETTINGS = (SILENT_VERBOSE + "SiteProxy=proxy.corp.example\nSiteNote=keep me\n").encode()
# Room enough for the log, the task and the settings, not for an installer.
ROOM_WITHOUT_AN_INSTALLER = 256 * 1024
STATE_SUBKEY = environment.STATE_KEY.split("\\", 1)[1]


def setUpModule():
    global ENV
    private_mounts.enter_private_namespaces()
    ENV = environment.Environment(os.path.join(environment.BUILD, "e2e", "machine-faults"))
    ENV.set_up()


def tearDownModule():
    if ENV is not None:
        ENV.tear_down()


def settings_folder_entries(folder):
    """The settings folder's entries but for the install log of a program
    started from a console in the system folder, which lands there too."""
    return sorted(name for name in os.listdir(folder) if name != "PlumixInstall.log")


def refused_writes(folder, fault):
    """The context that makes folder refuse writes: "full" or "read-only"."""
    if fault == "full":
        return private_mounts.full_disk(folder)
    return private_mounts.read_only(folder)


class MachineFaultTest(unittest.TestCase):
    def setUp(self):
        ENV.reset()

    def tearDown(self):
        ENV.stop_server()

    def serve_update(self):
        """A silently updating machine with an older ActiveX variant and a
        server that offers the newer one."""
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_installed("ActiveX", "10.1.0.5")
        if ENV.server is None:
            ENV.start_server()
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 4)
        ENV.serve_installer_package("ActiveX", "10.2.0.1")

    def next_due_cycle(self):
        """The next due check, as it comes a day later: the events of a cycle
        from a last check of 0."""
        ENV.forget_service_log()
        ENV.set_update_state(last_check=0)
        ENV.run_scheduled_start()
        return ENV.service_events()

    def assertCheckedJustNow(self, attempts):
        """The check time is now, and the attempts count as given."""
        last_check, counted = ENV.update_state()
        self.assertIsNotNone(last_check)
        self.assertLess(abs(now_filetime() - last_check), FILETIME_PER_HOUR // 60)
        self.assertEqual(attempts, counted)

    def assertNothingStarted(self):
        self.assertFalse(ENV.installer_exists(), "an installer file was left")
        self.assertIsNone(ENV.installer_record(), "an installer was started")
        self.assertEqual("10.1.0.5", ENV.installed_version("ActiveX"))

    def assertInstalled(self):
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())
        self.assertEqual("10.2.0.1", ENV.installed_version("ActiveX"))

    def assertDownloadFailed(self, events, line):
        """A cycle whose download failed for want of room with line (1212 or
        1216), counted, nothing started; the next cycle installs."""
        self.assertEqual(CYCLE_START + ["1600"], events[:7])
        self.assertIn(events[7], [line + " " + error for error in DISK_FULL])
        self.assertRegex(events[8], r"^1234 -?\d+$")
        self.assertEqual([TASK_CREATED] + SERVICE_END, events[9:])
        self.assertNothingStarted()
        self.assertCheckedJustNow(attempts=1)
        self.assertEqual(CYCLE_START + INSTALLED, self.next_due_cycle())
        self.assertInstalled()

    # -- the download folder and the installer file --------------------------

    def test_download_folder_that_fills_fails_the_download_and_leaves_nothing(self):
        self.serve_update()
        temporary = ENV.temporary_folder()
        with private_mounts.small_disk(temporary, ROOM_WITHOUT_AN_INSTALLER):
            ENV.run_scheduled_start()
            self.assertEqual([], os.listdir(temporary), "the download folder was left")
        self.assertDownloadFailed(ENV.service_events(), "1212")

    def test_disk_that_fills_under_the_installer_file_leaves_no_part_of_it(self):
        self.serve_update()
        windows = ENV.prefix.host_path("C:\\windows")
        with private_mounts.small_overlay(windows, ROOM_WITHOUT_AN_INSTALLER,
                                          os.path.join(ENV.work, "overlay")):
            ENV.run_scheduled_start()
            # The partial file is gone, so the task could be saved again.
            self.assertNothingStarted()
            events, task = ENV.service_events(), ENV.task()
        self.assertEqual(240, task["triggers"][0]["minutes_interval"])
        self.assertDownloadFailed(events, "1216")

    def test_read_only_system_folder_starts_nothing_and_counts_the_attempt(self):
        """The service's current directory, where the installer, the log and
        the task land, is read-only: nothing of them can be written, so the
        registry shows what the cycle did."""
        self.serve_update()
        windows = ENV.prefix.host_path("C:\\windows")
        with private_mounts.read_only(windows):
            ENV.run_scheduled_start(last_event=None)
            self.assertNothingStarted()
            self.assertEqual([], ENV.service_events())
        self.assertCheckedJustNow(attempts=1)
        self.assertEqual(CYCLE_START + INSTALLED, self.next_due_cycle())
        self.assertInstalled()

    # -- the settings file ------------------------------------------------

    def test_attempt_limit_and_mode_switch_keep_the_settings_whole_when_they_cannot_be_written(
            self):
        """The attempt limit's switch to notify mode, and -setNotifyAutoUpdate
        from a console, with the settings folder full or read-only."""
        folder = os.path.dirname(ENV.prefix.host_path(ENV.settings))
        for fault, errors in (("full", DISK_FULL), ("read-only", (ACCESS_DENIED,))):
            with self.subTest(fault=fault):
                ENV.reset()
                self.serve_update()
                ENV.write_settings(ADMIN_SETTINGS.decode())
                ENV.set_update_state(last_check=0, attempts=7)
                refused = ["1310 " + code for code in errors]
                with refused_writes(folder, fault):
                    entries = settings_folder_entries(folder)
                    ENV.run_scheduled_start()
                    switch = ENV.prefix.run([PROGRAM, "-setNotifyAutoUpdate"],
                                            cwd=ENV.prefix.host_path(CONSOLE_DIR))
                    self.assertEqual(0, switch.returncode)
                    self.assertEqual(ADMIN_SETTINGS, ENV.settings_bytes())
                    self.assertEqual(entries, settings_folder_entries(folder),
                                     "a temporary file was left")
                # Under Wine the service's log lies elsewhere than the settings,
                # and records the failure; the switch's would lie in the folder
                # that cannot be written, so its line reaches the console only.
                events = ENV.service_events()
                self.assertEqual(CYCLE_START + ["1301"], events[:7])
                self.assertIn(events[7], refused)
                self.assertEqual([TASK_CREATED] + SERVICE_END, events[8:])
                self.assertNothingStarted()
                echoed = re.findall(r"\[error\] (\d{4} -?\d+)", switch.stdout)
                self.assertEqual(1, len(echoed), switch.stdout)
                self.assertIn(echoed[0], refused)
                self.assertEqual(1001, ENV.run_switch("-isSAUEnabled"))
        notify = self.next_due_cycle()
        self.assertEqual(CYCLE_START + ["1301", TASK_UPDATED] + SERVICE_END, notify)
        self.assertIn(b"SilentAutoUpdateEnable=0\r\n", ENV.settings_bytes())
        self.assertIn(b"SiteNote=keep me\r\n", ENV.settings_bytes())
        self.assertEqual(0, ENV.run_switch("-setSilentAutoUpdate"))
        self.assertEqual(1001, ENV.run_switch("-isSAUEnabled"))

    # -- the install log --------------------------------------------------

    def test_cycle_does_its_work_when_the_log_cannot_be_written(self):
        folder = ENV.prefix.host_path(ntpath.dirname(SERVICE_LOG))
        for fault in ("full", "read-only"):
            with self.subTest(fault=fault):
                ENV.reset()
                self.serve_update()
                with refused_writes(folder, fault):
                    ENV.run_scheduled_start(last_event=None)
                    self.assertEqual([], ENV.service_events())
                self.assertInstalled()
                self.assertCheckedJustNow(attempts=1)
        # Once the log can be written again, the next cycle's lines are there:
        # the installed version is current, so the task is refreshed.
        self.assertEqual(CYCLE_START + [TASK_CREATED] + SERVICE_END, self.next_due_cycle())
        self.assertEqual(240, ENV.task()["triggers"][0]["minutes_interval"])

    # -- the registry state -------------------------------------------------

    def key_access(self, action):
        tool = os.path.join(environment.BUILD, "tests", "key-access.exe")
        result = ENV.prefix.run([tool, action, STATE_SUBKEY])
        self.assertEqual(0, result.returncode, result.stderr)

    def test_state_that_cannot_be_stored_is_logged_and_the_cycle_goes_on(self):
        """Wine enforces a key's permissions: writes refused to everybody are
        refused to the service too. Nothing stops the install; uncounted, it
        is tried at every start until the state can be stored."""
        self.serve_update()
        ENV.set_update_state(last_check=0, attempts=2)
        self.key_access("refuse-writes")
        try:
            ENV.run_scheduled_start()
            refused = ["1311 " + ACCESS_DENIED, "1312 " + ACCESS_DENIED]
            self.assertEqual(CYCLE_START + refused + INSTALLED, ENV.service_events())
            self.assertInstalled()
            self.assertEqual((0, 2), ENV.update_state())
            # Still due at the next start; nothing left to install.
            ENV.forget_service_log()
            ENV.run_scheduled_start()
            self.assertEqual(CYCLE_START + refused[:1] + [TASK_CREATED] + SERVICE_END,
                             ENV.service_events())
        finally:
            self.key_access("allow-writes")
        self.assertEqual(CYCLE_START + [TASK_UPDATED] + SERVICE_END, self.next_due_cycle())
        self.assertCheckedJustNow(attempts=2)

    # -- a clock that is wrong ----------------------------------------------

    def test_check_stored_by_a_clock_that_was_ahead_waits_until_the_remedy(self):
        """A check made while the clock was a day or a year ahead stored that
        time; with the clock right again, nothing is checked until it has
        passed and 24 hours more. -createDefaultTask stores 0."""
        self.serve_update()
        for ahead, task in ((FILETIME_PER_DAY, TASK_CREATED), (FILETIME_PER_YEAR, TASK_UPDATED)):
            with self.subTest(ahead_days=ahead // FILETIME_PER_DAY):
                ENV.forget_service_log()
                last_check = now_filetime() + ahead
                ENV.set_update_state(last_check=last_check, attempts=0)
                ENV.run_scheduled_start()
                self.assertEqual(CYCLE_START + [task] + SERVICE_END, ENV.service_events())
                self.assertEqual([], ENV.requests())
                self.assertEqual((last_check, 0), ENV.update_state())
        self.assertEqual(0, ENV.run_switch("-createDefaultTask"))
        self.assertEqual((0, 0), ENV.update_state())
        ENV.forget_service_log()
        ENV.run_scheduled_start()
        self.assertEqual(CYCLE_START + INSTALLED, ENV.service_events())
        self.assertInstalled()


if __name__ == "__main__":
    unittest.main()
