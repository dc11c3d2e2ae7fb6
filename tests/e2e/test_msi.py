"""The deployment package end to end: msiexec installs, reconfigures,
upgrades and removes the service in a Windows XP mode prefix the way a
deployment tool runs it (/qn with a verbose log), and the service it installed
updates from the local update server. The i686 build's package is the 32-bit
one that ships; an x86_64 build tests a package of its own program. Where the
host runs 32-bit programs, the shipped package also goes into a 64-bit prefix,
as on 64-bit Windows."""

import contextlib
import ntpath
import os
import re
import shutil
import subprocess
import unittest

import environment
from environment import (ADDRESS, BUILD, PACKAGE_PATHS, POLICY_SILENT, SERVICE, SERVICE_END,
                         SOURCE)

SERVICE_KEY = "HKLM\\System\\CurrentControlSet\\Services\\" + SERVICE
DISPLAY_NAME = "Quorvel Plumix Player Update Service"
DESCRIPTION = ("This service keeps your Quorvel Plumix Player installation up to date with the "
               "latest enhancements and security fixes.")
DEPLOY = ("UPDATEMODE=silent", "SERVERDOMAIN=" + ADDRESS, "VERBOSELOGGING=1")
# ksm.cfg after DEPLOY on a machine without one, in the store's key order.
DEPLOYED_SETTINGS = (b"AutoUpdateDisable=0\r\nSilentAutoUpdateEnable=1\r\n"
                     b"SilentAutoUpdateVerboseLogging=1\r\n"
                     b"SilentAutoUpdateServerDomain=" + ADDRESS.encode() + b"\r\n")
FAILED = 1603
CUSTOM_ACTIONS = os.path.join(BUILD, "packaging", "msi", "PlumixPackageActions.dll")
INSTALLS_ACTIVEX = ["1618", "1608", "1600", "1602", "1609"]


def package_arch():
    return "x86" if environment.ARCH == "i686" else "x64"


def next_version_package(shipped, out_dir):
    """A package of a higher version (its third number raised) around a
    program that differs from the shipped one: the test build with the short
    download bound."""
    version = re.search(r"-(\d+)\.(\d+)\.(\d+)\.(\d+)\.msi$", shipped).groups()
    higher = "%s.%s.%d.%s" % (version[0], version[1], int(version[2]) + 1, version[3])
    os.makedirs(out_dir, exist_ok=True)
    result = make_package("--arch", package_arch(),
                          "--program", os.path.join(BUILD, environment.SHORT_DOWNLOAD_PROGRAM),
                          "--custom-actions", CUSTOM_ACTIONS, "--out-dir", out_dir,
                          "--version", higher)
    assert result.returncode == 0, result.stderr
    return result.stdout.strip()


def make_package(*arguments):
    return subprocess.run([os.path.join(SOURCE, "packaging", "msi", "make-package")] +
                          list(arguments), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, timeout=120)


