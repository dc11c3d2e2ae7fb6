"""A staged rollout whose candidate does not take, end to end: the real
service under Wine is a canary of a candidate whose installer registers
nothing; over two days (the service's last check set back a day, nginx's
clock put a day ahead) it downloads the candidate again, plumix-publish
health flags it from nginx's own combined access log, rollout advance halts
it, and the next check of the client downloads nothing."""

import json
import os
import shutil
import subprocess
import unittest

import environment
from environment import (FILETIME_PER_HOUR, MANIFEST_PATH, PACKAGE_PATHS, POLICY_SILENT,
                         SILENT_VERBOSE, now_filetime)

ENV = None

CURRENT, CANDIDATE = "10.2.0.1", "10.3.0.1"
INSTALLS_ACTIVEX = POLICY_SILENT + ["1618", "1608", "1600", "1602", "1609", "1612", "1620"]
NOTHING_NEWER = POLICY_SILENT + ["1618", "1608", "1625", "1612", "1620"]
# Loopback clients leave from 127.0.0.1 whatever the origin's address.
CANARY_RANGE = "127.0.0.0/8"


def setUpModule():
    global ENV
    if not os.access(environment.PUBLISH, os.X_OK):
        raise unittest.SkipTest("needs the native plumix-publish (PLUMIX_PUBLISH)")
    if shutil.which("nginx") is None:
        raise unittest.SkipTest("needs nginx (Debian's nginx-light)")
    if not os.path.exists(environment.FAKETIME_LIBRARY):
        raise unittest.SkipTest("needs libfaketime")
    ENV = environment.Environment(os.path.join(environment.BUILD, "e2e", "rollout-health"))
    ENV.set_up()


def tearDownModule():
    if ENV is not None:
        ENV.tear_down()


def publish(*arguments):
    return subprocess.run([environment.PUBLISH] + [str(a) for a in arguments],
                          capture_output=True, text=True, timeout=300)


class BadCandidateTest(unittest.TestCase):
    def setUp(self):
        ENV.reset()
        self.tree = os.path.join(ENV.work, "origin")
        shutil.rmtree(self.tree, ignore_errors=True)
        shutil.rmtree(os.path.join(ENV.work, "nginx"), ignore_errors=True)

    def tearDown(self):
        ENV.stop_origin()

    def release(self, version, *options, registers=True):
        result = ENV.publish_release(self.tree, version, version, 2, *options, registers=registers)
        self.assertEqual(0, result.returncode, result.stdout + result.stderr)

    def rollout(self, action, *arguments):
        old = ENV.origin.workers()
        result = publish("rollout", action, self.tree, "--nginx-conf", ENV.origin.configuration,
                         "--reload-command", ENV.origin.reload_command, *arguments)
        if result.returncode == 0 or action == "advance":
            ENV.origin.wait_for_new_workers(old)
        return result

    def due_cycle(self):
        """A due check, its requests, and the attempt count after it."""
        ENV.set_update_state(last_check=now_filetime() - 25 * FILETIME_PER_HOUR)
        ENV.forget_service_log()
        record = ENV.prefix.host_path(environment.INSTALLER + ".txt")
        if os.path.exists(record):
            os.remove(record)
        seen = len(ENV.requests())
        ENV.run_scheduled_start()
        requests = [(r["scheme"], r["path"], r["status"]) for r in ENV.requests()[seen:]]
        return ENV.service_events(), requests, ENV.update_state()[1]

    def health(self, *options):
        return publish("health", self.tree, "--access-log", ENV.origin.access_log(),
                       "--min-clients", "1", *options)

    def test_a_candidate_that_does_not_take_is_flagged_and_halted(self):
        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_installed("ActiveX", CURRENT)
        ENV.set_installed("Plugin", CURRENT)
        self.release(CURRENT)
        self.release(CANDIDATE, "--candidate", registers=False)
        ENV.start_origin(self.tree, rollout=True)
        started = self.rollout("start", "--release", CANDIDATE, "--percent", "0",
                               "--canary", CANARY_RANGE)
        self.assertEqual(0, started.returncode, started.stdout + started.stderr)

        # Day one: the canary downloads the candidate and runs its installer,
        # which registers nothing.
        manifest = ("https", MANIFEST_PATH, 200)
        package = ("http", PACKAGE_PATHS[("ActiveX", False)], 200)
        self.assertEqual((INSTALLS_ACTIVEX, [manifest, package], 1), self.due_cycle())
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())
        self.assertEqual(CURRENT, ENV.installed_version("ActiveX"))
        # Before a full day with the candidate there is no verdict.
        early = self.health()
        self.assertEqual(0, early.returncode, early.stdout + early.stderr)
        self.assertIn("health: too-early: no manifest fetch of the candidate cohort yet",
                      early.stdout)

        # Day two, a day later on nginx's clock: the same download again.
        ENV.stop_origin()
        ENV.start_origin(self.tree, rollout=True, clock_offset="+1d")
        self.assertEqual((INSTALLS_ACTIVEX, [manifest, package], 2), self.due_cycle())
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())

        flagged = self.health("--json")
        self.assertEqual(1, flagged.returncode, flagged.stdout + flagged.stderr)
        report = json.loads(flagged.stdout)
        self.assertEqual("fail", report["verdict"])
        self.assertEqual({"addresses": 1, "fetches": 1, "repeats": 1, "repeat_percent": 100.0},
                         report["signal"]["candidate"])
        self.assertEqual([("candidate", 1, 1, 1, 1, 100.0, None),
                          ("candidate", 1, 1, 1, 1, 100.0, 100.0)],
                         [(day["cohort"], day["addresses"], day["manifest_fetches"],
                           day["downloads_begun"], day["downloads_completed"],
                           day["followed_percent"], day["repeat_percent"])
                          for day in report["days"]])
        self.assertGreaterEqual(report["exposed_days"], 1.0)

        advanced = self.rollout("advance", "--access-log", ENV.origin.access_log(),
                                "--min-clients", "1")
        self.assertEqual(1, advanced.returncode, advanced.stdout + advanced.stderr)
        self.assertIn("the health gate failed: 100.0 % of the candidate cohort's 1 manifest "
                      "fetches (1 addresses) were followed by a repeated download",
                      advanced.stderr)
        status = json.loads(publish("rollout", "status", self.tree, "--json").stdout)
        self.assertTrue(status["halted"], status)

        # The next check is served the current release: nothing to install,
        # and the attempt count stays where it was.
        self.assertEqual((NOTHING_NEWER, [manifest], 2), self.due_cycle())
        self.assertEqual(CURRENT, ENV.installed_version("ActiveX"))
        self.assertIsNone(ENV.installer_record())


if __name__ == "__main__":
    unittest.main()
