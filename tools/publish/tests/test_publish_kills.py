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

import collections
import os
import pathlib
import re
import shutil
import subprocess
import tempfile
import unittest

from release_kit import ReleaseKit
from test_publish_commands import STORE, publish, served

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
        cls.kit = ReleaseKit(cls.work / "kit", "Kill")
        cls.dir = cls.work / "origin"
        cls.next_version = 1

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def arguments(self, version):
        return self.kit.arguments(self.dir, version, version)

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
        counts, points = collections.Counter(), {"staging": [], "fsync": [], "swap": []}
        for match in filter(None, map(TRACE_LINE.match, trace.read_text().splitlines())):
            call, rest = match.groups()
            counts[call] += 1
            moment = ("staging" if call == "write" and "/staging-" in rest.split(",")[0] else
                      "fsync" if call == "fsync" else
                      "swap" if call.startswith("renameat") and
                      ("/releases/" in rest or "/current\"" in rest) else None)
            if moment:
                points[moment].append((call, counts[call]))
        for moment, found in points.items():
            self.assertTrue(found, "no %s point in the rehearsal" % moment)
        return points

    def served_release(self):
        """The version the folder serves, after check found it whole."""
        code, out, err = publish("check", self.dir, "--issuer", self.kit.issuer)
        self.assertEqual(code, 0, out + err)
        match = re.search(r"manifest announces ActiveX (\S+),", out)
        return match.group(1)

    def test_killed_release_leaves_old_or_new_whole_and_the_next_succeeds(self):
        self.release(self.version())
        points = self.rehearse()
        outcomes = collections.Counter()
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
                outcome = "old" if now == old else "new"
                outcomes[moment, outcome] += 1
                print("kill %-7s at %s #%-3d: served %s" % (moment, call, nth, outcome))
        for moment in points:
            print("%s: %d kills, old served after %d, new after %d" % (
                moment, RUNS, outcomes[moment, "old"], outcomes[moment, "new"]))


if __name__ == "__main__":
    unittest.main()
