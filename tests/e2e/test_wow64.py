"""The shipped i686 build as it runs on 64-bit Windows: a 32-bit process under
WOW64, in a 64-bit prefix. Its registry state and the installed versions live
in the 32-bit view (Wow6432Node), its system folder is redirected to
syswow64, and it fetches the packages of 32-bit clients on 64-bit Windows.
Needs a host that runs the 32-bit Wine loader; elsewhere every test here is
skipped with the reason."""

import os
import re
import unittest

import environment
from environment import (ADDRESS, BUILD, PACKAGE_PATHS, POLICY_SILENT, SERVICE_END, SILENT_VERBOSE,
                         STATE_KEY, VARIANT_KEYS)

ENV = None


def setUpModule():
    global ENV
    reason = environment.wow64_reason_to_skip()
    if reason:
        raise unittest.SkipTest(reason)
    ENV = environment.Environment(os.path.join(BUILD, "e2e", "wow64"), wow64=True)
    ENV.set_up()


def tearDownModule():
    if ENV is not None:
        ENV.tear_down()


# A settings file where a 64-bit program would find ksm.cfg, the system32
# folder on disk, which the 32-bit service must never read or write.
DECOY_SETTINGS = b"AutoUpdateDisable=1\r\nSilentAutoUpdateEnable=0\r\n"


class Wow64Test(unittest.TestCase):
    def setUp(self):
        ENV.reset()
        self.decoy = ENV.prefix.host_path(environment.SETTINGS)
        os.makedirs(os.path.dirname(self.decoy), exist_ok=True)
        with open(self.decoy, "wb") as out:
            out.write(DECOY_SETTINGS)

    def tearDown(self):
        ENV.stop_server()
        os.remove(self.decoy)

    def assertDecoyUntouched(self):
        with open(self.decoy, "rb") as decoy:
            self.assertEqual(DECOY_SETTINGS, decoy.read())

    def assertOnlyIn32BitView(self, key):
        self.assertIsNone(ENV.prefix.reg_values(key), "%s in the 64-bit view" % key)

    def test_the_process_sees_itself_under_wow64(self):
        """The registry tests of the state and the installed versions, which
        only a 32-bit process on 64-bit Windows can run, run here."""
        tests = os.path.join(BUILD, "tests", "win_tests.exe")
        result = ENV.prefix.run([environment.windows_path(tests), "--gtest_filter=*Wow64*"],
                                timeout=300)
        self.assertEqual(0, result.returncode, result.stdout + result.stderr)
        self.assertNotIn("[  SKIPPED ]", result.stdout)
        passed = re.search(r"\[  PASSED  \] (\d+) test", result.stdout)
        self.assertIsNotNone(passed, result.stdout)
        self.assertGreaterEqual(int(passed.group(1)), 2)

    def test_create_default_task_writes_the_32bit_view(self):
        self.assertEqual(0, ENV.run_switch("-createDefaultTask"))
        self.assertEqual((0, 0), ENV.update_state())
        self.assertOnlyIn32BitView(STATE_KEY)
        self.assertEqual(environment.PROGRAM, ENV.task()["application"])

    def test_cycle_installs_the_64bit_windows_package(self):
        ENV.start_server()
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_installed("ActiveX", "10.1.0.5")
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 4)
        ENV.serve_installer_package("ActiveX", "10.2.0.1")
        ENV.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1600", "1602", "1609"] + SERVICE_END,
                         ENV.service_events())
        self.assertEqual([environment.MANIFEST_PATH, PACKAGE_PATHS[("ActiveX", True)]],
                         [request["path"] for request in ENV.requests()])
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())
        # The stand-in of the same build registers in the view the service reads.
        self.assertEqual("10.2.0.1", ENV.installed_version("ActiveX"))
        self.assertOnlyIn32BitView(VARIANT_KEYS["ActiveX"])
        last, attempts = ENV.update_state()
        self.assertIsNotNone(last)
        self.assertEqual(1, attempts)
        self.assertOnlyIn32BitView(STATE_KEY)
        # The service read its settings in syswow64 (silent: 1615), not the
        # decoy in system32 (disabled: 1613).
        self.assertDecoyUntouched()

    def test_attempt_limit_writes_notify_mode_into_the_redirected_settings(self):
        ENV.start_server()
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_update_state(attempts=7)
        ENV.serve_manifest("10.2.0.1", "10.2.0.1", 2)
        ENV.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1301", "1625"] + SERVICE_END,
                         ENV.service_events())
        self.assertEqual(b"AutoUpdateDisable=0\r\nSilentAutoUpdateEnable=0\r\n"
                         b"SilentAutoUpdateVerboseLogging=1\r\n"
                         b"SilentAutoUpdateServerDomain=" + ADDRESS.encode() + b"\r\n",
                         ENV.settings_bytes())
        self.assertDecoyUntouched()


if __name__ == "__main__":
    unittest.main()
