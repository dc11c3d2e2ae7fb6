"""Releases end to end: plumix-publish writes a release tree, Debian's nginx
serves it as the update origin, and the real service installs from it; a
later, higher release installs again, and a refused release leaves the served
tree as it was. A release signed in a PKCS #11 token installs too. In a staged
rollout the service (which reaches the origin from 127.0.0.1) installs the
candidate only where its address is a canary, and a candidate that does not
take is flagged by health from nginx's own access log and halted."""

import hashlib
import json
import os
import shutil
import subprocess
import sys
import unittest

import environment
from environment import (FILETIME_PER_HOUR, MANIFEST_PATH, PACKAGE_PATHS, POLICY_SILENT,
                         SILENT_VERBOSE, now_filetime)

sys.path.insert(0, os.path.join(environment.SOURCE, "tools", "publish", "tests"))
import soft_token  # noqa: E402

ENV = None

INSTALLS_ACTIVEX = POLICY_SILENT + ["1618", "1608", "1600", "1602", "1609", "1612", "1620"]
NOTHING_NEWER = POLICY_SILENT + ["1618", "1608", "1625", "1612", "1620"]
CURRENT, CANDIDATE = "10.2.0.1", "10.3.0.1"
STARTED = "PlumixPlayerInstaller.exe -install -iv 9"
MANIFEST = ("https", MANIFEST_PATH)
PACKAGE = ("http", PACKAGE_PATHS[("ActiveX", False)])
CLIENT_ADDRESS = "127.0.0.1"
NJS_MODULE = "/usr/lib/nginx/modules/ngx_http_js_module.so"


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


def publish(*arguments):
    return subprocess.run([environment.PUBLISH] + [str(a) for a in arguments],
                          capture_output=True, text=True, timeout=300)