class PackageScenario(unittest.TestCase):
    """A prefix without the service, the shipped package and the machine
    state checks; each test starts with nothing installed."""

    WOW64 = False

    @classmethod
    def setUpClass(cls):
        name = "msi-wow64" if cls.WOW64 else "msi"
        cls.env = environment.Environment(os.path.join(BUILD, "e2e", name), wow64=cls.WOW64)
        cls.env.create_prefix()
        # In a new prefix's first session the Task Scheduler 1.0 service does
        # not start for the package's -createDefaultTask.
        cls.env.prefix.kill_server()
        cls.shipped = environment.shipped_package()

    @classmethod
    def tearDownClass(cls):
        cls.env.tear_down()

    def packages(self):
        return [self.shipped]

    def setUp(self):
        self.env.stop_server()
        for package in self.packages():
            if self.env.prefix.reg_values(SERVICE_KEY) is not None:
                self.env.msiexec("/x", package, "REMOVEDATA=1")
        self.env.program = self.env.package_program()
        shutil.rmtree(self.data_folder(), ignore_errors=True)
        self.env.prefix.reg_delete_key(self.env.state_key)
        for key in self.env.variant_keys.values():
            self.env.prefix.reg_delete_key(key)
        for path in (environment.SERVICE_LOG, environment.INSTALLER,
                     environment.INSTALLER + ".txt", environment.TASK_JOB):
            if os.path.exists(self.env.prefix.host_path(path)):
                os.remove(self.env.prefix.host_path(path))

    def tearDown(self):
        self.env.stop_server()

    # -- what is on the machine -------------------------------------------

    def data_folder(self):
        """The host path of Oskvar, which holds the data folder."""
        return self.env.prefix.host_path(ntpath.dirname(ntpath.dirname(self.env.settings)))

    def data_path(self, name):
        return self.env.prefix.host_path(ntpath.join(ntpath.dirname(self.env.settings), name))

    def write_log_history(self):
        """An earlier line in the service's log beside ksm.cfg; its bytes."""
        history = "2026-1-2+3-4-5.6 [error] 1223 1055\r\n".encode("utf-16-le")
        with open(self.data_path("PlumixInstall.log"), "wb") as log:
            log.write(history)
        return history

    def assertFileBytes(self, expected, host_path):
        with open(host_path, "rb") as content:
            self.assertEqual(expected, content.read())

    def assertProgramIsTheHigherVersion(self):
        with open(os.path.join(BUILD, environment.SHORT_DOWNLOAD_PROGRAM), "rb") as program:
            self.assertFileBytes(program.read(),
                                 self.env.prefix.host_path(self.env.package_program()))

    def assertInstalled(self):
        program = self.env.prefix.host_path(self.env.package_program())
        self.assertTrue(os.path.exists(program), "no program")
        service = self.env.prefix.reg_values(SERVICE_KEY)
        self.assertIsNotNone(service, "no service")
        self.assertEqual(
            {"Type": 0x10, "Start": 3, "ErrorControl": 1, "ObjectName": "LocalSystem",
             "DisplayName": DISPLAY_NAME, "Description": DESCRIPTION,
             "ImagePath": self.env.package_program()},
            {name: str(service.get(name)).strip('"') if name == "ImagePath" else service.get(name)
             for name in ("Type", "Start", "ErrorControl", "ObjectName", "DisplayName",
                          "Description", "ImagePath")})

    def assertTaskRunsTheProgram(self):
        task = self.env.task()
        self.assertIsNotNone(task, "no scheduled task")
        self.assertEqual(self.env.package_program(), task["application"])
        self.assertEqual(1, len(task["triggers"]))
        self.assertEqual(60, task["triggers"][0]["minutes_interval"])

    def assertNothingInstalled(self):
        self.assertFalse(os.path.exists(self.env.prefix.host_path(self.env.package_program())),
                         "the program is left")
        self.assertIsNone(self.env.prefix.reg_values(SERVICE_KEY), "the service is left")
        self.assertIsNone(self.env.task(), "the task is left")
        self.assertEqual((None, None), self.env.update_state())

    def assertRefused(self, result, message):
        exit_code, log = result
        tail = "\n".join(log.splitlines()[-40:])
        self.assertEqual(FAILED, exit_code, tail)
        self.assertTrue(message in log, "no %r in the log, which ends:\n%s" % (message, tail))

    @contextlib.contextmanager
    def unchangeable(self, windows_path):
        """The file stays readable but cannot be replaced, as when another
        program holds it: the immutable attribute of the host's file system
        refuses even the administrator."""
        path = self.env.prefix.host_path(windows_path)
        made = subprocess.run(["chattr", "+i", path], stderr=subprocess.PIPE, text=True)
        if made.returncode != 0:
            self.skipTest("no immutable files here: " + made.stderr.strip())
        try:
            yield
        finally:
            subprocess.run(["chattr", "-i", path], check=True)

    def install(self, *properties, package=None):
        exit_code, log = self.env.msiexec("/i", package or self.shipped, *properties)
        self.assertEqual(0, exit_code, log)
        return log

    def check_install_cycle_and_removal(self):
        """Installs with DEPLOY on a machine without settings; a scheduled
        start of the installed service installs a newer ActiveX variant from
        the local update server; a removal with REMOVEDATA=1 leaves nothing."""
        log = self.install(*DEPLOY)
        self.assertInstalled()
        self.assertTaskRunsTheProgram()
        self.assertEqual(DEPLOYED_SETTINGS, self.env.settings_bytes())
        self.assertEqual((0, 0), self.env.update_state())
        self.assertIn('PlumixPlayerUpdateService.exe" -createDefaultTask ended with exit code 0.',
                      log)
        self.env.settle_service()
        self.env.make_run_folders()
        self.env.start_server()
        self.env.set_installed("ActiveX", "10.1.0.5")
        self.env.serve_manifest("10.2.0.1", "10.2.0.1", 4)
        self.env.serve_installer_package("ActiveX", "10.2.0.1")
        self.env.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + INSTALLS_ACTIVEX + SERVICE_END,
                         self.env.service_events())
        self.assertEqual([environment.MANIFEST_PATH, PACKAGE_PATHS[("ActiveX", self.WOW64)]],
                         [request["path"] for request in self.env.requests()])
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9",
                         self.env.wait_installer_record())
        self.assertEqual("10.2.0.1", self.env.installed_version("ActiveX"))
        self.assertEqual(1, self.env.update_state()[1])
        if self.WOW64:
            # Nothing in the places of a 64-bit program.
            self.assertFalse(os.path.exists(self.env.prefix.host_path(environment.SETTINGS)))
            self.assertIsNone(self.env.prefix.reg_values(environment.STATE_KEY))

        exit_code, log = self.env.msiexec("/x", self.shipped, "REMOVEDATA=1")
        self.assertEqual(0, exit_code, log)
        self.assertNothingInstalled()
        self.assertFalse(os.path.exists(self.data_folder()), "the data is left")
        self.assertIsNone(self.env.prefix.reg_values(self.env.state_key))


