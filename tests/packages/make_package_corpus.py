#!/usr/bin/env python3
"""Builds the signed packages the verification and download tests use.

A small PKI under the build's development issuer (whose key never leaves the
build tree), valid packages made with tools/sign-package, and an attack
corpus: packages that are broken, tampered with, or signed by certificates
that must not be trusted. Everything is generated at test time into OUTPUT;
nothing private is committed.

usage: make_package_corpus.py OUTPUT ISSUER_DER ISSUER_KEY STANDIN_EXE

OUTPUT receives <case>.p7 for every case, <case>.content for the cases that
must be accepted (the exact content the installer file must hold), and
unrelated-root.der, the authority that copies the issuer's name.
The work is skipped when OUTPUT is newer than every input and less than
CLOCK_CASES_KEPT_HOURS old.
"""

import datetime
import os
import pathlib
import time
import shutil
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
TOOLS = HERE.parent.parent / "tools"
SIGN_PACKAGE = TOOLS / "sign-package" / "sign-package"
BRAND_STANDIN = TOOLS / "standin-installer" / "brand-standin"

# Issuers of a long chain: enough for a chain longer than the verifier's
# 32 lookups; also cut at 30 and 31 links for the boundary.
CHAIN_LENGTH = 33
EXPIRED_PERIOD = ("20200101000000Z", "20210101000000Z")
# A clock that is wrong by a day or a year, seen from the signer's validity:
# the verifier reads the machine's clock, so a signer whose period starts
# tomorrow is what a clock a day behind sees of one issued today, and one
# that ended yesterday what a clock a day ahead sees of one that ends today.
# The periods count from the moment the corpus is made, which is why a
# corpus older than CLOCK_CASES_KEPT_HOURS is made again.
DAY = datetime.timedelta(days=1)
YEAR = datetime.timedelta(days=365)
CLOCK_PERIODS = {
    "clock-within-a-day": (-DAY, DAY),
    "clock-a-day-behind": (DAY, 2 * YEAR),
    "clock-a-year-behind": (YEAR, 2 * YEAR),
    "clock-a-day-ahead": (-2 * YEAR, -DAY),
    "clock-a-year-ahead": (-2 * YEAR, -YEAR),
}
CLOCK_CASES_KEPT_HOURS = 12

