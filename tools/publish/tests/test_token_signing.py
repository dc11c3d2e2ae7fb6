"""Releases signed with a key in a PKCS #11 token (SoftHSM2): the key is
generated in the token and never leaves it, the PIN comes from a file or
the environment, and each failure to reach the key is refused with its cause
before anything is written.

Environment as for test_publish_commands, and PLUMIX_TEST_WORK: a folder in
the build tree for the tokens.
"""

import os
import pathlib
import shutil
import tempfile
import unittest

import soft_token
from release_kit import ReleaseKit
from test_publish_commands import publish

WORK = None
TOKENS = None
KIT = None


def setUpModule():
    global WORK, TOKENS, KIT
    WORK = pathlib.Path(tempfile.mkdtemp(prefix="token-signing-",
                                         dir=os.environ["PLUMIX_TEST_WORK"]))
    TOKENS = soft_token.SoftTokens(WORK / "softhsm")
    TOKENS.initialise("release")
    TOKENS.initialise("spare")
    TOKENS.generate_key("release", "signer")
    KIT = ReleaseKit(WORK / "kit", "Token")
    request = TOKENS.request("release", "signer", "/O=Wendral/CN=Token Signer",
                             WORK / "token-signer.csr")
    KIT.pki.certify("token-signer", request, "intermediate")


def tearDownModule():
    shutil.rmtree(WORK)


def release(out, key, *extra, env=None):
    return KIT.release(out, *extra, env=env or TOKENS.env,
                       **{"--signer-cert": KIT.pki.cert("token-signer"), "--signer-key": key})


class TokenSigningTest(unittest.TestCase):

    def test_release_signed_in_the_token_is_published_as_clients_accept_it(self):
        # No one can read this key: whatever signs with it is the token.
        self.assertEqual(TOKENS.private_key_access("release"),
                         ["sensitive, always sensitive, never extractable, local"])
        with_pin_in_environment = dict(TOKENS.env, PLUMIX_PKCS11_PIN=soft_token.PIN)
        cases = [
            ("PIN file, p11-kit's modules", ("--pin-file", TOKENS.pin_file), None),
            ("PIN in the environment, the module named", ("--pkcs11-module", soft_token.MODULE),
             with_pin_in_environment),
        ]
        for number, (label, extra, env) in enumerate(cases):
            with self.subTest(label):
                tree = WORK / ("tree-%d" % number)
                code, out, err = release(tree, soft_token.uri("release", "signer"), *extra,
                                         env=env)
                self.assertEqual(code, 0, out + err)
                self.assertIn('signer "CN=Token Signer,O=Wendral"', out)
                code, out, err = publish("check", tree, "--issuer", KIT.issuer)
                self.assertEqual(code, 0, out + err)
                self.assertEqual(out.count('signer "CN=Token Signer,O=Wendral"'), 4, out)

    def test_each_failure_to_reach_the_key_is_refused_with_its_cause(self):
        wrong_pin = WORK / "wrong-pin"
        wrong_pin.write_text("9999\n")
        no_pin = dict(TOKENS.env)
        no_pin.pop("PLUMIX_PKCS11_PIN", None)
        pin = ("--pin-file", TOKENS.pin_file)
        cases = [
            ("wrong PIN", soft_token.uri("release", "signer"), ("--pin-file", wrong_pin),
             'the PIN is wrong for token "release"'),
            ("missing object", soft_token.uri("release", "nothere"), pin,
             'token "release" holds no private key with label "nothere"'),
            ("token without the key", soft_token.uri("spare", "signer"), pin,
             'token "spare" holds no private key with label "signer"'),
            ("no such token", soft_token.uri("absent", "signer"), pin,
             'no token matches the URI (tokens present: '),
            ("PIN in the URI", soft_token.uri("release", "signer") + ";pin-value=1234", pin,
             "the URI carries the PIN, which the command line must not"),
            ("no PIN", soft_token.uri("release", "signer"), (),
             "the token needs its PIN: give --pin-file FILE or set PLUMIX_PKCS11_PIN"),
        ]
        for number, (label, key, extra, text) in enumerate(cases):
            with self.subTest(label):
                out = WORK / ("never-%d" % number)
                code, stdout, err = release(out, key, *extra, env=no_pin)
                self.assertEqual(code, 1, stdout + err)
                self.assertIn("%s: %s" % (key, text), err)
                self.assertIn("release refused: nothing was written", stdout)
                self.assertFalse(out.exists())

    def test_token_options_without_a_token_key_are_a_usage_error(self):
        code, out, err = release(WORK / "unused", KIT.pki.folder / "intermediate.key",
                                 "--pin-file", TOKENS.pin_file)
        self.assertEqual(code, 2, out + err)
        self.assertIn("--pin-file and --pkcs11-module go with a key in a token", err)


if __name__ == "__main__":
    unittest.main()