class PackageTest(PackageScenario):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.higher = next_version_package(cls.shipped, os.path.join(cls.env.work, "higher"))

    def packages(self):
        return [self.shipped, self.higher]

    def test_install_sets_up_the_service_that_the_scheduled_start_runs(self):
        self.check_install_cycle_and_removal()

    def test_reinstall_changes_only_the_settings_given_and_a_repair_keeps_the_state(self):
        self.install(*DEPLOY)
        self.env.write_settings(DEPLOYED_SETTINGS.decode() + "AdminNote=kept\r\n")
        self.env.set_update_state(last_check=123456789, attempts=3)
        self.install("UPDATEMODE=Disable", "SERVERDOMAIN=mirror.example")
        self.assertEqual(b"AutoUpdateDisable=1\r\nSilentAutoUpdateEnable=0\r\n"
                         b"SilentAutoUpdateVerboseLogging=1\r\n"
                         b"SilentAutoUpdateServerDomain=mirror.example\r\n"
                         b"AdminNote=kept\r\n", self.env.settings_bytes())
        self.assertEqual((123456789, 3), self.env.update_state())
        self.assertTaskRunsTheProgram()

        # A repair brings back a lost program and task and keeps the state.
        os.remove(self.env.prefix.host_path(self.env.package_program()))
        os.remove(self.env.prefix.host_path(environment.TASK_JOB))
        self.install("REINSTALL=ALL", "REINSTALLMODE=vamus")
        self.assertInstalled()
        self.assertTaskRunsTheProgram()
        self.assertEqual((123456789, 3), self.env.update_state())

    def test_upgrade_and_removal_keep_the_data_and_a_downgrade_is_refused(self):
        self.install(*DEPLOY)
        settings = DEPLOYED_SETTINGS + b"AdminNote=kept\r\n"
        self.env.write_settings(settings.decode())
        history = self.write_log_history()
        self.env.set_update_state(last_check=123456789, attempts=3)

        self.install(package=self.higher)
        self.assertProgramIsTheHigherVersion()
        self.assertInstalled()
        self.assertTaskRunsTheProgram()
        self.assertEqual(settings, self.env.settings_bytes())
        self.assertFileBytes(history, self.data_path("PlumixInstall.log"))
        self.assertEqual((123456789, 3), self.env.update_state())

        self.assertRefused(self.env.msiexec("/i", self.shipped),
                           "A newer version of Quorvel Plumix Player Update Service is installed")
        self.assertProgramIsTheHigherVersion()

        # One product is left: removing it takes the program, the service, the
        # task and the state with it, and keeps the settings and the log.
        exit_code, log = self.env.msiexec("/x", self.higher)
        self.assertEqual(0, exit_code, log)
        self.assertNothingInstalled()
        self.assertEqual(settings, self.env.settings_bytes())
        self.assertFileBytes(history, self.data_path("PlumixInstall.log"))

    def test_properties_out_of_form_are_refused_before_any_change(self):
        # Each property in its own line; the forms themselves are unit-tested.
        exit_code, log = self.env.msiexec("/i", self.shipped, "UPDATEMODE=quiet",
                                          "SERVERDOMAIN=mirror.example:8443", "VERBOSELOGGING=yes",
                                          "REMOVEDATA=true")
        for message in ('UPDATEMODE must be silent, notify or disable, not "quiet".',
                        'not "mirror.example:8443".', 'VERBOSELOGGING must be 1 or 0, not "yes".',
                        'REMOVEDATA must be 1 or 0, not "true".'):
            self.assertRefused((exit_code, log), message)
        self.assertNothingInstalled()
        self.assertFalse(os.path.exists(self.data_path("")), "the data folder is left")
        self.assertIsNone(self.env.prefix.reg_values(self.env.state_key))

    def test_a_failure_at_the_last_step_undoes_the_whole_installation(self):
        # ksm.cfg is a folder: the settings cannot be read or written.
        os.makedirs(self.data_path("ksm.cfg"))
        self.assertRefused(self.env.msiexec("/i", self.shipped, *DEPLOY),
                           "ksm.cfg exists but cannot be read.")
        self.assertNothingInstalled()
        self.assertEqual(["ksm.cfg"], os.listdir(self.data_path("")))
        self.assertEqual([], os.listdir(self.data_path("ksm.cfg")))

    def test_a_mode_that_cannot_be_saved_undoes_the_installation(self):
        # The switch exits with 0 all the same; its effect is read back.
        os.makedirs(self.data_path(""))
        with open(self.data_path("ksm.cfg"), "wb") as settings:
            settings.write(b"AdminNote=kept\r\n")
        with self.unchangeable(self.env.settings):
            self.assertRefused(self.env.msiexec("/i", self.shipped, "UPDATEMODE=silent"),
                               "UPDATEMODE=silent did not reach ksm.cfg")
        self.assertNothingInstalled()
        self.assertEqual(b"AdminNote=kept\r\n", self.env.settings_bytes())


