"""plumix-publish release killed at chosen moments: while it writes the
staged tree, at each of its fsyncs, and right before each rename that puts
the new tree in place. After every kill the folder serves the old release or
the new one, whole (check passes and announces one of the two; the old one
byte for byte), and the next release succeeds and leaves nothing behind.

The kill is exact: strace delivers SIGKILL on entry to the Nth call of a
system call (strace -e inject=SYSCALL:signal=KILL:when=N), the Nth counted in
a traced rehearsal of the same release (renameat2 without flags is renameat).
PLUMIX_PUBLISH_KILL_RUNS (default 30)
runs are made for each of the three moments; each prints one line.

Environment as test_publish_commands.
"""

import os
import pathlib
import re
import shutil
import subprocess
import tempfile
import unittest

from test_publish_commands import STORE, Pki, installer, publish, run, served

RUNS = int(os.environ.get("PLUMIX_PUBLISH_KILL_RUNS", "30"))
PUBLISH = os.environ["PLUMIX_PUBLISH"]
# The sanitizers' leak check cannot run under ptrace.
TRACED_ENVIRONMENT = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
TRACE_LINE = re.compile(r"^(?:\d+ +)?(\w+)\((.*)")


def strace_works():
    return shutil.which("strace") is not None and subprocess.run(
        ["strace", "-o", "/dev/null", "true"], capture_output=True).returncode == 0


@unittest.skipUnless(strace_works(), "needs strace, allowed to trace its child")
class PublishKillTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="publish-kill-"))
        pki = cls.pki = Pki(cls.work / "pki")
        pki.self_signed("issuer", "/O=Wendral/CN=Kill Test Issuer")
        pki.issue("signer", "/O=Wendral/CN=Kill Test Signer", "issuer")
        run("openssl", "x509", "-in", pki.cert("issuer"), "-outform", "DER",
            "-out", cls.work / "issuer.der")
        cls.dir = cls.work / "origin"
        cls.next_version = 1

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def arguments(self, version):
        files = self.work / "installers"
        files.mkdir(exist_ok=True)
        arguments = ["release", "--out", self.dir, "--check-frequency", "2",
                     "--issuer", self.work / "issuer.der", "--signer-cert", self.pki.cert("signer"),
                     "--signer-key", self.pki.folder / "signer.key"]
        for option, bits in (("--activex", 32), ("--activex-64", 64), ("--plugin", 32),
                             ("--plugin-64", 64)):
            arguments += [option, installer(files, "%d-%s.exe" % (bits, version), bits, version)]
        return [str(argument) for argument in arguments]

    def version(self):
        """A new, higher version for the next release."""
        PublishKillTest.next_version += 1
        return "12.0.%d.0" % self.next_version

    def release(self, version):
        code, out, err = publish(*self.arguments(version))
        self.assertEqual(code, 0, out + err)

    def traced(self, version, *options):
        return subprocess.run(["strace", "-f", "-y", *options, PUBLISH, *self.arguments(version)],
                              capture_output=True, text=True, env=TRACED_ENVIRONMENT, timeout=300)

    def rehearse(self):
        """The kill points of a release into a folder that serves one: (call,
        Nth) for each write into the staged tree, each fsync, and each rename
        that puts a tree or the current link in place."""
        trace = self.work / "trace.txt"
        finished = self.traced(self.version(), "-o", str(trace),
                               "-e", "trace=write,fsync,renameat,renameat2")
        self.assertEqual(finished.returncode, 0, finished.stderr)
        counts, points = {}, {"staging": [], "fsync": [], "swap": []}
        for line in trace.read_text().splitlines():
            match = TRACE_LINE.match(line)
            if not match:
                continue
            call, rest = match.groups()
            counts[call] = counts.get(call, 0) + 1
            if call == "write" and "/staging-" in rest.split(",")[0]:
                points["staging"].append((call, counts[call]))
            elif call == "fsync":
                points["fsync"].append((call, counts[call]))
            elif call.startswith("renameat") and ("/releases/" in rest or "/current\"" in rest):
                points["swap"].append((call, counts[call]))
        for moment, found in points.items():
            self.assertTrue(found, "no %s point in the rehearsal" % moment)
        return points

    def served_release(self):
        """The version the folder serves, after check found it whole."""
        code, out, err = publish("check", self.dir, "--issuer", self.work / "issuer.der")
        self.assertEqual(code, 0, out + err)
        match = re.search(r"manifest announces ActiveX (\S+),", out)
        return match.group(1)

    def test_killed_release_leaves_old_or_new_whole_and_the_next_succeeds(self):
        self.release(self.version())
        points = self.rehearse()
        outcomes = {}
        for moment, found in points.items():
            for run_index in range(RUNS):
                call, nth = found[run_index % len(found)]
                old = self.served_release()
                old_files = served(self.dir)
                new = self.version()
                killed = self.traced(new, "-o", "/dev/null", "-e", "trace=%s" % call,
                                     "-e", "inject=%s:signal=KILL:when=%d" % (call, nth))
                with self.subTest(moment=moment, call=call, nth=nth):
                    self.assertNotEqual(killed.returncode, 0, "the release was not killed")
                    now = self.served_release()
                    self.assertIn(now, (old, new))
                    if now == old:
                        self.assertEqual(served(self.dir), old_files)
                    self.release(new)
                    self.assertEqual(self.served_release(), new)
                    self.assertEqual(sorted(os.listdir(self.dir / STORE)),
                                     ["current", "lock", "nginx", "releases", "rollout.json"])
                    outcomes.setdefault((moment, "old" if now == old else "new"), 0)
                    outcomes[(moment, "old" if now == old else "new")] += 1
                print("kill %-7s at %s #%-3d: served %s" % (moment, call, nth,
                                                             "old" if now == old else "new"))
        for moment in points:
            print("%s: %d kills, old served after %d, new after %d" % (
                moment, RUNS, outcomes.get((moment, "old"), 0), outcomes.get((moment, "new"), 0)))


if __name__ == "__main__":
    unittest.main()
