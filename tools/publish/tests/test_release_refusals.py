"""Inputs that would make clients loop, or that hide a mistake: each is
refused with a line naming its cause (or, for one installer given for both
variants, warned about), and a check of a live origin trusts only the CA file
it is given.

Environment as for test_publish_commands. Run it as root in a network
namespace of its own: the live check listens on 443/80, and the trust test
mounts a CA folder of its own over /etc/ssl/certs in a mount namespace.
"""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import test_publish_commands as commands
from test_publish_commands import SOURCE, installer, publish, run

OVER_32_BITS = 0x10000000F
SERVER_ADDRESS = "127.0.0.1"
FIXTURE = None


class Fixture:
    """A PKI (the issuer, an intermediate, a signer and a signer whose key's
    public exponent is over 32 bits) and installers, in a folder of their
    own."""

    def __init__(self, work):
        self.work = work
        pki = self.pki = commands.Pki(work / "pki")
        pki.self_signed("issuer", "/O=Wendral/CN=Refusal Test Issuer")
        pki.issue("intermediate", "/O=Wendral/CN=Refusal Test Intermediate", "issuer",
                  authority=True)
        pki.issue("signer", "/O=Wendral/CN=Refusal Test Signer", "intermediate")
        pki.issue("long-exponent", "/O=Wendral/CN=Refusal Long Exponent Signer", "intermediate",
                  exponent=OVER_32_BITS)
        self.issuer = work / "issuer.der"
        run("openssl", "x509", "-in", pki.cert("issuer"), "-outform", "DER", "-out", self.issuer)
        files = work / "installers"
        files.mkdir()
        self.installers = {(bits, version): installer(files, "i%d-%s.exe" % (bits, version), bits,
                                                      version)
                           for bits in (32, 64) for version in ("12.0.0.1", "12.0.0.2")}

    def release(self, out, **replaced):
        """plumix-publish release into out, some options' values replaced."""
        options = {
            "--check-frequency": "2",
            "--issuer": self.issuer,
            "--signer-cert": self.pki.cert("signer"),
            "--signer-key": self.pki.folder / "signer.key",
            "--chain": self.pki.cert("intermediate"),
            "--activex": self.installers[(32, "12.0.0.1")],
            "--activex-64": self.installers[(64, "12.0.0.1")],
            "--plugin": self.installers[(32, "12.0.0.2")],
            "--plugin-64": self.installers[(64, "12.0.0.2")],
        }
        options.update(replaced)
        arguments = ["release", "--out", out]
        for name, value in options.items():
            arguments += [name, value]
        return publish(*arguments)


def setUpModule():
    global FIXTURE
    FIXTURE = Fixture(pathlib.Path(tempfile.mkdtemp(prefix="publish-refusals-")))


def tearDownModule():
    shutil.rmtree(FIXTURE.work)