class MakePackageTest(unittest.TestCase):
    """The package build refuses what Windows Installer could not take."""

    def test_refusals_write_no_package(self):
        out_dir = os.path.join(BUILD, "e2e", "msi-refusals")
        shutil.rmtree(out_dir, ignore_errors=True)
        os.makedirs(out_dir)
        program = os.path.join(BUILD, environment.SHIPPED_PROGRAM)
        cases = [
            (["--program", program, "--version", "256.0.0.0"],
             "the major version 256 is above 255"),
            (["--program", program, "--version", "1.0.65536.0"],
             "the build version 65536 is above 65535"),
            (["--program", CUSTOM_ACTIONS], "no VERSIONINFO resource"),
        ]
        for arguments, reason in cases:
            with self.subTest(arguments=arguments):
                result = make_package("--arch", package_arch(), "--custom-actions",
                                      CUSTOM_ACTIONS, "--out-dir", out_dir, *arguments)
                self.assertEqual(1, result.returncode, result.stderr)
                self.assertIn(reason, result.stderr)
                self.assertEqual([], os.listdir(out_dir))


class Wow64PackageTest(PackageScenario):
    """The shipped 32-bit package on 64-bit Windows: the program under
    Program Files (x86), the data folder in SysWOW64, the state in
    Wow6432Node."""

    WOW64 = True

    @classmethod
    def setUpClass(cls):
        reason = environment.wow64_reason_to_skip()
        if reason:
            raise unittest.SkipTest(reason)
        super().setUpClass()

    def test_install_update_and_removal_in_the_32bit_places(self):
        self.check_install_cycle_and_removal()


if __name__ == "__main__":
    unittest.main()
