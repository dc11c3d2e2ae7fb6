"""The program's switches and exit codes, and its start from a console
without arguments, with the real executable in a Windows XP mode prefix."""

import copy
import os
import unittest

import environment
from environment import PROGRAM, SERVICE

ENV = None

NOTIFY = b"AutoUpdateDisable=0\r\nSilentAutoUpdateEnable=0\r\n"
SILENT = b"AutoUpdateDisable=0\r\nSilentAutoUpdateEnable=1\r\n"
DISABLE = b"AutoUpdateDisable=1\r\nSilentAutoUpdateEnable=0\r\n"


def setUpModule():
    global ENV
    ENV = environment.Environment(os.path.join(environment.BUILD, "e2e", "command-line"))
    ENV.set_up()


def tearDownModule():
    ENV.tear_down()


class SwitchTest(unittest.TestCase):
    def setUp(self):
        ENV.reset()

    def test_create_default_task_resets_the_state_and_registers_hourly(self):
        ENV.set_update_state(last_check=123456789, attempts=5)
        self.assertEqual(0, ENV.run_switch("-createDefaultTask"))
        self.assertEqual((0, 0), ENV.update_state())
        task = ENV.task()
        self.assertIsNotNone(task)
        self.assertEqual(PROGRAM, task["application"])
        self.assertEqual("Quorvel Systems Incorporated", task["author"])
        self.assertEqual(0x400, task["flags"] & 0x400)
        self.assertEqual(1, len(task["triggers"]))
        trigger = task["triggers"][0]
        self.assertEqual((2000, 1, 1), trigger["begin"])
        self.assertEqual(60, trigger["minutes_interval"])
        self.assertEqual(1440, trigger["minutes_duration"])
        self.assertEqual(1, trigger["days_interval"])
        # Only errors reach the log from the command line.
        self.assertEqual([], ENV.console_events())

    def test_create_default_task_updates_only_the_interval_of_an_existing_task(self):
        # A cycle registers the task every four hours, as its manifest asks;
        # the switch then sets one hour and keeps everything else, the
        # randomly drawn start time included.
        ENV.write_settings("SilentAutoUpdateEnable=1\nSilentAutoUpdateServerDomain=%s\n"
                           % environment.ADDRESS)
        ENV.start_server()
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 4)
        ENV.run_scheduled_start()
        ENV.stop_server()
        every_four_hours = ENV.task()
        self.assertEqual(240, every_four_hours["triggers"][0]["minutes_interval"])
        self.assertEqual(0, ENV.run_switch("-createDefaultTask"))
        expected = copy.deepcopy(every_four_hours)
        expected["triggers"][0]["minutes_interval"] = 60
        self.assertEqual(expected, ENV.task())

    def test_delete_task_removes_state_and_task_and_ignores_further_arguments(self):
        self.assertEqual(0, ENV.run_switch("-createDefaultTask"))
        self.assertEqual(0, ENV.run_switch("-deleteTask", "extra"))
        self.assertIsNone(ENV.task())
        self.assertEqual({}, ENV.prefix.reg_values(environment.STATE_KEY))

    def test_delete_task_keeps_last_check_when_attempts_are_missing(self):
        ENV.set_update_state(last_check=42)
        self.assertEqual(0, ENV.run_switch("-deleteTask"))
        self.assertEqual((42, None), ENV.update_state())

    def test_mode_switches_write_the_settings_file(self):
        for switch, expected in (("-setSilentAutoUpdate", SILENT), ("-setNotifyAutoUpdate", NOTIFY),
                                 ("-setDisableAutoUpdate", DISABLE)):
            with self.subTest(switch=switch):
                self.assertEqual(0, ENV.run_switch(switch))
                self.assertEqual(expected, ENV.settings_bytes())

    def test_mode_switch_keeps_other_entries(self):
        ENV.write_settings("SilentAutoUpdateServerDomain=mirror.example\nSilentAutoUpdateVerboseLogging=1\n")
        self.assertEqual(0, ENV.run_switch("-setSilentAutoUpdate"))
        self.assertEqual(SILENT + b"SilentAutoUpdateVerboseLogging=1\r\n"
                         b"SilentAutoUpdateServerDomain=mirror.example\r\n", ENV.settings_bytes())

    def test_is_sau_enabled_reports_through_the_exit_code(self):
        self.assertEqual(0, ENV.run_switch("-isSAUEnabled"))
        self.assertEqual(0, ENV.run_switch("-setSilentAutoUpdate"))
        self.assertEqual(1001, ENV.run_switch("-isSAUEnabled"))
        self.assertEqual(0, ENV.run_switch("-setDisableAutoUpdate"))
        self.assertEqual(0, ENV.run_switch("-isSAUEnabled"))

    def test_unknown_switches_do_nothing(self):
        ENV.write_settings("SilentAutoUpdateEnable=1\n")
        for argument in ("-SETNOTIFYAUTOUPDATE", "setNotifyAutoUpdate", "", "-createDefaultTaskX"):
            with self.subTest(argument=argument):
                self.assertEqual(0, ENV.run_switch(argument))
                self.assertEqual(b"SilentAutoUpdateEnable=1\n", ENV.settings_bytes())
                self.assertIsNone(ENV.task())
                self.assertIsNone(ENV.prefix.reg_values(environment.STATE_KEY))


class ConsoleStartTest(unittest.TestCase):
    def setUp(self):
        ENV.reset()

    def test_console_start_hands_over_to_the_service(self):
        ENV.write_settings("SilentAutoUpdateVerboseLogging=1\n")
        ENV.run_scheduled_start()
        self.assertEqual(["1614", "1616", "1618", "1619 1063", "1604"], ENV.console_events())
        self.assertEqual(["1614", "1616", "1618", "1608", "1625", "1612", "1620"],
                         ENV.service_events())
        self.assertEqual("STOPPED", ENV.prefix.service_state(SERVICE))


if __name__ == "__main__":
    unittest.main()