class ReleaseRefusalsTest(unittest.TestCase):

    def setUp(self):
        self.work = FIXTURE.work
        self.pki = FIXTURE.pki
        self.installers = FIXTURE.installers
        self.release = FIXTURE.release

    def assertRefusedWith(self, result, file, text):
        code, out, err = result
        self.assertEqual(code, 1, out + err)
        self.assertTrue(any(line.startswith("%s: " % file) and text in line
                            for line in err.splitlines()),
                        "no line '%s: ...%s...' in:\n%s" % (file, text, err))

    def test_each_mistake_is_refused_with_its_cause_and_nothing_is_written(self):
        both = self.work / "signer-and-intermediate.pem"
        both.write_bytes(self.pki.cert("signer").read_bytes() +
                         self.pki.cert("intermediate").read_bytes())
        corrupt = self.work / "corrupt-second-block.pem"
        good = self.pki.cert("intermediate").read_text()
        body = good.split("\n")[1:-2]
        body[3] = body[3][:10] + "!" + body[3][11:]
        corrupt.write_text(good + "-----BEGIN CERTIFICATE-----\n" + "\n".join(body) +
                           "\n-----END CERTIFICATE-----\n")
        fifo = self.work / "key.fifo"
        os.mkfifo(fifo)
        pe32_plus = self.installers[(64, "12.0.0.1")]
        cases = [
            ("check frequency 0", {"--check-frequency": "0"}, "--check-frequency",
             "0 makes the clients' task run every hour, as 1 does: give 1"),
            ("check frequency 5", {"--check-frequency": "5"}, "--check-frequency",
             "5 makes the clients' task run every four hours, as 4 does: give 4"),
            ("64-bit installer for 32-bit Windows", {"--activex": pe32_plus}, pe32_plus,
             "is a 64-bit (PE32+) executable, which 32-bit Windows cannot run: the ActiveX "
             "32-bit package is what clients on 32-bit Windows install; give it with "
             "--activex-64"),
            ("two certificates as the signer's", {"--signer-cert": both}, both,
             "holds 2 certificates: give the signer's alone here and the others with --chain"),
            ("corrupt block after a good one", {"--chain": corrupt}, corrupt,
             "certificate block 2 does not read"),
            ("named pipe as the key", {"--signer-key": fifo}, fifo,
             "a named pipe (FIFO), not a regular file"),
            ("device as an installer", {"--plugin": "/dev/zero"}, "/dev/zero",
             "a character device, not a regular file"),
            ("signer key with an exponent over 32 bits",
             {"--signer-cert": self.pki.cert("long-exponent"),
              "--signer-key": self.pki.folder / "long-exponent.key"},
             self.pki.cert("long-exponent"),
             "public exponent is longer than 32 bits: crypt32 holds the exponent in 32 bits"),
        ]
        for number, (label, replaced, file, text) in enumerate(cases):
            with self.subTest(label):
                out = self.work / ("never-%d" % number)
                result = self.release(out, **replaced)
                self.assertRefusedWith(result, file, text)
                self.assertIn("release refused: nothing was written", result[1])
                self.assertFalse(out.exists())

    def test_what_clients_read_as_meant_is_published(self):
        cases = [("32-bit installer for 64-bit Windows",
                  {"--activex-64": self.installers[(32, "12.0.0.1")]}),
                 ("check frequency 1", {"--check-frequency": "1"}),
                 ("check frequency 4", {"--check-frequency": "4"})]
        for number, (label, replaced) in enumerate(cases):
            with self.subTest(label):
                code, out, err = self.release(self.work / ("meant-%d" % number), **replaced)
                self.assertEqual(code, 0, out + err)

    def test_one_installer_for_both_variants_is_published_with_a_warning(self):
        code, out, err = self.release(self.work / "combined",
                                      **{"--plugin": self.installers[(32, "12.0.0.1")],
                                         "--plugin-64": self.installers[(64, "12.0.0.1")]})
        self.assertEqual(code, 0, out + err)
        warnings = [line for line in err.splitlines() if line.startswith("warning: ")]
        for bits, option in ((32, "--activex"), (64, "--activex-64")):
            self.assertIn("warning: %s: is the same installer as %s %s: unless it installs and "
                          "registers both ActiveX and Plugin, the clients of the variant it does "
                          "not register download it again at every due check"
                          % (self.installers[(bits, "12.0.0.1")], option,
                             self.installers[(bits, "12.0.0.1")]), warnings)

    def test_check_refuses_a_64_bit_installer_in_a_package_for_32_bit_windows(self):
        tree = self.work / "swapped"
        code, out, err = self.release(tree)
        self.assertEqual(code, 0, out + err)
        run(SOURCE / "tools" / "sign-package" / "sign-package",
            "--content", self.installers[(64, "12.0.0.1")], "--out", tree / commands.PACKAGES[0],
            "--signer-cert", self.pki.cert("signer"), "--signer-key",
            self.pki.folder / "signer.key", "--certs", self.pki.cert("intermediate"))
        self.assertRefusedWith(publish("check", tree, "--issuer", FIXTURE.issuer),
                               "%s/%s" % (tree, commands.PACKAGES[0]),
                               "the installer in the package is a 64-bit (PE32+) executable, "
                               "which 32-bit Windows cannot run")

    def test_check_host_with_a_scheme_port_or_path_is_refused(self):
        cases = [("https://update.example.com", "without a scheme"),
                 ("update.example.com:8443", "without a port"),
                 ("[::1]:443", "without a port"),
                 ("update.example.com/plumix", "without a path")]
        for host, text in cases:
            with self.subTest(host):
                self.assertRefusedWith(publish("check", "--host", host, "--issuer",
                                               FIXTURE.issuer),
                                       "--host " + host, text)

    def test_check_refuses_a_ca_file_that_is_a_named_pipe_before_opening_it(self):
        fifo = self.work / "ca.fifo"
        os.mkfifo(fifo)
        self.assertRefusedWith(publish("check", "--host", "update.example.com", "--issuer",
                                       FIXTURE.issuer, "--ca-file", fifo),
                               fifo, "a named pipe (FIFO), not a regular file")


