"""Concurrency end to end: stop controls and console switches that arrive
while the service is in the middle of a slow package download."""

import os
import time
import unittest

import environment
from environment import ADDRESS, SERVICE, SILENT_VERBOSE

ENV = None

INSTALL_CYCLE = ["1628 " + ADDRESS, "1629 " + ADDRESS, "1614", "1615", "1618", "1608",
                 "1600", "1602", "1609", "1612", "1620"]
NOTIFY = (b"AutoUpdateDisable=0\r\nSilentAutoUpdateEnable=0\r\n"
          b"SilentAutoUpdateVerboseLogging=1\r\n"
          b"SilentAutoUpdateServerDomain=" + ADDRESS.encode() + b"\r\n")
STOP_CONTROLS = 6
# How long another program holds the service log: longer than a whole cycle.
LOG_HOLD_SECONDS = 180


def setUpModule():
    global ENV
    ENV = environment.Environment(os.path.join(environment.BUILD, "e2e", "concurrency"))
    ENV.set_up()


def tearDownModule():
    ENV.tear_down()


class ConcurrencyTest(unittest.TestCase):
    def setUp(self):
        ENV.reset()
        ENV.start_server()
        # The package trickles in over several seconds.
        ENV.set_faults({environment.PACKAGE_PATHS[("ActiveX", False)]: "slow"})
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_installed("ActiveX", "10.1.0.5")
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 4)
        ENV.serve_installer_package("ActiveX", "10.2.0.1")

    def tearDown(self):
        ENV.stop_server()

    def start_and_wait_for_download(self):
        """Starts the service and returns once its package request is in."""
        self.assertEqual(0, ENV.prefix.sc("start", SERVICE).returncode)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if len(ENV.requests()) == 2:
                return
            time.sleep(0.1)
        self.fail("the package was never requested")

    def wait_stopped(self):
        self.assertTrue(ENV.prefix.wait_service_state(SERVICE, "STOPPED", 120))
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and "1620" not in ENV.service_events():
            time.sleep(0.2)

    def test_repeated_stop_controls_let_the_cycle_finish(self):
        self.start_and_wait_for_download()
        for _ in range(STOP_CONTROLS):
            ENV.prefix.sc("stop", SERVICE)
            time.sleep(0.3)
        self.wait_stopped()
        events = ENV.service_events()
        stops = [event for event in events if event in ("1622 1", "1623")]
        # Every stop control the service took is logged as a pair, and all
        # of them arrived while the package was coming in.
        self.assertGreaterEqual(events.count("1622 1"), 1)
        self.assertLessEqual(events.count("1622 1"), STOP_CONTROLS)
        self.assertEqual(events.count("1622 1"), events.count("1623"))
        self.assertEqual(INSTALL_CYCLE, [e for e in events if e not in stops])
        first, last = events.index(stops[0]), len(events) - 1 - events[::-1].index(stops[-1])
        self.assertLess(events.index("1600"), first)
        self.assertLess(last, events.index("1602"))
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())

    def test_console_switches_during_a_cycle_change_only_the_settings(self):
        self.start_and_wait_for_download()
        self.assertEqual(1001, ENV.run_switch("-isSAUEnabled"))
        self.assertEqual(0, ENV.run_switch("-setNotifyAutoUpdate"))
        self.assertEqual(0, ENV.run_switch("-isSAUEnabled"))
        self.assertIn("1600", ENV.service_events())
        self.assertNotIn("1602", ENV.service_events(), "the download ended before the switches")
        self.wait_stopped()
        # The service read its settings when it started; the cycle goes on
        # to install, and the administrator's new mode stays in the file.
        self.assertEqual(INSTALL_CYCLE, ENV.service_events())
        self.assertEqual(NOTIFY, ENV.settings_bytes())
        self.assertEqual([], ENV.console_events())
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())


    def test_log_held_by_another_program_loses_its_lines_not_the_cycle(self):
        ENV.set_faults({})
        holder = ENV.hold_service_log(LOG_HOLD_SECONDS)
        try:
            start = time.monotonic()
            ENV.run_scheduled_start(last_event=None)
            self.assertTrue(ENV.wait_service_process_gone())
            seconds = time.monotonic() - start
            self.assertIsNone(holder.poll(), "the hold ended before the cycle")
        finally:
            holder.kill()
            holder.wait(timeout=30)
            holder.stdout.close()
        self.assertLess(seconds, LOG_HOLD_SECONDS)
        # Every line of the cycle was lost; everything else happened.
        self.assertEqual([], ENV.service_events())
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())
        self.assertEqual("10.2.0.1", ENV.installed_version("ActiveX"))
        last_check, attempts = ENV.update_state()
        self.assertGreater(last_check, environment.now_filetime() - environment.FILETIME_PER_HOUR)
        self.assertEqual(1, attempts)
        self.assertEqual(SILENT_VERBOSE.encode(), ENV.settings_bytes())
        self.assertIsNone(ENV.task(), "a cycle that installed re-registered the task")
        self.assertEqual([environment.MANIFEST_PATH, environment.PACKAGE_PATHS[("ActiveX", False)]],
                         [r["path"] for r in ENV.requests()])


if __name__ == "__main__":
    unittest.main()