class ReleaseTest(unittest.TestCase):
    def setUp(self):
        ENV.reset()
        self.tree = os.path.join(ENV.work, "origin")
        shutil.rmtree(self.tree, ignore_errors=True)
        shutil.rmtree(os.path.join(ENV.work, "nginx"), ignore_errors=True)

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

    def release(self, version, *options, registers=True):
        result = ENV.publish_release(self.tree, version, version, 2, *options, registers=registers)
        self.assertEqual(0, result.returncode, result.stdout + result.stderr)

    def rollout(self, action, *arguments, expect=0):
        old = ENV.origin.workers()
        result = publish("rollout", action, self.tree, "--nginx-conf", ENV.origin.configuration,
                         "--reload-command", ENV.origin.reload_command, *arguments)
        self.assertEqual(expect, result.returncode, result.stdout + result.stderr)
        if result.returncode == 0 or action == "advance":
            ENV.origin.wait_for_new_workers(old)
        return result

    def due_cycle(self, *fields):
        """A due cycle from a silently updating machine; the requests the
        origin saw during it, as (scheme, path, the given fields)."""
        ENV.write_settings(SILENT_VERBOSE)
        record = ENV.prefix.host_path(environment.INSTALLER + ".txt")
        if os.path.exists(record):
            os.remove(record)
        seen = len(ENV.requests())
        self.run_due_cycle()
        return [(r["scheme"], r["path"]) + tuple(r[field] for field in fields)
                for r in ENV.requests()[seen:]]

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

    @unittest.skipIf(shutil.which("softhsm2-util") is None, "without SoftHSM2 (softhsm2)")
    def test_release_signed_in_a_token_installs(self):
        tokens = soft_token.SoftTokens(os.path.join(ENV.work, "softhsm"))
        tokens.initialise("release")
        tokens.generate_key("release", "signer")
        tokens.request("release", "signer", "/CN=Plumix E2E Token Signer",
                       os.path.join(ENV.work, "token-signer.csr"))
        ENV.certify_signer("token-signer.csr", "token-signer.pem")
        published = ENV.publish_release(
            self.tree, CURRENT, CURRENT, 2, "--pin-file", tokens.pin_file,
            signer=(os.path.join(ENV.work, "token-signer.pem"),
                    soft_token.uri("release", "signer")), env=tokens.env)
        self.assertEqual(0, published.returncode, published.stdout + published.stderr)
        ENV.set_installed("ActiveX", "10.1.0.5")
        ENV.start_origin(self.tree)
        self.assertEqual([MANIFEST, PACKAGE], self.due_cycle())
        self.assertEqual(INSTALLS_ACTIVEX, ENV.service_events())
        self.assertEqual(STARTED, ENV.wait_installer_record())
        self.assertEqual(CURRENT, ENV.installed_version("ActiveX"))

    @unittest.skipUnless(os.path.exists(NJS_MODULE), "without nginx's njs module")
    def test_candidate_installs_only_where_the_address_is_a_canary(self):
        ENV.set_installed("ActiveX", CURRENT)
        self.release(CURRENT)
        self.release(CANDIDATE, "--candidate")
        ENV.start_origin(self.tree, rollout=True)
        served = (CLIENT_ADDRESS, "private, no-store")

        # Another machine is the canary: this one is shown the current release.
        self.rollout("start", "--release", CANDIDATE, "--percent", "0",
                     "--canary", "127.0.0.2/32")
        self.assertEqual([MANIFEST + served], self.due_cycle("address", "cache_control"))
        self.assertEqual(NOTHING_NEWER, ENV.service_events())
        self.assertEqual(CURRENT, ENV.installed_version("ActiveX"))
        self.assertIsNone(ENV.installer_record())

        # This machine's address is a canary: manifest and package of the candidate.
        self.rollout("halt")
        self.rollout("start", "--release", CANDIDATE, "--percent", "0",
                     "--canary", CLIENT_ADDRESS + "/32")
        self.assertEqual([MANIFEST + served, PACKAGE + served],
                         self.due_cycle("address", "cache_control"))
        self.assertEqual(INSTALLS_ACTIVEX, ENV.service_events())
        self.assertEqual(STARTED, ENV.wait_installer_record())
        self.assertEqual(CANDIDATE, ENV.installed_version("ActiveX"))

    @unittest.skipUnless(os.path.exists(NJS_MODULE) and
                         os.path.exists(environment.FAKETIME_LIBRARY),
                         "without nginx's njs module and libfaketime")
    def test_a_candidate_that_does_not_take_is_flagged_and_halted(self):
        """A canary of a candidate whose installer registers nothing
        downloads it again on a second day (nginx's clock a day ahead)."""
        ENV.set_installed("ActiveX", CURRENT)
        ENV.set_installed("Plugin", CURRENT)
        self.release(CURRENT)
        self.release(CANDIDATE, "--candidate", registers=False)
        ENV.start_origin(self.tree, rollout=True)
        self.rollout("start", "--release", CANDIDATE, "--percent", "0",
                     "--canary", "127.0.0.0/8")
        health = ("health", self.tree, "--access-log", ENV.origin.access_log(),
                  "--min-clients", "1")

        # Day one: the installer runs and registers nothing; no verdict yet.
        self.assertEqual([MANIFEST + (200,), PACKAGE + (200,)], self.due_cycle("status"))
        self.assertEqual((INSTALLS_ACTIVEX, 1), (ENV.service_events(), ENV.update_state()[1]))
        self.assertEqual(STARTED, ENV.wait_installer_record())
        self.assertEqual(CURRENT, ENV.installed_version("ActiveX"))
        early = publish(*health)
        self.assertEqual(0, early.returncode, early.stdout + early.stderr)
        self.assertIn("health: too-early: no manifest fetch of the candidate cohort yet",
                      early.stdout)

        # Day two: the same download again.
        ENV.stop_origin()
        ENV.start_origin(self.tree, rollout=True, clock_offset="+1d")
        self.assertEqual([MANIFEST + (200,), PACKAGE + (200,)], self.due_cycle("status"))
        self.assertEqual((INSTALLS_ACTIVEX, 2), (ENV.service_events(), ENV.update_state()[1]))
        self.assertEqual(STARTED, ENV.wait_installer_record())

        flagged = publish(*health, "--json")
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
        advanced = self.rollout("advance", *health[2:], expect=1)
        self.assertIn("the health gate failed: 100.0 % of the candidate cohort's 1 manifest "
                      "fetches (1 addresses) were followed by a repeated download",
                      advanced.stderr)
        self.assertTrue(json.loads(publish("rollout", "status", self.tree, "--json").stdout)
                        ["halted"])

        # The next check is served the current release: nothing to install,
        # and the attempt count stays where it was.
        self.assertEqual([MANIFEST + (200,)], self.due_cycle("status"))
        self.assertEqual((NOTHING_NEWER, 2), (ENV.service_events(), ENV.update_state()[1]))
        self.assertEqual(CURRENT, ENV.installed_version("ActiveX"))
        self.assertIsNone(ENV.installer_record())



if __name__ == "__main__":
    unittest.main()