CA_CONFIG = """\
[ ca ]
default_ca = corpus_ca
[ corpus_ca ]
database = {dir}/index.txt
new_certs_dir = {dir}/issued
serial = {dir}/serial
default_md = sha256
default_days = 3650
policy = any_name
unique_subject = no
copy_extensions = none
[ any_name ]
organizationName = optional
commonName = supplied
[ leaf ]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ authority ]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


def openssl_date(offset):
    moment = datetime.datetime.now(datetime.timezone.utc) + offset
    return moment.strftime("%Y%m%d%H%M%SZ")


def run(*arguments):
    subprocess.run([str(a) for a in arguments], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


class Pki:
    """Keys and certificates (PEM) in one folder, issued with openssl ca."""

    def __init__(self, folder):
        self.folder = folder
        (folder / "issued").mkdir(parents=True)
        (folder / "index.txt").write_text("")
        (folder / "serial").write_text("1000\n")
        self.config = folder / "ca.cnf"
        self.config.write_text(CA_CONFIG.format(dir=folder))

    def key(self, name, bits=2048, exponent=65537):
        path = self.folder / (name + ".key")
        run("openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:%d" % bits,
            "-pkeyopt", "rsa_keygen_pubexp:%d" % exponent, "-out", path)
        return path

    def cert(self, name):
        return self.folder / (name + ".pem")

    def self_signed(self, name, subject, bits=2048):
        key = self.key(name, bits)
        run("openssl", "req", "-x509", "-new", "-key", key, "-subj", subject, "-days", "3650",
            "-sha256", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", "-out", self.cert(name))

    def issue(self, name, subject, issuer, authority=False, period=None, bits=2048,
              exponent=65537):
        """Issues name under issuer (a name in this folder); period is a pair
        of openssl dates, else ten years from now."""
        key = self.key(name, bits, exponent)
        request = self.folder / (name + ".csr")
        run("openssl", "req", "-new", "-key", key, "-subj", subject, "-out", request)
        self.certify(name, request, issuer, authority, period)

    def certify(self, name, request, issuer, authority=False, period=None):
        """Issues the certificate request (a CSR file) as name under issuer."""
        dates = ["-startdate", period[0], "-enddate", period[1]] if period else []
        run("openssl", "ca", "-batch", "-notext", "-config", self.config,
            "-cert", self.cert(issuer), "-keyfile", self.folder / (issuer + ".key"),
            "-extensions", "authority" if authority else "leaf", *dates,
            "-in", request, "-out", self.cert(name))


def sign(output, content, pki, signer, certs=(), digest="sha256", attributes=True,
         certificates=True):
    arguments = [SIGN_PACKAGE, "--content", content, "--out", output, "--digest", digest,
                 "--signer-cert", pki.cert(signer), "--signer-key", pki.folder / (signer + ".key")]
    for name in certs:
        arguments += ["--certs", pki.cert(name)]
    if not attributes:
        arguments.append("--no-attributes")
    if not certificates:
        arguments.append("--no-certificates")
    run(*arguments)


def flip_byte(data, offset):
    changed = bytearray(data)
    changed[offset] ^= 0x01
    return bytes(changed)


def make_pki(pki, issuer_der, issuer_key):
    run("openssl", "x509", "-inform", "DER", "-in", issuer_der, "-out", pki.cert("issuer"))
    shutil.copyfile(issuer_key, pki.folder / "issuer.key")
    issuer_subject = subprocess.run(
        ["openssl", "x509", "-in", str(pki.cert("issuer")), "-noout", "-subject",
         "-nameopt", "compat"], check=True, capture_output=True, text=True
    ).stdout.strip().split("=", 1)[1]

    pki.issue("intermediate", "/O=Wendral/CN=Plumix Test Intermediate", "issuer", authority=True)
    pki.issue("leaf", "/O=Wendral/CN=Plumix Test Signer", "intermediate")
    pki.issue("direct-leaf", "/O=Wendral/CN=Plumix Test Direct Signer", "issuer")
    pki.issue("expired-leaf", "/O=Wendral/CN=Plumix Expired Signer", "intermediate",
              period=EXPIRED_PERIOD)
    pki.issue("expired-direct-leaf", "/O=Wendral/CN=Plumix Expired Direct Signer", "issuer",
              period=EXPIRED_PERIOD)
    pki.issue("expired-intermediate", "/O=Wendral/CN=Plumix Expired Intermediate", "issuer",
              authority=True, period=EXPIRED_PERIOD)
    pki.issue("leaf-under-expired", "/O=Wendral/CN=Plumix Signer Under Expired", "expired-intermediate")
    for name, (start, end) in CLOCK_PERIODS.items():
        pki.issue(name, "/O=Wendral/CN=Plumix Signer " + name, "intermediate",
                  period=(openssl_date(start), openssl_date(end)))
    # An end entity of the real issuer that signs a certificate of its own.
    pki.issue("leaf-issued-by-leaf", "/O=Wendral/CN=Plumix Signer From A Leaf", "direct-leaf")
    # A different authority that copies the issuer's name.
    pki.self_signed("unrelated-root", issuer_subject)
    pki.issue("unrelated-leaf", "/O=Wendral/CN=Plumix Test Signer", "unrelated-root")
    # A self-issued top that is not the issuer.
    pki.self_signed("other-top", "/O=Wendral/CN=Plumix Other Authority")
    pki.issue("leaf-under-other-top", "/O=Wendral/CN=Plumix Test Signer", "other-top")
    # A long chain; 1024-bit keys keep its generation quick.
    previous = "issuer"
    for level in range(1, CHAIN_LENGTH + 1):
        name = "chain-%d" % level
        pki.issue(name, "/O=Wendral/CN=Plumix Chain Authority %d" % level, previous,
                  authority=True, bits=1024)
        previous = name
    for links in (30, 31, 33):
        pki.issue("chain-leaf-%d" % links, "/O=Wendral/CN=Plumix Chain Signer %d" % links,
                  "chain-%d" % links, bits=1024)


def chain_above(links):
    return ["chain-%d" % level for level in range(links, 0, -1)]


def make_contents(folder, standin):
    contents = {}
    for variant in ("ActiveX", "Plugin"):
        path = folder / ("standin-%s.exe" % variant.lower())
        run(BRAND_STANDIN, standin, variant, "12.0.0.1", path)
        contents[variant] = path
    nul = folder / "nul-bytes.bin"
    nul.write_bytes(b"\0\0\0\0MZ\0\x01\0\xff\0" + bytes(range(256)) * 8 + b"\0" * 64)
    contents["nul"] = nul
    return contents


def make_packages(out, pki, contents):
    activex = contents["ActiveX"]
    valid = {
        "valid-sha256-intermediate": dict(content=activex, signer="leaf", certs=["intermediate"]),
        "valid-sha1-intermediate": dict(content=activex, signer="leaf", certs=["intermediate"],
                                        digest="sha1"),
        "valid-sha512-intermediate": dict(content=activex, signer="leaf", certs=["intermediate"],
                                          digest="sha512"),
        "valid-sha256-direct": dict(content=activex, signer="direct-leaf"),
        "valid-sha1-direct": dict(content=activex, signer="direct-leaf", digest="sha1"),
        "valid-root-copy": dict(content=activex, signer="leaf",
                                certs=["issuer", "intermediate"]),
        "valid-no-attributes": dict(content=activex, signer="leaf", certs=["intermediate"],
                                    attributes=False),
        "valid-nul-content": dict(content=contents["nul"], signer="leaf", certs=["intermediate"]),
        "valid-plugin-standin": dict(content=contents["Plugin"], signer="leaf",
                                     certs=["intermediate"]),
        "valid-chain-30": dict(content=contents["nul"], signer="chain-leaf-30",
                               certs=chain_above(30)),
        "clock-within-a-day": dict(content=activex, signer="clock-within-a-day",
                                   certs=["intermediate"]),
    }
    for name, recipe in valid.items():
        content = recipe.pop("content")
        sign(out / (name + ".p7"), content, pki, **recipe)
        shutil.copyfile(content, out / (name + ".content"))

    run("openssl", "x509", "-in", pki.cert("unrelated-root"), "-outform", "DER",
        "-out", out / "unrelated-root.der")

    refused = {
        "no-certificates": dict(signer="leaf", certs=["intermediate"], certificates=False),
        "unrelated-ca": dict(signer="unrelated-leaf", certs=["unrelated-root"]),
        "unrelated-ca-signer-only": dict(signer="unrelated-leaf"),
        "expired-signer": dict(signer="expired-leaf", certs=["intermediate"]),
        "expired-direct-signer": dict(signer="expired-direct-leaf"),
        "expired-intermediate": dict(signer="leaf-under-expired", certs=["expired-intermediate"]),
        "leaf-as-issuer": dict(signer="leaf-issued-by-leaf", certs=["direct-leaf"]),
        "self-issued-top": dict(signer="leaf-under-other-top", certs=["other-top"]),
        "chain-31": dict(signer="chain-leaf-31", certs=chain_above(31)),
        "chain-33": dict(signer="chain-leaf-33", certs=chain_above(33)),
    }
    refused.update({name: dict(signer=name, certs=["intermediate"])
                    for name in CLOCK_PERIODS if name != "clock-within-a-day"})
    for name, recipe in refused.items():
        sign(out / (name + ".p7"), activex, pki, **recipe)

    good = (out / "valid-sha256-intermediate.p7").read_bytes()
    content = activex.read_bytes()
    at = good.find(content)
    assert at > 0 and good.find(content, at + 1) < 0, "content not found once in the package"
    (out / "content-flipped.p7").write_bytes(flip_byte(good, at + len(content) // 2))
    no_attributes = (out / "valid-no-attributes.p7").read_bytes()
    at = no_attributes.find(content)
    (out / "content-flipped-no-attributes.p7").write_bytes(
        flip_byte(no_attributes, at + len(content) // 2))
    # The signature value is the last field of the message.
    (out / "signature-flipped.p7").write_bytes(flip_byte(good, len(good) - 20))
    (out / "truncated.p7").write_bytes(good[: len(good) // 2])
    (out / "empty.p7").write_bytes(b"")
    (out / "html-page.p7").write_bytes(
        b"<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>"
        b"<body><h1>Not Found</h1></body></html>\n")


def up_to_date(out, inputs):
    stamp = out / "complete"
    if not stamp.exists():
        return False
    built = stamp.stat().st_mtime
    if time.time() - built > CLOCK_CASES_KEPT_HOURS * 3600:
        return False
    return all(pathlib.Path(p).stat().st_mtime < built for p in inputs)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    out, issuer_der, issuer_key, standin = (pathlib.Path(a).resolve() for a in sys.argv[1:])
    inputs = [issuer_der, issuer_key, standin, pathlib.Path(__file__), SIGN_PACKAGE, BRAND_STANDIN]
    if up_to_date(out, inputs):
        print("package corpus up to date in %s" % out)
        return
    if out.exists():
        shutil.rmtree(out)
    out.mkdir(parents=True)
    with tempfile.TemporaryDirectory(prefix="pki-", dir=out.parent) as work:
        pki = Pki(pathlib.Path(work))
        try:
            make_pki(pki, issuer_der, issuer_key)
            make_packages(out, pki, make_contents(pki.folder, standin))
        except subprocess.CalledProcessError as error:
            sys.exit("%s failed:\n%s" % (" ".join(map(str, error.cmd)), error.stderr.decode()))
    (out / "complete").write_text("")
    print("package corpus written to %s" % out)


if __name__ == "__main__":
    main()
