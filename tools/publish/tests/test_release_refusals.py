"""Inputs that would make clients loop, or that hide a mistake: each is
refused with a line naming its cause (or, for one installer given for both
variants, warned about).

Environment as for test_publish_commands.
"""

import os
import pathlib
import shutil
import tempfile
import unittest

import test_publish_commands as commands
from release_kit import ReleaseKit
from test_publish_commands import SOURCE, publish, run

OVER_32_BITS = 0x10000000F


class ReleaseRefusalsTest(unittest.TestCase):

    assertRefusedWith = commands.PublishCommandsTest.assertRefusedWith

    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="publish-refusals-"))
        cls.kit = ReleaseKit(cls.work / "kit", "Refusal")
        cls.pki = cls.kit.pki
        cls.pki.issue("long-exponent", "/O=Wendral/CN=Refusal Long Exponent Signer",
                      "intermediate", exponent=OVER_32_BITS)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

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
        pe32_plus = self.kit.installer(64, "12.0.0.1")
        long_exponent = self.pki.cert("long-exponent")
        cases = [
            ({"--check-frequency": "0"}, "--check-frequency",
             "0 makes the clients' task run every hour, as 1 does: give 1"),
            ({"--check-frequency": "5"}, "--check-frequency",
             "5 makes the clients' task run every four hours, as 4 does: give 4"),
            ({"--activex": pe32_plus}, pe32_plus,
             "is a 64-bit (PE32+) executable, which 32-bit Windows cannot run: the ActiveX "
             "32-bit package is what clients on 32-bit Windows install; give it with "
             "--activex-64"),
            ({"--signer-cert": both}, both,
             "holds 2 certificates: give the signer's alone here and the others with --chain"),
            ({"--chain": corrupt}, corrupt, "certificate block 2 does not read"),
            ({"--signer-key": fifo}, fifo, "a named pipe (FIFO), not a regular file"),
            ({"--plugin": "/dev/zero"}, "/dev/zero", "a character device, not a regular file"),
            ({"--signer-cert": long_exponent,
              "--signer-key": self.pki.folder / "long-exponent.key"}, long_exponent,
             "public exponent is longer than 32 bits: crypt32 holds the exponent in 32 bits"),
        ]
        for number, (replaced, file, text) in enumerate(cases):
            with self.subTest(text):
                out = self.work / ("never-%d" % number)
                result = self.kit.release(out, **replaced)
                self.assertRefusedWith(result, file, text)
                self.assertIn("release refused: nothing was written", result[1])
                self.assertFalse(out.exists())

    def test_what_clients_read_as_meant_is_published(self):
        for number, replaced in enumerate([{"--activex-64": self.kit.installer(32, "12.0.0.1")},
                                           {"--check-frequency": "1"},
                                           {"--check-frequency": "4"}]):
            with self.subTest(replaced):
                code, out, err = self.kit.release(self.work / ("meant-%d" % number), **replaced)
                self.assertEqual(code, 0, out + err)

    def test_one_installer_for_both_variants_is_published_with_a_warning(self):
        code, out, err = self.kit.release(self.work / "combined", plugin="12.0.0.1")
        self.assertEqual(code, 0, out + err)
        warnings = [line for line in err.splitlines() if line.startswith("warning: ")]
        for bits, option in ((32, "--activex"), (64, "--activex-64")):
            installer = self.kit.installer(bits, "12.0.0.1")
            self.assertIn("warning: %s: is the same installer as %s %s: unless it installs and "
                          "registers both ActiveX and Plugin, the clients of the variant it does "
                          "not register download it again at every due check"
                          % (installer, option, installer), warnings)

    def test_check_refuses_a_64_bit_installer_in_a_package_for_32_bit_windows(self):
        tree = self.work / "swapped"
        code, out, err = self.kit.release(tree)
        self.assertEqual(code, 0, out + err)
        run(SOURCE / "tools" / "sign-package" / "sign-package",
            "--content", self.kit.installer(64, "12.0.0.1"), "--out", tree / commands.PACKAGES[0],
            "--signer-cert", self.pki.cert("signer"), "--signer-key",
            self.pki.folder / "signer.key", "--certs", self.pki.cert("intermediate"))
        self.assertRefusedWith(publish("check", tree, "--issuer", self.kit.issuer),
                               "%s/%s" % (tree, commands.PACKAGES[0]),
                               "the installer in the package is a 64-bit (PE32+) executable, "
                               "which 32-bit Windows cannot run")

    def test_check_refuses_a_host_with_a_scheme_port_or_path_and_a_ca_file_that_is_a_pipe(self):
        fifo = self.work / "ca.fifo"
        os.mkfifo(fifo)
        cases = [("https://update.example.com", (), "--host https://update.example.com",
                  "without a scheme"),
                 ("update.example.com:8443", (), "--host update.example.com:8443",
                  "without a port"),
                 ("[::1]:443", (), "--host [::1]:443", "without a port"),
                 ("update.example.com/plumix", (), "--host update.example.com/plumix",
                  "without a path"),
                 ("update.example.com", ("--ca-file", fifo), fifo,
                  "a named pipe (FIFO), not a regular file")]
        for host, extra, file, text in cases:
            with self.subTest(host=host, extra=extra):
                self.assertRefusedWith(publish("check", "--host", host, "--issuer",
                                               self.kit.issuer, *extra), file, text)


if __name__ == "__main__":
    unittest.main()
