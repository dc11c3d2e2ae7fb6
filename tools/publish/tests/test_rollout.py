"""plumix-publish rollout with Debian's nginx: a stored candidate shown to a
share of the client addresses, asked from thousands of loopback source
addresses over HTTPS (manifest) and HTTP (package) as the clients ask.

The share stays within 3 points of what was set, larger shares keep the
smaller ones inside, halt shows everyone the current release and resume
gives back exactly the same addresses, complete shows everyone the
candidate, canary ranges always see it, and every address gets the package
of the same release as its manifest. A change whose nginx test or reload
fails leaves the old configuration serving and the state unchanged. Over
the access log that nginx wrote, plumix-publish health places every request
in the cohort nginx served it.

Environment as test_publish_commands. Run it in a network namespace of its
own: nginx listens on 127.0.0.1:443 and :80.
"""

import concurrent.futures
import http.client
import json
import pathlib
import shutil
import ssl
import subprocess
import sys
import tempfile
import unittest

from release_kit import ReleaseKit
from test_publish_commands import MANIFEST, PACKAGES, SOURCE, STORE, publish, served
sys.path.insert(0, str(SOURCE / "tools" / "update-server"))
from nginx_origin import NginxOrigin  # noqa: E402

ORIGIN = "127.0.0.1"
CURRENT, CANDIDATE = "12.0.0.1", "12.0.0.2"
# 2,286 client addresses for the split, and canaries apart from them.
CLIENTS = ["127.0.%d.%d" % (third, fourth) for third in range(1, 10) for fourth in range(1, 255)]
CANARY_RANGE = "127.0.10.0/28"
CANARIES = ["127.0.10.%d" % fourth for fourth in range(1, 15)]
NOT_CANARIES = ["127.0.10.%d" % fourth for fourth in range(17, 30)]
MANIFEST_USER_AGENT = "Get Plumix Player version xml/1.0"
PACKAGE_USER_AGENT = "Download Plumix Player Installer/1.0"
TOLERANCE_POINTS = 3
# Cache-Control of the manifest and of the package: while the answer depends
# on the address no shared cache may keep it; else as a plain origin.
VARYING = {"private, no-store"}
SAME_FOR_ALL = {"public, max-age=300", "public, no-cache"}


class RolloutWithNginxTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="rollout-test-"))
        cls.kit = ReleaseKit(cls.work / "kit", "Rollout")
        cls.dir = cls.work / "origin"
        cls.manifests, cls.packages = {}, {}
        cls.release(CURRENT)
        cls.release(CANDIDATE, "--candidate")
        certs = cls.work / "certs"
        subprocess.run([SOURCE / "tools" / "update-server" / "make-test-certs.sh", certs, ORIGIN],
                       check=True, capture_output=True)
        cls.tls = ssl.create_default_context(cafile=str(certs / "ca.pem"))
        cls.requests_log = cls.work / "requests.log"
        cls.origin = NginxOrigin(str(cls.work / "nginx"), ORIGIN, str(cls.dir),
                                 str(certs / "server.pem"), str(certs / "server.key"),
                                 str(cls.requests_log), rollout=True)
        cls.origin.start()

    @classmethod
    def tearDownClass(cls):
        cls.origin.stop()
        shutil.rmtree(cls.work)

    @classmethod
    def release(cls, version, *extra):
        """Publishes version (for everyone, or as extra says) and keeps its
        manifest and first package to tell answers apart."""
        code, out, err = cls.kit.release(cls.dir, *extra, activex=version, plugin=version)
        assert code == 0, out + err
        stored = cls.dir / STORE / "releases" / version
        cls.manifests[version] = (stored / MANIFEST).read_bytes()
        cls.packages[version] = (stored / PACKAGES[0]).read_bytes()

    def rollout(self, action, *arguments):
        old = self.origin.workers()
        code, out, err = publish("rollout", action, self.dir, "--nginx-conf",
                                 self.origin.configuration, "--reload-command",
                                 self.origin.reload_command, *arguments)
        if code == 0:
            self.origin.wait_for_new_workers(old)
        return code, out, err

    def change(self, action, *arguments):
        code, out, err = self.rollout(action, *arguments)
        self.assertEqual(code, 0, out + err)

    def get(self, source, scheme, path, user_agent, forwarded=None):
        """(the body, Cache-Control) of a 200 answer to source."""
        connection = (http.client.HTTPSConnection(ORIGIN, 443, context=self.tls,
                                                  source_address=(source, 0), timeout=30)
                      if scheme == "https" else
                      http.client.HTTPConnection(ORIGIN, 80, source_address=(source, 0),
                                                 timeout=30))
        try:
            headers = {"User-Agent": user_agent}
            if forwarded:
                headers["X-Forwarded-For"] = forwarded
            connection.request("GET", "/" + path, headers=headers)
            response = connection.getresponse()
            body = response.read()
            self.assertEqual(response.status, 200, "%s %s" % (source, path))
            return body, response.getheader("Cache-Control")
        finally:
            connection.close()

    def release_of(self, body, known):
        names = [name for name, content in known.items() if content == body]
        self.assertEqual(len(names), 1, "an answer of no release or of two")
        return names[0]

    def placement(self, source):
        """(the release of the manifest, of the package, the Cache-Control headers)."""
        manifest, manifest_cache = self.get(source, "https", MANIFEST, MANIFEST_USER_AGENT)
        package, package_cache = self.get(source, "http", PACKAGES[0], PACKAGE_USER_AGENT)
        return (self.release_of(manifest, self.manifests), self.release_of(package, self.packages),
                {manifest_cache, package_cache})

    def shown_candidate(self, sources, caches, candidate=CANDIDATE):
        """The addresses of sources shown candidate; every address's package
        comes from the release of its manifest, and the answers carry caches."""
        with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
            placements = dict(zip(sources, pool.map(self.placement, sources)))
        for source, (manifest, package, place_caches) in placements.items():
            self.assertEqual(manifest, package, "%s: manifest of %s, package of %s"
                             % (source, manifest, package))
            self.assertEqual(place_caches, caches, source)
        return {source for source, place in placements.items() if place[0] == candidate}

    def assertShare(self, shown, percent):
        share = 100.0 * len(shown) / len(CLIENTS)
        self.assertLessEqual(abs(share - percent), TOLERANCE_POINTS,
                             "%.2f %% of the addresses see the candidate, set %s %%"
                             % (share, percent))

    def state(self):
        return json.loads((self.dir / STORE / "rollout.json").read_text())

    def nginx_files(self):
        return {path.name: path.read_bytes() for path in (self.dir / STORE / "nginx").iterdir()}

    def test_1_staged_rollout_from_start_to_complete(self):
        everyone = CLIENTS + CANARIES + NOT_CANARIES
        self.assertEqual(self.shown_candidate(everyone, SAME_FOR_ALL), set())

        self.change("start", "--release", CANDIDATE, "--percent", "5", "--canary", CANARY_RANGE,
                    "--reason", "first group")
        shown = {5: self.shown_candidate(CLIENTS, VARYING)}
        self.assertShare(shown[5], 5)
        self.assertEqual(self.shown_candidate(CANARIES, VARYING), set(CANARIES))
        for percent in (25, 50):
            self.change("set", "--percent", str(percent))
            shown[percent] = self.shown_candidate(CLIENTS, VARYING)
            self.assertShare(shown[percent], percent)
        self.assertLess(shown[5], shown[25])
        self.assertLess(shown[25], shown[50])
        self.assertEqual(self.shown_candidate(CANARIES, VARYING), set(CANARIES))

        # While a candidate is out, a release for everyone is refused.
        code, out, err = self.kit.release(self.dir, activex="12.0.0.9", plugin="12.0.0.9")
        self.assertEqual(code, 1, out + err)
        self.assertIn("release %s is the candidate of a staged rollout" % CANDIDATE, err)
        code, out, err = publish("rollout", "status", self.dir, "--json")
        self.assertEqual(code, 0, err)
        status = json.loads(out)
        self.assertEqual((status["current"], status["candidate"], status["shownPercent"],
                          status["canaries"]), (CURRENT, CANDIDATE, 50, [CANARY_RANGE]))

        self.change("halt", "--reason", "crash reports")
        self.assertEqual(self.shown_candidate(everyone, SAME_FOR_ALL), set())
        self.change("resume")
        self.assertEqual(self.shown_candidate(CLIENTS, VARYING), shown[50])
        self.assertEqual(self.shown_candidate(CANARIES, VARYING), set(CANARIES))

        self.change("complete")
        self.assertEqual(self.shown_candidate(everyone, SAME_FOR_ALL), set(everyone))
        # A plain static server of DIR serves the completed release too.
        self.assertEqual(served(self.dir)[MANIFEST], self.manifests[CANDIDATE])
        state = self.state()
        self.assertEqual((state["current"], state["candidate"]), (CANDIDATE, ""))
        self.assertEqual([(entry["action"], entry["percent"]) for entry in state["history"]],
                         [("publish", 100), ("store", 0), ("start", 5), ("set", 25),
                          ("set", 50), ("halt", 0), ("resume", 50), ("complete", 100)])
        self.assertEqual(state["history"][2]["reason"], "first group")
        self.assertEqual(state["history"][5]["reason"], "crash reports")

    def test_2_failed_nginx_test_or_reload_leaves_the_old_configuration_and_state(self):
        later = "12.0.0.3"
        self.release(later, "--candidate")
        self.change("start", "--release", later, "--percent", "50")
        sample = CLIENTS[::5]
        shown = self.shown_candidate(sample, VARYING, later)
        self.assertTrue(shown)
        state, files = self.state(), self.nginx_files()

        # Another file the configuration includes is broken: nginx -T fails.
        extra = self.work / "nginx" / "extra"
        extra.mkdir()
        configuration = pathlib.Path(self.origin.configuration)
        text = configuration.read_text()
        configuration.write_text(text.replace("http {", "http {\n    include %s/*.conf;" % extra, 1))
        (extra / "broken.conf").write_text("this is not nginx configuration\n")
        failures = {"nginx -T": self.rollout("set", "--percent", "5")}
        # The configuration is sound again, but the reload fails.
        (extra / "broken.conf").unlink()
        failures["reload"] = self.rollout("set", "--percent", "5", "--reload-command", "exit 3")
        for step, (code, out, err) in failures.items():
            with self.subTest(step):
                self.assertEqual(code, 1, out + err)
                self.assertIn(step, err)
                self.assertIn("the previous configuration stays in force and the rollout state "
                              "is unchanged", err)
                self.assertEqual(self.state(), state)
                self.assertEqual(self.nginx_files(), files)
        self.assertEqual(self.shown_candidate(sample, VARYING, later), shown)

        self.change("set", "--percent", "5")
        self.assertLess(self.shown_candidate(sample, VARYING, later), shown)
        configuration.write_text(text)

    def test_3_canaries_alone_then_everyone_before_completion(self):
        later = "12.0.0.4"
        self.release(later, "--candidate")
        self.change("halt")
        sample = CLIENTS[::9] + CANARIES + NOT_CANARIES
        self.change("start", "--release", later, "--percent", "0", "--canary", CANARY_RANGE)
        self.assertEqual(self.shown_candidate(sample, VARYING, later), set(CANARIES))
        self.change("set", "--percent", "100")
        self.assertEqual(self.shown_candidate(sample, VARYING, later), set(sample))
        self.change("halt")
        self.assertEqual(self.shown_candidate(sample, SAME_FOR_ALL, later), set())

    def test_4_behind_a_trusted_proxy_the_forwarded_address_decides(self):
        later = "12.0.0.5"
        self.release(later, "--candidate")
        self.change("start", "--release", later, "--percent", "0", "--canary", "192.0.2.0/24",
                    "--trusted-proxy", "127.0.0.0/8")
        # Everyone else is shown the release completed in test_1.
        for forwarded, release in (("192.0.2.77", later), ("198.51.100.7", CANDIDATE),
                                   ("203.0.113.9, 192.0.2.8", later), (None, CANDIDATE)):
            with self.subTest(forwarded=forwarded):
                body, _ = self.get("127.0.3.3", "https", MANIFEST, MANIFEST_USER_AGENT, forwarded)
                self.assertEqual(self.release_of(body, self.manifests), release)

    def test_5_health_counts_the_cohorts_nginx_served(self):
        # Each address fetches the manifest 1 + i % 3 times and the package
        # 1 + i % 2 times, so that the sums per cohort tell one set of
        # addresses from another of the same size; health must place them in
        # the cohorts nginx served, count each download completed by the size
        # of its cohort's package, and skip a browser's request and the lines
        # of the JSON log.
        later = "12.0.0.6"
        self.release(later, "--candidate")
        self.change("halt")
        self.change("start", "--release", later, "--percent", "25", "--canary", CANARY_RANGE)
        for log in (self.origin.access_log(), self.requests_log):
            open(log, "w").close()
        sources = CLIENTS + CANARIES

        def fetches(index):
            for _ in range(1 + index % 3):
                manifest, _ = self.get(sources[index], "https", MANIFEST, MANIFEST_USER_AGENT)
            for _ in range(1 + index % 2):
                self.get(sources[index], "http", PACKAGES[0], PACKAGE_USER_AGENT)
            return manifest == self.manifests[later]

        with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
            shown = list(pool.map(fetches, range(len(sources))))
        self.get(CLIENTS[0], "https", MANIFEST, "Mozilla/5.0")
        self.assertTrue(all(shown[len(CLIENTS):]), "a canary not shown the candidate")
        self.assertShare({index for index, candidate in enumerate(shown) if candidate}, 25)

        code, out, err = publish("health", self.dir, "--access-log", self.origin.access_log(),
                                 self.requests_log, "--json", "--min-clients", "1")
        self.assertEqual(code, 0, out + err)
        report = json.loads(out)
        self.assertEqual(
            (report["verdict"], report["other_requests"], report["other_format_lines"]),
            ("too-early", 1, len(self.requests_log.read_text().splitlines())))
        counted, expected = {}, {}
        for day in report["days"]:  # one day, or two across midnight
            figures = counted.setdefault(day["cohort"], [0, 0, 0, 0])
            for place, name in enumerate(("addresses", "manifest_fetches", "downloads_begun",
                                          "downloads_completed")):
                figures[place] += day[name]
        for index, candidate in enumerate(shown):
            figures = expected.setdefault("candidate" if candidate else "control", [0, 0, 0, 0])
            for place, count in enumerate((1, 1 + index % 3, 1 + index % 2, 1 + index % 2)):
                figures[place] += count
        self.assertEqual(counted, expected)


if __name__ == "__main__":
    unittest.main()
