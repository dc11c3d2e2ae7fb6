"""A staged rollout end to end: plumix-publish stores a candidate beside the
current release, nginx serves it through the generated configuration, and
the real service (which reaches the origin from 127.0.0.1) installs the
candidate when its address is in a canary range and not otherwise."""

import os
import shutil
import subprocess
import unittest

import environment
from environment import (FILETIME_PER_HOUR, MANIFEST_PATH, PACKAGE_PATHS, POLICY_SILENT,
                         SILENT_VERBOSE, now_filetime)

ENV = None

CURRENT, CANDIDATE = "10.2.0.1", "10.3.0.1"
CLIENT_ADDRESS = "127.0.0.1"
INSTALLS_ACTIVEX = POLICY_SILENT + ["1618", "1608", "1600", "1602", "1609", "1612", "1620"]
UP_TO_DATE = POLICY_SILENT + ["1618", "1608", "1625", "1612", "1620"]
NJS_MODULE = "/usr/lib/nginx/modules/ngx_http_js_module.so"


def setUpModule():
    global ENV
    if not os.access(environment.PUBLISH, os.X_OK):
        raise unittest.SkipTest("needs the native plumix-publish (PLUMIX_PUBLISH)")
    if shutil.which("nginx") is None or not os.path.exists(NJS_MODULE):
        raise unittest.SkipTest("needs nginx with its njs module (nginx-light, "
                                "libnginx-mod-http-js)")
    ENV = environment.Environment(os.path.join(environment.BUILD, "e2e", "rollout"))
    ENV.set_up()


def tearDownModule():
    if ENV is not None:
        ENV.tear_down()


class RolloutTest(unittest.TestCase):
    def setUp(self):
        ENV.reset()
        self.tree = os.path.join(ENV.work, "origin")
        shutil.rmtree(self.tree, ignore_errors=True)

    def tearDown(self):
        ENV.stop_origin()

    def publish(self, version, *options):
        result = ENV.publish_release(self.tree, version, version, 2, *options)
        self.assertEqual(0, result.returncode, result.stdout + result.stderr)

    def rollout(self, action, *arguments):
        old = ENV.origin.workers()
        result = subprocess.run(
            [environment.PUBLISH, "rollout", action, self.tree, "--nginx-conf",
             ENV.origin.configuration, "--reload-command", ENV.origin.reload_command,
             *arguments], capture_output=True, text=True, timeout=300)
        self.assertEqual(0, result.returncode, result.stdout + result.stderr)
        ENV.origin.wait_for_new_workers(old)

    def run_due_cycle(self):
        """Starts the service as its task does, with the last check 25 hours
        ago; returns the requests nginx saw during the cycle."""
        seen = len(ENV.requests())
        ENV.set_update_state(last_check=now_filetime() - 25 * FILETIME_PER_HOUR)
        if os.path.exists(ENV.prefix.host_path(environment.SERVICE_LOG)):
            os.remove(ENV.prefix.host_path(environment.SERVICE_LOG))
        ENV.run_scheduled_start()
        return [(r["scheme"], r["path"], r["address"], r["cache_control"])
                for r in ENV.requests()[seen:]]

    def test_candidate_installs_only_where_the_address_is_a_canary(self):
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_installed("ActiveX", CURRENT)
        self.publish(CURRENT)
        self.publish(CANDIDATE, "--candidate")
        ENV.start_origin(self.tree, rollout=True)

        # Another machine is the canary: this one is shown the current release.
        self.rollout("start", "--release", CANDIDATE, "--percent", "0",
                     "--canary", "127.0.0.2/32")
        self.assertEqual([("https", MANIFEST_PATH, CLIENT_ADDRESS, "private, no-store")],
                         self.run_due_cycle())
        self.assertEqual(UP_TO_DATE, ENV.service_events())
        self.assertEqual(CURRENT, ENV.installed_version("ActiveX"))
        self.assertFalse(os.path.exists(ENV.prefix.host_path(environment.INSTALLER + ".txt")))

        # This machine's address is a canary: manifest and package of the candidate.
        self.rollout("halt")
        self.rollout("start", "--release", CANDIDATE, "--percent", "0",
                     "--canary", CLIENT_ADDRESS + "/32")
        self.assertEqual([("https", MANIFEST_PATH, CLIENT_ADDRESS, "private, no-store"),
                          ("http", PACKAGE_PATHS[("ActiveX", False)], CLIENT_ADDRESS,
                           "private, no-store")],
                         self.run_due_cycle())
        self.assertEqual(INSTALLS_ACTIVEX, ENV.service_events())
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())
        self.assertEqual(CANDIDATE, ENV.installed_version("ActiveX"))


if __name__ == "__main__":
    unittest.main()
