"""plumix-publish health over the access log that Debian's nginx writes
while it serves a staged rollout with the generated configuration: the
cohort the reader places each request in is the one nginx served it.

2,286 loopback client addresses and a canary range fetch the manifest and
the package with the clients' user agents; health must count exactly the
addresses nginx showed the candidate in the candidate cohort and the others
in the control cohort, each download completed by the size of the package
of its cohort's release; a browser's request and a log of another format
are counted and skipped. Each address fetches a number of times of its own,
so that the sums per cohort tell one set of addresses from another of the
same size.

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

from test_publish_commands import MANIFEST, PACKAGES, SOURCE, installer, publish
sys.path.insert(0, str(SOURCE / "tests" / "packages"))
sys.path.insert(0, str(SOURCE / "tools" / "update-server"))
from make_package_corpus import Pki, run  # noqa: E402
from nginx_origin import NginxOrigin  # noqa: E402

ORIGIN = "127.0.0.1"
CURRENT, CANDIDATE = "12.0.0.1", "12.0.0.2"
CLIENTS = ["127.0.%d.%d" % (third, fourth) for third in range(1, 10) for fourth in range(1, 255)]
CANARIES = ["127.0.10.%d" % fourth for fourth in range(1, 15)]
SOURCES = CLIENTS + CANARIES
USER_AGENTS = {"https": "Get Plumix Player version xml/1.0",
               "http": "Download Plumix Player Installer/1.0"}


class HealthOfNginxLogsTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="health-test-"))
        pki = Pki(cls.work / "pki")
        pki.self_signed("issuer", "/O=Wendral/CN=Health Test Issuer")
        pki.issue("signer", "/O=Wendral/CN=Health Test Signer", "issuer")
        run("openssl", "x509", "-in", pki.cert("issuer"), "-outform", "DER",
            "-out", cls.work / "issuer.der")
        cls.dir = cls.work / "origin"
        for version, extra in ((CURRENT, ()), (CANDIDATE, ("--candidate",))):
            arguments = ["release", "--out", cls.dir, "--check-frequency", "2",
                         "--issuer", cls.work / "issuer.der", "--signer-cert", pki.cert("signer"),
                         "--signer-key", pki.folder / "signer.key"]
            for option, bits in (("--activex", 32), ("--activex-64", 64), ("--plugin", 32),
                                 ("--plugin-64", 64)):
                arguments += [option, installer(cls.work, "%d-%s.exe" % (bits, version), bits,
                                                version)]
            code, out, err = publish(*arguments, *extra)
            assert code == 0, out + err
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

    def get(self, source, scheme, path, user_agent):
        connection = (http.client.HTTPSConnection(ORIGIN, 443, context=self.tls,
                                                  source_address=(source, 0), timeout=30)
                      if scheme == "https" else
                      http.client.HTTPConnection(ORIGIN, 80, source_address=(source, 0),
                                                 timeout=30))
        try:
            connection.request("GET", "/" + path, headers={"User-Agent": user_agent})
            response = connection.getresponse()
            body = response.read()
            self.assertEqual(response.status, 200, "%s %s" % (source, path))
            return body
        finally:
            connection.close()

    def client_check(self, index):
        """Whether nginx showed the index-th source the candidate; it
        fetches the manifest 1 + index % 3 times, the package 1 + index % 2."""
        source = SOURCES[index]
        for _ in range(1 + index % 3):
            manifest = self.get(source, "https", MANIFEST, USER_AGENTS["https"])
        for _ in range(1 + index % 2):
            self.get(source, "http", PACKAGES[0], USER_AGENTS["http"])
        stored = self.dir / ".plumix-publish" / "releases" / CANDIDATE / MANIFEST
        return manifest == stored.read_bytes()

    def test_health_counts_the_cohorts_nginx_served(self):
        old = self.origin.workers()
        code, out, err = publish("rollout", "start", self.dir, "--release", CANDIDATE,
                                 "--percent", "25", "--canary", "127.0.10.0/28",
                                 "--nginx-conf", self.origin.configuration,
                                 "--reload-command", self.origin.reload_command)
        self.assertEqual(code, 0, out + err)
        self.origin.wait_for_new_workers(old)
        with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
            shown = list(pool.map(self.client_check, range(len(SOURCES))))
        self.get(CLIENTS[0], "https", MANIFEST, "Mozilla/5.0")
        self.assertTrue(all(shown[len(CLIENTS):]), "a canary not shown the candidate")
        self.assertLess(abs(100.0 * sum(shown) / len(SOURCES) - 25), 5)

        code, out, err = publish("health", self.dir, "--access-log", self.origin.access_log(),
                                 self.requests_log, "--json", "--min-clients", "1")
        self.assertEqual(code, 0, out + err)
        report = json.loads(out)
        self.assertEqual(report["verdict"], "too-early")
        self.assertEqual(report["other_requests"], 1)
        self.assertEqual(report["other_format_lines"],
                         len(self.requests_log.read_text().splitlines()))
        counted = {}
        for day in report["days"]:  # one day, or two across midnight
            figures = counted.setdefault(day["cohort"], [0, 0, 0, 0])
            for index, name in enumerate(("addresses", "manifest_fetches", "downloads_begun",
                                          "downloads_completed")):
                figures[index] += day[name]
        expected = {}
        for index, candidate in enumerate(shown):
            figures = expected.setdefault("candidate" if candidate else "control", [0, 0, 0, 0])
            for place, count in enumerate((1, 1 + index % 3, 1 + index % 2, 1 + index % 2)):
                figures[place] += count
        self.assertEqual(counted, expected)


if __name__ == "__main__":
    unittest.main()
