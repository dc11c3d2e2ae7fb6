"""The service's update cycle end to end: the real executable installed as a
service in a Windows XP mode prefix, started the way its scheduled task
starts it, against the local update server."""

import os
import re
import unittest

import environment
from environment import (ADDRESS, FILETIME_PER_HOUR, POLICY_SILENT, SERVICE_END, SILENT_VERBOSE,
                         now_filetime)

ENV = None



def setUpModule():
    global ENV
    ENV = environment.Environment(os.path.join(environment.BUILD, "e2e", "cycle"))
    ENV.set_up()


def tearDownModule():
    ENV.tear_down()


class UpdateCycleTest(unittest.TestCase):
    def setUp(self):
        ENV.reset()

    def tearDown(self):
        ENV.stop_server()

    def assertTaskInterval(self, minutes):
        task = ENV.task()
        self.assertIsNotNone(task, "no scheduled task")
        self.assertEqual(environment.PROGRAM, task["application"])
        self.assertEqual(1, len(task["triggers"]))
        trigger = task["triggers"][0]
        self.assertEqual(minutes, trigger["minutes_interval"])
        self.assertEqual(1440, trigger["minutes_duration"])
        self.assertEqual((2000, 1, 1), trigger["begin"])
        self.assertLessEqual(trigger["start_hour"], 3)

    def assertCheckedJustNow(self, last_check):
        self.assertIsNotNone(last_check)
        self.assertLess(abs(now_filetime() - last_check), FILETIME_PER_HOUR // 60)

    # -- policy gate ------------------------------------------------------

    def test_policy_gate_stops_the_cycle_before_any_request(self):
        cases = [
            ("AutoUpdateDisable=1\nSilentAutoUpdateEnable=1\n", ["1613", "1615"]),
            ("SilentAutoUpdateEnable=0\n", ["1614", "1616"]),
            ("", ["1614", "1616"]),
        ]
        for settings, policy in cases:
            with self.subTest(settings=settings):
                ENV.reset()
                ENV.start_server()
                ENV.write_settings(settings + "SilentAutoUpdateVerboseLogging=1\n"
                                   "SilentAutoUpdateServerDomain=%s\n" % ADDRESS)
                ENV.serve_manifest("99.0.0.0", "99.0.0.0", 4)
                ENV.set_installed("ActiveX", "1.0.0.0")
                ENV.run_scheduled_start()
                self.assertEqual(["1628 " + ADDRESS, "1629 " + ADDRESS] + policy +
                                 ["1618", "1608", "1625"] + SERVICE_END, ENV.service_events())
                self.assertEqual([], ENV.requests())
                self.assertEqual((None, None), ENV.update_state())
                self.assertTaskInterval(60)

    # -- due test -----------------------------------------------------------

    def test_check_ten_hours_ago_is_not_due(self):
        ENV.start_server()
        ENV.write_settings(SILENT_VERBOSE)
        last = now_filetime() - 10 * FILETIME_PER_HOUR
        ENV.set_update_state(last_check=last, attempts=2)
        ENV.serve_manifest("99.0.0.0", "99.0.0.0", 4)
        ENV.set_installed("ActiveX", "1.0.0.0")
        ENV.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1625"] + SERVICE_END,
                         ENV.service_events())
        self.assertEqual([], ENV.requests())
        self.assertEqual((last, 2), ENV.update_state())
        self.assertTaskInterval(60)

    def test_missing_or_zero_last_check_is_due_at_once(self):
        for last in (None, 0):
            with self.subTest(last_check=last):
                ENV.reset()
                ENV.start_server()
                ENV.write_settings(SILENT_VERBOSE)
                ENV.set_update_state(last_check=last)
                ENV.serve_manifest("10.2.0.1", "10.2.0.1", 2)
                ENV.run_scheduled_start()
                self.assertEqual(POLICY_SILENT + ["1618", "1608", "1625"] + SERVICE_END,
                                 ENV.service_events())
                requests = ENV.requests()
                self.assertEqual(1, len(requests))
                self.assertEqual(environment.MANIFEST_PATH, requests[0]["path"])
                self.assertEqual("Get Plumix Player version xml/1.0", requests[0]["user_agent"])
                self.assertCheckedJustNow(ENV.update_state()[0])
                self.assertTaskInterval(120)

    # -- fetch ----------------------------------------------------------------

    def test_server_down_keeps_last_check_and_refreshes_hourly(self):
        ENV.write_settings(SILENT_VERBOSE)
        last = now_filetime() - 30 * FILETIME_PER_HOUR
        ENV.set_update_state(last_check=last)
        ENV.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1403 12029", "1407 12029", "1408",
                                          "1625"] + SERVICE_END, ENV.service_events())
        self.assertEqual((last, None), ENV.update_state())
        self.assertTaskInterval(60)

    def test_both_variants_current_stores_the_check_and_the_frequency(self):
        ENV.start_server()
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_update_state(attempts=3)
        ENV.set_installed("ActiveX", "10.2.154.25")
        ENV.set_installed("Plugin", "10.2.154.25")
        ENV.serve_manifest("10.2.154.25", "10.1.999.999", 4)
        ENV.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1625"] + SERVICE_END,
                         ENV.service_events())
        last, attempts = ENV.update_state()
        self.assertCheckedJustNow(last)
        self.assertEqual(3, attempts)
        self.assertTaskInterval(240)
        self.assertEqual([environment.MANIFEST_PATH], [r["path"] for r in ENV.requests()])

    def test_malformed_manifest_ends_the_check(self):
        ENV.start_server()
        ENV.write_settings(SILENT_VERBOSE)
        ENV.serve(environment.MANIFEST_PATH, b"<html><body>Not the manifest</body>")
        ENV.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1410", "1409", "1625"] + SERVICE_END,
                         ENV.service_events())
        self.assertEqual((None, None), ENV.update_state())
        self.assertTaskInterval(60)

    # -- attempt limit ------------------------------------------------------

    def test_seventh_attempt_switches_to_notify_mode(self):
        ENV.start_server()
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_update_state(attempts=7)
        ENV.set_installed("ActiveX", "10.2.0.1")
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 2)
        ENV.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1301", "1625"] + SERVICE_END,
                         ENV.service_events())
        self.assertEqual(b"AutoUpdateDisable=0\r\nSilentAutoUpdateEnable=0\r\n"
                         b"SilentAutoUpdateVerboseLogging=1\r\n"
                         b"SilentAutoUpdateServerDomain=" + ADDRESS.encode() + b"\r\n",
                         ENV.settings_bytes())
        self.assertEqual(7, ENV.update_state()[1])
        self.assertTaskInterval(120)


    # -- install ------------------------------------------------------------

    def test_older_activex_is_installed_and_the_task_left_alone(self):
        ENV.start_server()
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_installed("ActiveX", "10.1.0.5")
        ENV.set_installed("Plugin", "1.0.0.0")
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 4)
        ENV.serve_installer_package("ActiveX", "10.2.0.1")
        ENV.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1600", "1602", "1609"] + SERVICE_END,
                         ENV.service_events())
        last, attempts = ENV.update_state()
        self.assertCheckedJustNow(last)
        self.assertEqual(1, attempts)
        self.assertIsNone(ENV.task())
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())
        self.assertEqual("10.2.0.1", ENV.installed_version("ActiveX"))
        self.assertEqual([environment.MANIFEST_PATH, environment.PACKAGE_PATHS[("ActiveX", False)]],
                         [r["path"] for r in ENV.requests()])
        self.assertEqual("Download Plumix Player Installer/1.0", ENV.requests()[1]["user_agent"])
        self.assertEqual("http", ENV.requests()[1]["scheme"])

    def test_debugger_build_is_skipped_and_the_plugin_installed(self):
        ENV.start_server()
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_installed("ActiveX", "10.0.0.1", debugger=1)
        ENV.set_installed("Plugin", "10.1.0.5")
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 4)
        ENV.serve_installer_package("Plugin", "10.2.0.1")
        ENV.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1601", "1602", "1610"] + SERVICE_END,
                         ENV.service_events())
        self.assertEqual(1, ENV.update_state()[1])
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())
        self.assertEqual("10.0.0.1", ENV.installed_version("ActiveX"))

    def test_sixth_attempt_with_a_newer_version_still_installs(self):
        ENV.start_server()
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_update_state(attempts=6)
        ENV.set_installed("ActiveX", "10.1.0.5")
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 4)
        ENV.serve_installer_package("ActiveX", "10.2.0.1")
        ENV.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1600", "1602", "1609"] + SERVICE_END,
                         ENV.service_events())
        self.assertEqual(7, ENV.update_state()[1])

    def test_refused_package_fails_the_install_and_refreshes_the_task(self):
        ENV.start_server()
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_installed("ActiveX", "10.1.0.5")
        ENV.set_installed("Plugin", "10.1.0.5")
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 4)
        ENV.serve(environment.PACKAGE_PATHS[("ActiveX", False)], b"MZ not a signed package")
        ENV.run_scheduled_start()
        events = ENV.service_events()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1600"], events[:7])
        self.assertRegex(events[7], r"^1217 -?\d+$")
        self.assertRegex(events[8], r"^1234 -?\d+$")
        self.assertEqual(["1625"] + SERVICE_END, events[9:])
        self.assertEqual(1, ENV.update_state()[1])
        self.assertTaskInterval(240)
        self.assertFalse(os.path.exists(ENV.prefix.host_path(environment.INSTALLER)))
        # The Plugin variant is not tried in the same cycle.
        self.assertEqual(2, len(ENV.requests()))


if __name__ == "__main__":
    unittest.main()
