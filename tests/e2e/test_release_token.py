"""A release signed with a key that never leaves its PKCS #11 token
(SoftHSM2) installs on the real service: plumix-publish signs through the
token, Debian's nginx serves the tree, and the service verifies the package
against the issuer built into it."""

import os
import shutil
import sys
import unittest

import environment
from environment import FILETIME_PER_HOUR, MANIFEST_PATH, PACKAGE_PATHS, POLICY_SILENT, \
    SILENT_VERBOSE, now_filetime

sys.path.insert(0, os.path.join(environment.SOURCE, "tools", "publish", "tests"))
import soft_token  # noqa: E402

ENV = None


def setUpModule():
    global ENV
    if not os.access(environment.PUBLISH, os.X_OK):
        raise unittest.SkipTest("needs the native plumix-publish (PLUMIX_PUBLISH)")
    if shutil.which("nginx") is None or shutil.which("softhsm2-util") is None:
        raise unittest.SkipTest("needs nginx (nginx-light) and SoftHSM2 (softhsm2)")
    ENV = environment.Environment(os.path.join(environment.BUILD, "e2e", "release-token"))
    ENV.set_up()


def tearDownModule():
    if ENV is not None:
        ENV.tear_down()


class TokenReleaseTest(unittest.TestCase):
    def setUp(self):
        ENV.reset()

    def tearDown(self):
        ENV.stop_origin()

    def test_release_signed_in_a_token_installs(self):
        tokens = soft_token.SoftTokens(os.path.join(ENV.work, "softhsm"))
        tokens.initialise("release")
        tokens.generate_key("release", "signer")
        tokens.request("release", "signer", "/CN=Plumix E2E Token Signer",
                       os.path.join(ENV.work, "token-signer.csr"))
        ENV.certify_signer("token-signer.csr", "token-signer.pem")
        tree = os.path.join(ENV.work, "origin")
        published = ENV.publish_release(
            tree, "10.2.0.1", "10.2.0.1", 2, "--pin-file", tokens.pin_file,
            signer=(os.path.join(ENV.work, "token-signer.pem"),
                    soft_token.uri("release", "signer")), env=tokens.env)
        self.assertEqual(0, published.returncode, published.stdout + published.stderr)

        ENV.write_settings(SILENT_VERBOSE)
        ENV.set_installed("ActiveX", "10.1.0.5")
        ENV.set_update_state(last_check=now_filetime() - 25 * FILETIME_PER_HOUR)
        ENV.start_origin(tree)
        ENV.run_scheduled_start()
        self.assertEqual(POLICY_SILENT + ["1618", "1608", "1600", "1602", "1609", "1612", "1620"],
                         ENV.service_events())
        self.assertEqual([MANIFEST_PATH, PACKAGE_PATHS[("ActiveX", False)]],
                         [request["path"] for request in ENV.requests()])
        self.assertEqual("PlumixPlayerInstaller.exe -install -iv 9", ENV.wait_installer_record())
        self.assertEqual("10.2.0.1", ENV.installed_version("ActiveX"))


if __name__ == "__main__":
    unittest.main()
