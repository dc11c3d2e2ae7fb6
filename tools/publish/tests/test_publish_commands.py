"""plumix-publish release and check, run as scripts and pipelines run them.

Each refusal must exit 1 with a line "FILE: reason" on standard error and
leave an existing tree byte for byte as it was; check must fail on a tree
altered after publishing and pass against a live loopback origin.

Environment: PLUMIX_PUBLISH (the program), PLUMIX_TEST_INSTALLERS (the folder
with installer-32.exe and installer-64.exe, version 12.3.456.7890),
PLUMIX_SOURCE_DIR. The PKI is made here with openssl, in a temporary folder.
Run it as root in a network namespace of its own: the live check listens on
443/80, and mounts a CA folder of its own over /etc/ssl/certs in a mount
namespace to show that --ca-file is the only trust.
"""

import datetime
import fcntl
import json
import os
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

PUBLISH = os.environ["PLUMIX_PUBLISH"]
INSTALLERS = pathlib.Path(os.environ["PLUMIX_TEST_INSTALLERS"])
SOURCE = pathlib.Path(os.environ["PLUMIX_SOURCE_DIR"])
sys.path.insert(0, str(SOURCE / "tests" / "packages"))
from make_package_corpus import EXPIRED_PERIOD, Pki, run  # noqa: E402

MANIFEST = "pub/plumixplayer/update/current/sau/11/xml/version.xml"
PACKAGES = ["pub/plumixplayer/update/current/sau/11/install/install_all_win_%s_sgn.z" % kind
            for kind in ("ax", "64_ax", "pl", "64_pl")]
MAX_PACKAGE_BYTES = 512 * 1024 * 1024
OVER_32_BITS = 0x10000000F
FIXED_INFO_SIGNATURE = b"\xbd\x04\xef\xfe"
SERVER_ADDRESS = "127.0.0.1"
SERVER_START_SECONDS = 30


def openssl_date(moment):
    return moment.strftime("%Y%m%d%H%M%SZ")


def installer(folder, name, bits, version):
    """A copy of the test installer whose fixed file version is version."""
    data = bytearray((INSTALLERS / ("installer-%d.exe" % bits)).read_bytes())
    at = data.find(FIXED_INFO_SIGNATURE)
    assert at > 0 and data.find(FIXED_INFO_SIGNATURE, at + 1) < 0
    major, minor, build_major, build_minor = (int(part) for part in version.split("."))
    struct.pack_into("<II", data, at + 8, major << 16 | minor, build_major << 16 | build_minor)
    path = folder / name
    path.write_bytes(bytes(data))
    return path


STORE = ".plumix-publish"


def snapshot(root):
    """Every entry under root, links not followed: a file's bytes, a link's target."""
    entries = {}
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            path = pathlib.Path(folder) / name
            key = str(path.relative_to(root))
            if path.is_symlink():
                entries[key] = "-> " + os.readlink(path)
            elif path.is_file():
                entries[key] = path.read_bytes()
    return entries


def served(root):
    """What a static server serves from root: every file through the links, the store aside."""
    entries = {}
    for folder, folders, files in os.walk(root, followlinks=True):
        folders[:] = [name for name in folders if name != STORE]
        for name in files:
            path = pathlib.Path(folder) / name
            entries[str(path.relative_to(root))] = path.read_bytes()
    return entries


def publish(*arguments, env=None):
    finished = subprocess.run([PUBLISH, *map(str, arguments)], capture_output=True, text=True,
                              env=env, timeout=300)
    return finished.returncode, finished.stdout, finished.stderr


class PublishCommandsTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="publish-test-"))
        pki = cls.pki = Pki(cls.work / "pki")
        pki.self_signed("issuer", "/O=Wendral/CN=Release Test Issuer")
        pki.issue("intermediate", "/O=Wendral/CN=Release Test Intermediate", "issuer",
                  authority=True)
        pki.issue("signer", "/O=Wendral/CN=Release Test Signer", "intermediate")
        pki.issue("expired", "/O=Wendral/CN=Release Expired Signer", "intermediate",
                  period=EXPIRED_PERIOD)
        now = datetime.datetime.now(datetime.timezone.utc)
        pki.issue("expiring", "/O=Wendral/CN=Release Expiring Signer", "intermediate",
                  period=(openssl_date(now - datetime.timedelta(days=1)),
                          openssl_date(now + datetime.timedelta(days=10))))
        pki.self_signed("unrelated-root", "/O=Wendral/CN=Release Test Issuer")
        pki.issue("unrelated", "/O=Wendral/CN=Release Test Signer", "unrelated-root")
        pki.issue("direct-leaf", "/O=Wendral/CN=Release Direct Leaf", "issuer")
        pki.issue("leaf-issued", "/O=Wendral/CN=Release Signer From A Leaf", "direct-leaf")
        pki.self_signed("other-issuer", "/O=Wendral/CN=Release Other Issuer")
        pki.issue("long-exponent", "/O=Wendral/CN=Release Long Exponent Signer", "intermediate",
                  exponent=OVER_32_BITS)
        for name in ("issuer", "other-issuer"):
            run("openssl", "x509", "-in", pki.cert(name), "-outform", "DER",
                "-out", cls.work / (name + ".der"))
        cls.issuer = cls.work / "issuer.der"
        files = cls.work / "installers"
        files.mkdir()
        cls.installers = {
            (bits, version): installer(files, "i%d-%s.exe" % (bits, version), bits, version)
            for bits in (32, 64) for version in ("12.0.0.1", "12.0.0.2", "11.9.0.0", "12.0.0.3")}
        cls.good_tree = cls.work / "good"
        code, out, err = publish(*cls.release_arguments(cls.good_tree))
        assert code == 0, out + err

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    @classmethod
    def release_arguments(cls, out, signer="signer", chain=("intermediate",), issuer=None,
                          activex=("12.0.0.1", "12.0.0.1"), plugin=("12.0.0.2", "12.0.0.2"),
                          extra=()):
        arguments = ["release", "--out", out, "--check-frequency", "2",
                     "--issuer", issuer or cls.issuer,
                     "--signer-cert", cls.pki.cert(signer),
                     "--signer-key", cls.pki.folder / (signer + ".key")]
        for name in chain:
            arguments += ["--chain", cls.pki.cert(name)]
        arguments += ["--activex", cls.installers[(32, activex[0])],
                      "--activex-64", cls.installers[(64, activex[1])],
                      "--plugin", cls.installers[(32, plugin[0])],
                      "--plugin-64", cls.installers[(64, plugin[1])]]
        return arguments + list(extra)

    def copy_of_good_tree(self, name):
        copy = self.work / name
        if copy.exists():
            shutil.rmtree(copy)
        shutil.copytree(self.good_tree, copy)
        return copy

    def assertRefusedWith(self, result, file, text):
        code, out, err = result
        self.assertEqual(code, 1, out + err)
        lines = [line for line in err.splitlines() if not line.startswith("warning: ")]
        self.assertTrue(any(line.startswith("%s: " % file) and text in line for line in lines),
                        "no line '%s: ...%s...' in:\n%s" % (file, text, err))

    def test_good_release_announces_versions_and_writes_every_file(self):
        code, out, err = publish(*self.release_arguments(self.work / "fresh"))
        self.assertEqual(code, 0, err)
        self.assertIn("announcing ActiveX 12.0.0.1", out)
        self.assertIn("announcing Plugin 12.0.0.2", out)
        tree = served(self.work / "fresh")
        self.assertEqual(sorted(tree), sorted(PACKAGES + [MANIFEST, "release.json"]))
        manifest = tree[MANIFEST].decode()
        self.assertIn('<ActiveX major="12" minor="0" buildMajor="0" buildMinor="1"/>', manifest)
        self.assertIn('<SAUConfig checkFrequency="2"/>', manifest)
        record = json.loads(tree["release.json"])
        self.assertEqual(record["announced"], {"ActiveX": "12.0.0.1", "Plugin": "12.0.0.2"})
        self.assertEqual([package["size"] for package in record["packages"]],
                         [len(tree[path]) for path in PACKAGES])
        self.assertEqual(record["signer"]["subject"], "CN=Release Test Signer,O=Wendral")
        self.assertEqual([p.name for p in self.work.iterdir() if p.name.startswith(".fresh")], [])
        self.assertEqual(sorted(os.listdir(self.work / "fresh" / STORE)),
                         ["current", "lock", "nginx", "releases", "rollout.json"])

    def test_each_refusal_names_the_file_and_leaves_the_tree_as_it_was(self):
        not_pe = self.work / "notes.txt"
        not_pe.write_text("release notes, not an installer\n")
        huge = self.work / "huge.exe"
        with open(huge, "wb") as sparse:
            sparse.truncate(MAX_PACKAGE_BYTES + 1)
        wrong_issuer_pem = self.pki.cert("issuer")
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
        package = "%s/%s" % (self.good_tree, PACKAGES[0])
        cases = [
            ("expired signer", dict(signer="expired"), self.pki.cert("expired"),
             '"CN=Release Expired Signer,O=Wendral" expired on 2021-01-01'),
            ("unrelated CA with the issuer's name",
             dict(signer="unrelated", chain=("unrelated-root",)), package,
             "another authority with the issuer certificate's name: the issuer's key did not "
             "sign it"),
            ("leaf acting as issuer", dict(signer="leaf-issued", chain=("direct-leaf",)), package,
             '"CN=Release Direct Leaf,O=Wendral" would issue "CN=Release Signer From A Leaf,'
             'O=Wendral" but is not a certification authority'),
            ("another issuer", dict(issuer=self.work / "other-issuer.der"), package,
             'which the issuer certificate "CN=Release Other Issuer,O=Wendral" did not sign'),
            ("issuer file in PEM", dict(issuer=wrong_issuer_pem), wrong_issuer_pem,
             "not a DER certificate"),
            ("versions of the two architectures differ", dict(activex=("12.0.0.1", "12.0.0.3")),
             self.installers[(64, "12.0.0.3")],
             "carries version 12.0.0.3, but the ActiveX 32-bit installer"),
            ("lower than the previous release",
             dict(activex=("11.9.0.0", "11.9.0.0"), extra=("--previous", self.good_tree)),
             self.installers[(32, "11.9.0.0")],
             "version 11.9.0.0 is lower than 12.0.0.1, which the previous release announces "
             "for ActiveX"),
            ("installer that is not a PE", dict(extra=("--plugin", not_pe)), not_pe,
             "not a Windows executable"),
            ("installer over the download bound", dict(extra=("--plugin-64", huge)), huge,
             "larger than 536870912 bytes"),
            # What would make clients loop, or hide a mistake.
            ("check frequency 0", dict(extra=("--check-frequency", "0")), "--check-frequency",
             "0 makes the clients' task run every hour, as 1 does: give 1"),
            ("check frequency 5", dict(extra=("--check-frequency", "5")), "--check-frequency",
             "5 makes the clients' task run every four hours, as 4 does: give 4"),
            ("64-bit installer for 32-bit Windows", dict(extra=("--activex", pe32_plus)),
             pe32_plus, "is a 64-bit (PE32+) executable, which 32-bit Windows cannot run: the "
             "ActiveX 32-bit package is what clients on 32-bit Windows install; give it with "
             "--activex-64"),
            ("two certificates as the signer's", dict(extra=("--signer-cert", both)), both,
             "holds 2 certificates: give the signer's alone here and the others with --chain"),
            ("corrupt block after a good one", dict(extra=("--chain", corrupt)), corrupt,
             "certificate block 2 does not read"),
            ("named pipe as the key", dict(extra=("--signer-key", fifo)), fifo,
             "a named pipe (FIFO), not a regular file"),
            ("device as an installer", dict(extra=("--plugin", "/dev/zero")), "/dev/zero",
             "a character device, not a regular file"),
            ("signer key with an exponent over 32 bits", dict(signer="long-exponent"),
             self.pki.cert("long-exponent"),
             "public exponent is longer than 32 bits: crypt32 holds the exponent in 32 bits"),
        ]
        before = snapshot(self.good_tree)
        for label, change, file, text in cases:
            with self.subTest(label):
                extra = change.pop("extra", ())
                arguments = self.release_arguments(self.good_tree, **change)
                # A later option of the same name would be a usage error; replace it.
                for at in range(0, len(extra), 2):
                    if extra[at] in arguments:
                        arguments[arguments.index(extra[at]) + 1] = extra[at + 1]
                    else:
                        arguments += extra[at:at + 2]
                result = publish(*arguments)
                self.assertRefusedWith(result, file, text)
                self.assertIn("release refused: nothing was written", result[1])
                self.assertEqual(snapshot(self.good_tree), before)
        self.assertEqual([p.name for p in self.work.iterdir() if p.name.startswith(".good")], [])

    def test_what_clients_read_as_meant_is_published(self):
        for number, extra in enumerate([("--activex-64", self.installers[(32, "12.0.0.1")]),
                                        ("--check-frequency", "1"), ("--check-frequency", "4")]):
            with self.subTest(extra):
                arguments = self.release_arguments(self.work / ("meant-%d" % number))
                arguments[arguments.index(extra[0]) + 1] = extra[1]
                code, out, err = publish(*arguments)
                self.assertEqual(code, 0, out + err)

    def test_one_installer_for_both_variants_is_published_with_a_warning(self):
        code, out, err = publish(*self.release_arguments(self.work / "combined",
                                                         plugin=("12.0.0.1", "12.0.0.1")))
        self.assertEqual(code, 0, out + err)
        warnings = [line for line in err.splitlines() if line.startswith("warning: ")]
        for bits, option in ((32, "--activex"), (64, "--activex-64")):
            installer = self.installers[(bits, "12.0.0.1")]
            self.assertIn("warning: %s: is the same installer as %s %s: unless it installs and "
                          "registers both ActiveX and Plugin, the clients of the variant it does "
                          "not register download it again at every due check"
                          % (installer, option, installer), warnings)

    def test_key_of_another_certificate_is_refused(self):
        arguments = self.release_arguments(self.work / "unused")
        arguments[arguments.index("--signer-key") + 1] = self.pki.folder / "expired.key"
        self.assertRefusedWith(publish(*arguments), self.pki.folder / "expired.key",
                               "the key does not belong to the certificate")

    def test_equal_or_allowed_older_announcement_is_published_with_a_warning(self):
        code, out, err = publish(*self.release_arguments(
            self.work / "equal", extra=("--previous", self.good_tree)))
        self.assertEqual(code, 0, err)
        self.assertIn("equals the previous release's for ActiveX: no client will update", err)
        code, out, err = publish(*self.release_arguments(
            self.work / "older", activex=("11.9.0.0", "11.9.0.0"),
            extra=("--previous", self.good_tree, "--allow-older")))
        self.assertEqual(code, 0, err)
        self.assertIn("warning: ", err)
        self.assertIn("lower than the previous 12.0.0.1 for ActiveX", err)

    def test_signer_expiring_within_30_days_is_a_warning_with_its_date(self):
        code, out, err = publish(*self.release_arguments(self.work / "soon", signer="expiring"))
        self.assertEqual(code, 0, err)
        warnings = [line for line in err.splitlines() if line.startswith("warning: ")]
        self.assertEqual(len(warnings), 1, err)
        self.assertRegex(warnings[0], r'"CN=Release Expiring Signer,O=Wendral" expires on '
                                      r'\d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC, within 30 days')

    def test_refused_release_into_a_new_folder_creates_nothing(self):
        target = self.work / "never"
        self.assertEqual(publish(*self.release_arguments(target, signer="expired"))[0], 1)
        self.assertFalse(target.exists())

    def test_check_passes_on_a_published_tree(self):
        code, out, err = publish("check", self.good_tree, "--issuer", self.issuer)
        self.assertEqual(code, 0, err)
        self.assertIn("manifest announces ActiveX 12.0.0.1, Plugin 12.0.0.2, check frequency 2",
                      out)
        self.assertEqual(out.count(": accepted, installer "), 4)

    def test_check_fails_on_a_tree_altered_after_publishing(self):
        tree = self.copy_of_good_tree("altered-package")
        package = tree / PACKAGES[2]
        data = bytearray(package.read_bytes())
        data[len(data) // 2] ^= 0x01
        package.write_bytes(bytes(data))
        self.assertRefusedWith(publish("check", tree, "--issuer", self.issuer),
                               "%s/%s" % (tree, PACKAGES[2]), "differs from what was published")

        tree = self.copy_of_good_tree("altered-manifest")
        manifest = tree / MANIFEST
        manifest.write_text(manifest.read_text().replace('buildMinor="2"', 'buildMinor="3"'))
        result = publish("check", tree, "--issuer", self.issuer)
        self.assertRefusedWith(result, "%s/%s" % (tree, PACKAGES[3]),
                               "the installer carries version 12.0.0.2 but the manifest "
                               "announces 12.0.0.3 for Plugin")
        self.assertRefusedWith(result, "%s/%s" % (tree, MANIFEST), "differs from what was")

        tree = self.copy_of_good_tree("broken-manifest")
        (tree / MANIFEST).write_text("<version><ActiveX/></version>")
        self.assertRefusedWith(publish("check", tree, "--issuer", self.issuer),
                               "%s/%s" % (tree, MANIFEST), "the clients' parser does not find")

    def test_check_refuses_a_package_larger_than_the_service_downloads(self):
        tree = self.copy_of_good_tree("oversized")
        with open(tree / PACKAGES[1], "r+b") as package:
            package.truncate(MAX_PACKAGE_BYTES + 1)
        self.assertRefusedWith(publish("check", tree, "--issuer", self.issuer),
                               "%s/%s" % (tree, PACKAGES[1]),
                               "the service does not download packages that large")

    def test_check_refuses_a_64_bit_installer_in_a_package_for_32_bit_windows(self):
        tree = self.copy_of_good_tree("swapped")
        run(SOURCE / "tools" / "sign-package" / "sign-package",
            "--content", self.installers[(64, "12.0.0.1")], "--out", tree / PACKAGES[0],
            "--signer-cert", self.pki.cert("signer"), "--signer-key",
            self.pki.folder / "signer.key", "--certs", self.pki.cert("intermediate"))
        self.assertRefusedWith(publish("check", tree, "--issuer", self.issuer),
                               "%s/%s" % (tree, PACKAGES[0]),
                               "the installer in the package is a 64-bit (PE32+) executable, "
                               "which 32-bit Windows cannot run")

    def test_check_refuses_a_host_with_a_scheme_port_or_path_and_a_ca_file_that_is_a_pipe(self):
        fifo = self.work / "ca.fifo"
        os.mkfifo(fifo)
        cases = [("https://update.example.com", (), "without a scheme"),
                 ("update.example.com:8443", (), "without a port"),
                 ("[::1]:443", (), "without a port"),
                 ("update.example.com/plumix", (), "without a path"),
                 ("update.example.com", ("--ca-file", fifo),
                  "a named pipe (FIFO), not a regular file")]
        for host, extra, text in cases:
            with self.subTest(host=host, extra=extra):
                self.assertRefusedWith(publish("check", "--host", host, "--issuer", self.issuer,
                                               *extra), extra[1] if extra else "--host " + host,
                                       text)

    def test_check_host_fetches_as_the_clients_do(self):
        certs = self.work / "server-certs"
        subprocess.run([SOURCE / "tools" / "update-server" / "make-test-certs.sh", certs,
                        SERVER_ADDRESS], check=True, capture_output=True)
        requests = self.work / "requests.log"
        server = subprocess.Popen(
            [sys.executable, SOURCE / "tools" / "update-server" / "update_server.py",
             "--address", SERVER_ADDRESS, "--root", self.good_tree,
             "--cert", certs / "server.pem", "--key", certs / "server.key",
             "--requests", requests], stdout=subprocess.PIPE, text=True)
        try:
            deadline = time.monotonic() + SERVER_START_SECONDS
            line = ""
            while "ready" not in line and time.monotonic() < deadline:
                line = server.stdout.readline()
            self.assertIn("ready", line)
            code, out, err = publish("check", "--host", SERVER_ADDRESS, "--issuer", self.issuer,
                                     "--ca-file", certs / "ca.pem")
            self.assertEqual(code, 0, out + err)
            seen = [json.loads(line) for line in requests.read_text().splitlines()]
            self.assertEqual(
                [(r["scheme"], r["path"], r["user_agent"]) for r in seen],
                [("https", "/" + MANIFEST, "Get Plumix Player version xml/1.0")] +
                [("http", "/" + path, "Download Plumix Player Installer/1.0")
                 for path in PACKAGES])
            # Without the test CA the system's trust refuses the server.
            self.assertRefusedWith(
                publish("check", "--host", SERVER_ADDRESS, "--issuer", self.issuer),
                "https://%s/%s" % (SERVER_ADDRESS, MANIFEST), "could not be fetched")
            # --ca-file is the only trust: with a CA folder of this test's own
            # mounted over /etc/ssl/certs (the server's CA hashed in it, another
            # CA in its bundle file), check passes without --ca-file and is
            # refused with another CA's file.
            system = self.work / "system-certs"
            system.mkdir()
            shutil.copyfile(certs / "ca.pem", system / "server-ca.pem")
            shutil.copyfile(self.pki.cert("issuer"), system / "ca-certificates.crt")
            run("openssl", "rehash", system)
            for extra, expected in (((), 0), (("--ca-file", self.pki.cert("issuer")), 1)):
                finished = subprocess.run(
                    ["unshare", "-m", "sh", "-c", 'mount --bind "$0" /etc/ssl/certs && exec "$@"',
                     system, PUBLISH, "check", "--host", SERVER_ADDRESS, "--issuer", self.issuer,
                     *map(str, extra)], capture_output=True, text=True, timeout=300)
                self.assertEqual(finished.returncode, expected, finished.stdout + finished.stderr)
            self.assertIn("%s: could not be fetched" % MANIFEST, finished.stderr)
        finally:
            server.terminate()
            server.wait(timeout=30)

    def publish_into(self, target, version, *extra):
        return publish(*self.release_arguments(target, activex=(version, version),
                                               plugin=(version, version), extra=extra))

    def test_release_store_keeps_the_operators_files_clears_leftovers_and_compares(self):
        target = self.work / "operated"
        (target / ".well-known").mkdir(parents=True)
        (target / ".well-known" / "token").write_text("proof")
        target.chmod(0o711)
        self.assertEqual(self.publish_into(target, "12.0.0.1")[0], 0)
        # What an interrupted release left is cleared by the next one.
        (target / STORE / "staging-abc123" / "pub").mkdir(parents=True)
        (target / STORE / "current.new").symlink_to("releases/nowhere")
        code, out, err = self.publish_into(target, "12.0.0.2")
        self.assertEqual(code, 0, out + err)
        self.assertEqual((target / ".well-known" / "token").read_text(), "proof")
        self.assertEqual(target.stat().st_mode & 0o7777, 0o711)
        self.assertEqual(sorted(os.listdir(target / STORE)),
                         ["current", "lock", "nginx", "releases", "rollout.json"])
        # Each release stays whole in the store; DIR serves the last.
        self.assertEqual(sorted(os.listdir(target / STORE / "releases")),
                         ["12.0.0.1", "12.0.0.2"])
        self.assertEqual(os.readlink(target / STORE / "current"), "releases/12.0.0.2")
        self.assertEqual(os.readlink(target / "pub"), STORE + "/current/pub")
        self.assertIn('buildMinor="2"', served(target)[MANIFEST].decode())
        # Without --previous a release is compared with the one DIR serves.
        before = snapshot(target)
        self.assertRefusedWith(self.publish_into(target, "12.0.0.1"),
                               self.installers[(32, "12.0.0.1")],
                               "version 12.0.0.1 is lower than 12.0.0.2, which the previous "
                               "release announces for ActiveX")
        # A second command is refused while one holds the lock.
        with open(target / STORE / "lock") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            self.assertRefusedWith(self.publish_into(target, "12.0.0.3"), target,
                                   "another plumix-publish command is changing this folder")
        self.assertEqual(snapshot(target), before)
        code, out, err = self.publish_into(target, "12.0.0.2")
        self.assertEqual(code, 0, out + err)
        self.assertIn("equals the previous release's for ActiveX", err)

    def test_output_folder_that_is_a_link_or_ends_in_a_dot_is_refused_before_signing(self):
        real = self.work / "real-folder"
        real.mkdir()
        link = self.work / "link-folder"
        link.symlink_to(real)
        for out in (link, "%s/." % real, "%s/.." % real, "%s/sub/../." % real):
            with self.subTest(out=str(out)):
                arguments = self.release_arguments(out)
                arguments[arguments.index("--signer-key") + 1] = self.work / "no-such.key"
                code, stdout, err = publish(*arguments)
                self.assertEqual(code, 1, stdout + err)
                self.assertEqual(err.count("\n"), 1, err)
                self.assertTrue(err.startswith("%s: " % out), err)
                self.assertTrue("symbolic link" in err or 'ending in "." or ".."' in err, err)
        self.assertEqual(os.listdir(real), [])

    def test_served_paths_of_an_earlier_tool_are_taken_over_and_foreign_ones_refused(self):
        target = self.work / "earlier"
        shutil.copytree(self.work / "good" / "pub", target / "pub")
        shutil.copy(self.work / "good" / "release.json", target / "release.json")
        self.assertRefusedWith(self.publish_into(target, "11.9.0.0"),
                               self.installers[(32, "11.9.0.0")], "lower than 12.0.0.1")
        code, out, err = self.publish_into(target, "12.0.0.3")
        self.assertEqual(code, 0, out + err)
        self.assertTrue((target / "pub").is_symlink() and (target / "release.json").is_symlink())
        self.assertEqual(publish("check", target, "--issuer", self.issuer)[0], 0)
        for name, make in (("pub", lambda path: path.mkdir()),
                           ("release.json", lambda path: path.symlink_to("/etc/hostname"))):
            with self.subTest(name):
                target = self.work / ("foreign-" + name)
                target.mkdir()
                make(target / name)
                before = snapshot(target)
                self.assertRefusedWith(self.publish_into(target, "12.0.0.1"), target,
                                       "%s is not what plumix-publish writes there" % name)
                self.assertEqual(snapshot(target), before)

    def test_candidate_is_stored_without_being_served(self):
        target = self.work / "candidate"
        self.assertRefusedWith(self.publish_into(target, "12.0.0.1", "--candidate"), target,
                               "serves no release yet")
        self.assertFalse(target.exists())
        self.assertEqual(self.publish_into(target, "12.0.0.1")[0], 0)
        before = served(target)
        code, out, err = self.publish_into(target, "12.0.0.2", "--candidate")
        self.assertEqual(code, 0, out + err)
        self.assertIn("rollout start %s --release 12.0.0.2" % target, out)
        self.assertEqual(served(target), before)
        self.assertTrue((target / STORE / "releases" / "12.0.0.2" / MANIFEST).is_file())
        self.assertRefusedWith(self.publish_into(target, "12.0.0.1", "--candidate"), target,
                               "already serves release 12.0.0.1 to everyone")
        state = json.loads((target / STORE / "rollout.json").read_text())
        self.assertEqual([(e["action"], e["release"]) for e in state["history"]],
                         [("publish", "12.0.0.1"), ("store", "12.0.0.2")])

    def test_usage_errors_and_help(self):
        self.assertEqual(publish()[0], 2)
        self.assertEqual(publish("release", "--out")[0], 2)
        self.assertEqual(publish("release", "--bogus", "x")[0], 2)
        arguments = self.release_arguments(self.work / "unused")
        arguments[arguments.index("--check-frequency") + 1] = "two"
        self.assertEqual(publish(*arguments)[0], 2)
        self.assertEqual(publish("check", "--issuer", self.issuer)[0], 2)
        code, out, _ = publish("release", "--help")
        self.assertEqual(code, 0)
        for option in ("--out", "--check-frequency", "--issuer", "--signer-cert", "--signer-key",
                       "--chain", "--activex", "--activex-64", "--plugin", "--plugin-64",
                       "--previous", "--allow-older"):
            self.assertIn(option + " ", out)
        code, out, _ = publish("check", "--help")
        self.assertEqual(code, 0)
        for option in ("DIR", "--host", "--issuer", "--ca-file"):
            self.assertIn(option + " ", out)


if __name__ == "__main__":
    unittest.main()
