"""PKCS #11 tokens for tests: SoftHSM2 with its token folder in a folder of
the test's own (SOFTHSM2_CONF), keys generated inside a token with
pkcs11-tool (opensc), never extractable, and certificate requests signed by
such a key through OpenSSL's pkcs11 engine."""

import os
import pathlib
import subprocess

MODULE = "/usr/lib/softhsm/libsofthsm2.so"
SO_PIN = "87654321"
PIN = "1234"


class SoftTokens:
    """SoftHSM2 tokens kept in folder; env is the environment that finds
    them (for plumix-publish too, through p11-kit or MODULE)."""

    def __init__(self, folder):
        self.folder = pathlib.Path(folder)
        tokens = self.folder / "tokens"
        tokens.mkdir(parents=True)
        config = self.folder / "softhsm2.conf"
        config.write_text("directories.tokendir = %s\nobjectstore.backend = file\n"
                          "log.level = ERROR\n" % tokens)
        self.env = dict(os.environ, SOFTHSM2_CONF=str(config))
        self.pin_file = self.folder / "pin"
        self.pin_file.write_text(PIN + "\n")

    def run(self, *arguments):
        return subprocess.run([str(a) for a in arguments], env=self.env, check=True,
                              capture_output=True, text=True)

    def initialise(self, label):
        self.run("softhsm2-util", "--init-token", "--free", "--label", label,
                 "--so-pin", SO_PIN, "--pin", PIN)

    def generate_key(self, token, label):
        """An RSA key pair made inside the token: the private key is
        sensitive and never extractable."""
        self.run("pkcs11-tool", "--module", MODULE, "--token-label", token, "--login",
                 "--pin", PIN, "--keypairgen", "--key-type", "rsa:2048", "--label", label,
                 "--id", "01", "--usage-sign")

    def private_key_access(self, token):
        """What pkcs11-tool says of the private keys' access on token."""
        listed = self.run("pkcs11-tool", "--module", MODULE, "--token-label", token, "--login",
                          "--pin", PIN, "--list-objects", "--type", "privkey").stdout
        return [line.split(":", 1)[1].strip() for line in listed.splitlines()
                if line.strip().startswith("Access:")]

    def request(self, token, label, subject, out):
        """A certificate request for the token's key, signed by it through
        OpenSSL's pkcs11 engine."""
        self.run("openssl", "req", "-new", "-engine", "pkcs11", "-keyform", "engine",
                 "-key", "pkcs11:token=%s;object=%s;type=private;pin-value=%s"
                 % (token, label, PIN), "-subj", subject, "-out", out)
        return out


def uri(token, label):
    return "pkcs11:token=%s;object=%s" % (token, label)
