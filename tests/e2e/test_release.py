"""Releases end to end: plumix-publish writes a release tree, Debian's nginx
serves it as the update origin, and the real service installs from it; a
later, higher release installs again, and a refused release leaves the served
tree as it was."""

import hashlib
import os
import shutil
import unittest

import environment
from environment import (FILETIME_PER_HOUR, MANIFEST_PATH, PACKAGE_PATHS, POLICY_SILENT,
                         SILENT_VERBOSE, now_filetime)

ENV = None

INSTALLS_ACTIVEX = POLICY_SILENT + ["1618", "1608", "1600", "1602", "1609", "1612", "1620"]


def setUpModule():
    global ENV
    if not os.access(environment.PUBLISH, os.X_OK):
        raise unittest.SkipTest("needs the native plumix-publish (PLUMIX_PUBLISH)")
    if shutil.which("nginx") is None:
        raise unittest.SkipTest("needs nginx (Debian's nginx-light)")
    ENV = environment.Environment(os.path.join(environment.BUILD, "e2e", "release"))
    ENV.set_up()


def tearDownModule():
    if ENV is not None:
        ENV.tear_down()


def tree_digests(tree):
    """{relative path: SHA-256} of every file of a tree."""
    digests = {}
    for folder, _, files in os.walk(tree):
        for name in files:
            path = os.path.join(folder, name)
            with open(path, "rb") as content:
                digests[os.path.relpath(path, tree)] = hashlib.sha256(content.read()).hexdigest()
    return digests


class ReleaseTest(unittest.TestCase):
    def setUp(self):
        ENV.reset()
        self.tree = os.path.join(ENV.work, "origin")
        shutil.rmtree(self.tree, ignore_errors=True)

    def tearDown(self):
        ENV.stop_origin()

    def publish(self, activex, plugin, check_frequency):
        previous = ("--previous", self.tree) if os.path.isdir(self.tree) else ()
        result = ENV.publish_release(self.tree, activex, plugin, check_frequency, *previous)
        self.assertEqual(0, result.returncode, result.stdout + result.stderr)

    def run_due_cycle(self):
        """Starts the service as its task does, with the last check 25 hours ago."""
        ENV.set_update_state(last_check=now_filetime() - 25 * FILETIME_PER_HOUR)
        ENV.forget_service_log()
        ENV.run_scheduled_start()

    def test_published_releases_install_and_a_refused_one_changes_nothing(self):
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_installed("ActiveX", "10.1.0.5")
        self.publish("10.2.0.1", "10.2.0.1", 2)
        ENV.start_origin(self.tree)
        self.run_due_cycle()
        self.assertEqual(INSTALLS_ACTIVEX, ENV.service_events())
        self.assertEqual([("https", MANIFEST_PATH, "Get Plumix Player version xml/1.0", 200),
                          ("http", PACKAGE_PATHS[("ActiveX", False)],
                           "Download Plumix Player Installer/1.0", 200)],
                         [(r["scheme"], r["path"], r["user_agent"], r["status"])
                          for r in ENV.requests()])
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())
        self.assertEqual("10.2.0.1", ENV.installed_version("ActiveX"))

        # A higher release over the served tree, while nginx serves it.
        self.publish("10.3.0.1", "10.3.0.1", 4)
        os.remove(ENV.prefix.host_path(environment.INSTALLER + ".txt"))
        self.run_due_cycle()
        self.assertEqual(INSTALLS_ACTIVEX, ENV.service_events())
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())
        self.assertEqual("10.3.0.1", ENV.installed_version("ActiveX"))
        self.assertEqual(2, ENV.update_state()[1])

        # A lower announcement is refused and the served tree stays as it was:
        # the next due check finds the installed version current and sets the
        # task to the frequency the served release announces.
        served = tree_digests(self.tree)
        refused = ENV.publish_release(self.tree, "10.2.5.0", "10.3.0.1", 1, "--previous",
                                      self.tree)
        self.assertEqual(1, refused.returncode, refused.stdout + refused.stderr)
        self.assertIn("version 10.2.5.0 is lower than 10.3.0.1", refused.stderr)
        self.assertEqual(served, tree_digests(self.tree))
        self.run_due_cycle()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1625", "1612", "1620"],
                         ENV.service_events())
        self.assertEqual(240, ENV.task()["triggers"][0]["minutes_interval"])
        self.assertEqual("10.3.0.1", ENV.installed_version("ActiveX"))


if __name__ == "__main__":
    unittest.main()