class CheckTrustTest(unittest.TestCase):
    """check --host with --ca-file trusts that file alone, not the CA folder
    libcurl is built with (/etc/ssl/certs)."""

    def setUp(self):
        self.work = FIXTURE.work / "trust"
        self.work.mkdir()
        self.addCleanup(shutil.rmtree, self.work)
        tree = self.work / "tree"
        code, out, err = FIXTURE.release(tree)
        self.assertEqual(code, 0, out + err)
        certs = self.work / "server-certs"
        subprocess.run([SOURCE / "tools" / "update-server" / "make-test-certs.sh", certs,
                        SERVER_ADDRESS], check=True, capture_output=True)
        # The system's trust as this test shows it: the server's CA in the
        # folder only (hashed), another CA in the folder's bundle file.
        self.system = self.work / "system-certs"
        self.system.mkdir()
        shutil.copyfile(certs / "ca.pem", self.system / "server-ca.pem")
        shutil.copyfile(FIXTURE.pki.cert("issuer"), self.system / "ca-certificates.crt")
        run("openssl", "rehash", self.system)
        self.server = subprocess.Popen(
            [sys.executable, SOURCE / "tools" / "update-server" / "update_server.py",
             "--address", SERVER_ADDRESS, "--root", tree, "--cert", certs / "server.pem",
             "--key", certs / "server.key", "--requests", self.work / "requests.log"],
            stdout=subprocess.PIPE, text=True)
        self.addCleanup(self.server.wait, 30)
        self.addCleanup(self.server.terminate)
        deadline = time.monotonic() + commands.SERVER_START_SECONDS
        line = ""
        while "ready" not in line and time.monotonic() < deadline:
            line = self.server.stdout.readline()
        self.assertIn("ready", line)

    def check_with_system_trust(self, *extra):
        """check --host with this test's CA folder mounted over
        /etc/ssl/certs, in a mount namespace of its own."""
        finished = subprocess.run(
            ["unshare", "-m", "sh", "-c", 'mount --bind "$0" /etc/ssl/certs && exec "$@"',
             self.system, commands.PUBLISH, "check", "--host", SERVER_ADDRESS,
             "--issuer", FIXTURE.issuer, *extra], capture_output=True, text=True, timeout=300)
        return finished.returncode, finished.stdout, finished.stderr

    def test_ca_file_is_the_only_trust(self):
        code, out, err = self.check_with_system_trust()
        self.assertEqual(code, 0, "the system's CA folder should trust the server: " + out + err)
        code, out, err = self.check_with_system_trust("--ca-file", FIXTURE.pki.cert("issuer"))
        self.assertEqual(code, 1, out + err)
        self.assertIn("https://%s/%s: could not be fetched" % (SERVER_ADDRESS, commands.MANIFEST),
                      err)


if __name__ == "__main__":
    unittest.main()
