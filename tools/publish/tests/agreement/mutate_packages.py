#!/usr/bin/python3
"""Makes packages mutated structurally from valid ones, for the verifier
agreement test.

A small PKI under the development issuer (keys generated here, never
written), valid packages signed with it, and COUNT mutations of them, each
through the ASN.1 structure (asn1crypto) rather than hand-written DER: bytes
flipped, lengths changed, certificates dropped, duplicated, reordered or
added, signed attributes removed, altered, added or reordered (with and
without a new signature), signers changed, contents changed, chains
lengthened, signers swapped for certificates that must not be trusted, and
signers or intermediates given keys of other kinds.

Keys vary too: every kind of KEY_KINDS (RSA from 1,024 to 4,096 bits, odd
sizes among them, public exponents 3, 65537 and one over 32 bits, and ECDSA)
signs as the signer and as the intermediate, under certificates signed with
SHA-1, SHA-256, SHA-384 and SHA-512, over packages digested with each of
them. Keys are made once (RSA from primes that openssl makes) and kept in
KEY_CACHE.

usage: mutate_packages.py OUTPUT ISSUER_DER ISSUER_KEY CONTENT --key-cache DIR
                          [--count N] [--seed S]

OUTPUT receives NNNNN-<mutations>.p7 for each mutation, base-<name>.p7 for
each valid base and keys-<kind>-<role>-<certificate digest>-<digest>.p7 for
each combination of keys and digests. Needs Debian's python3-asn1crypto and
python3-cryptography, and openssl.
"""

import argparse
import datetime
import hashlib
import math
import pathlib
import random
import subprocess
import sys

from asn1crypto import algos, cms, core, parser, x509 as asn1_x509
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec, padding, rsa
from cryptography.x509.oid import NameOID

# Enough levels to cross the service's bound of 32 issuer lookups.
LONGEST_CHAIN = 34
NOW = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
DAY = datetime.timedelta(days=1)
HASHES = {"sha1": hashes.SHA1, "sha256": hashes.SHA256, "sha384": hashes.SHA384,
          "sha512": hashes.SHA512}
# Key kinds by name: RSA with its modulus size and public exponent (0xFFFFFFFB
# is the largest prime in 32 bits, 0x10000000F does not fit the 32 bits
# crypt32 keeps it in), or an elliptic curve.
KEY_KINDS = {
    "rsa1024": ("rsa", 1024, 65537),
    "rsa1025": ("rsa", 1025, 65537),
    "rsa2047": ("rsa", 2047, 65537),
    "rsa2048-e3": ("rsa", 2048, 3),
    "rsa2048-e65537": ("rsa", 2048, 65537),
    "rsa2048-e4294967291": ("rsa", 2048, 0xFFFFFFFB),
    "rsa2048-e4294967311": ("rsa", 2048, 0x10000000F),
    "rsa2049": ("rsa", 2049, 65537),
    "rsa3071": ("rsa", 3071, 65537),
    "rsa3072-e3": ("rsa", 3072, 3),
    "rsa4095": ("rsa", 4095, 65537),
    "rsa4096": ("rsa", 4096, 65537),
    "ecdsa-p256": ("ec", ec.SECP256R1, None),
    "ecdsa-p384": ("ec", ec.SECP384R1, None),
}
# How a signer info names its signature algorithm, by key type and digest:
# the key's own algorithm, or the algorithm with the digest.
SIGNATURE_NAMES = {
    ("rsa", False): lambda digest: "rsassa_pkcs1v15",
    ("rsa", True): lambda digest: digest + "_rsa",
    ("ec", False): lambda digest: digest + "_ecdsa",
    ("ec", True): lambda digest: digest + "_ecdsa",
}


def prime(bits):
    """A prime of exactly bits bits, its top two bits set (openssl)."""
    made = subprocess.run(["openssl", "prime", "-generate", "-bits", str(bits)], check=True,
                          capture_output=True, text=True)
    return int(made.stdout)


def rsa_key(bits, exponent):
    """An RSA key whose modulus has exactly bits bits (primes of half the size,
    one a bit longer for odd sizes: their top two bits make the product that
    long) and whose public exponent is exponent, which the cryptography
    package would limit to 3 and 65537."""
    for _ in range(64):
        p, q = prime((bits + 1) // 2), prime(bits // 2)
        totient = (p - 1) * (q - 1)
        if p != q and math.gcd(exponent, totient) == 1:
            break
    else:
        sys.exit("no primes for a %d-bit key with exponent %d in 64 draws" % (bits, exponent))
    d = pow(exponent, -1, totient)
    numbers = rsa.RSAPrivateNumbers(p, q, d, rsa.rsa_crt_dmp1(d, p), rsa.rsa_crt_dmq1(d, q),
                                    rsa.rsa_crt_iqmp(p, q), rsa.RSAPublicNumbers(exponent, p * q))
    key = numbers.private_key()
    assert key.key_size == bits
    return key


class KeyCache:
    """Keys of KEY_KINDS, made once and kept in a folder: primes for 4,096
    bits take a while."""

    def __init__(self, folder):
        self.folder = folder
        self.loaded = {}

    def key(self, kind):
        if kind not in self.loaded:
            path = self.folder / (kind + ".pem")
            if not path.exists():
                family, size, exponent = KEY_KINDS[kind]
                key = rsa_key(size, exponent) if family == "rsa" else ec.generate_private_key(size())
                self.folder.mkdir(parents=True, exist_ok=True)
                path.write_bytes(key.private_bytes(serialization.Encoding.PEM,
                                                   serialization.PrivateFormat.PKCS8,
                                                   serialization.NoEncryption()))
            self.loaded[kind] = serialization.load_pem_private_key(path.read_bytes(), None)
        return self.loaded[kind]


# ---------------------------------------------------------------------------
# PKI

class Identity:
    """A certificate, its key, and its certificate as asn1crypto reads it."""

    def __init__(self, certificate, key):
        self.certificate = certificate
        self.key = key
        self.asn1 = asn1_x509.Certificate.load(certificate.public_bytes(serialization.Encoding.DER))


def name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Wendral"),
                      x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def new_key(bits=2048):
    return rsa.generate_private_key(public_exponent=65537, key_size=bits)


def issue(subject, issuer, authority, key=None, not_before=None, not_after=None, ski=True,
          aki="keyid", issuer_name=None, bits=2048, basic_constraints=True, digest="sha256"):
    """A certificate for subject (a Name) issued by issuer (an Identity, or
    None for self-signed). aki: "keyid", "serial" (issuer name and serial
    number), "derived" (a key identifier the issuer carries no extension for)
    or None."""
    key = key or new_key(bits)
    issuer_key = issuer.key if issuer else key
    issuer_public = issuer_key.public_key()
    builder = (x509.CertificateBuilder()
               .subject_name(subject)
               .issuer_name(issuer_name or (issuer.certificate.subject if issuer else subject))
               .public_key(key.public_key())
               .serial_number(x509.random_serial_number())
               .not_valid_before(not_before or NOW - DAY)
               .not_valid_after(not_after or NOW + 365 * DAY))
    if basic_constraints:
        builder = builder.add_extension(x509.BasicConstraints(ca=authority, path_length=None),
                                        critical=True)
    if ski:
        builder = builder.add_extension(
            x509.SubjectKeyIdentifier.from_public_key(key.public_key()), critical=False)
    if aki == "keyid" or aki == "derived":
        builder = builder.add_extension(
            x509.AuthorityKeyIdentifier.from_issuer_public_key(issuer_public), critical=False)
    elif aki == "serial" and issuer is not None:
        builder = builder.add_extension(x509.AuthorityKeyIdentifier(
            key_identifier=None,
            authority_cert_issuer=[x509.DirectoryName(issuer.certificate.issuer)],
            authority_cert_serial_number=issuer.certificate.serial_number), critical=False)
    return Identity(builder.sign(issuer_key, HASHES[digest]()), key)


class Pki:
    def __init__(self, issuer_der, issuer_key, keys):
        certificate = x509.load_der_x509_certificate(issuer_der)
        key = serialization.load_pem_private_key(issuer_key, password=None)
        self.issuer = Identity(certificate, key)
        self.keys = keys
        # Signers under the intermediates of keys: a key of no kind, so that
        # no intermediate shares it.
        self._keyed_signer_key = new_key()
        self._keyed = {}
        issuer = self.issuer
        self.intermediate = issue(name("Agreement Intermediate"), issuer, True)
        self.leaf = issue(name("Agreement Signer"), self.intermediate, False)
        self.direct = issue(name("Agreement Direct Signer"), issuer, False)
        # Same name as the intermediate, another key: two candidates by name.
        self.twin = issue(name("Agreement Intermediate"), issuer, True)
        self.unrelated_root = issue(issuer.certificate.subject, None, True)
        self.unrelated_leaf = issue(name("Agreement Signer"), self.unrelated_root, False)
        self.expired = issue(name("Agreement Expired Signer"), self.intermediate, False,
                             not_before=NOW - 400 * DAY, not_after=NOW - 30 * DAY)
        self.future = issue(name("Agreement Future Signer"), self.intermediate, False,
                            not_before=NOW + 30 * DAY, not_after=NOW + 400 * DAY)
        self.no_aki = issue(name("Agreement Signer Without AKI"), self.intermediate, False,
                            aki=None)
        self.serial_aki = issue(name("Agreement Signer With Serial AKI"), self.intermediate,
                                False, aki="serial")
        self.no_ski_ca = issue(name("Agreement Intermediate Without SKI"), issuer, True,
                               ski=False)
        self.under_no_ski = issue(name("Agreement Signer Under No SKI"), self.no_ski_ca, False,
                                  aki="derived")
        self.under_no_ski_by_name = issue(name("Agreement Signer Under No SKI By Name"),
                                          self.no_ski_ca, False, aki=None)
        self.not_ca = issue(name("Agreement Not A CA"), issuer, False)
        self.under_not_ca = issue(name("Agreement Signer Under Not A CA"), self.not_ca, False)
        self.no_constraints = issue(name("Agreement No Constraints"), issuer, True,
                                    basic_constraints=False)
        self.under_no_constraints = issue(name("Agreement Signer Under No Constraints"),
                                          self.no_constraints, False)
        self.expired_ca = issue(name("Agreement Expired Intermediate"), issuer, True,
                                not_before=NOW - 400 * DAY, not_after=NOW - 30 * DAY)
        self.under_expired_ca = issue(name("Agreement Signer Under Expired"), self.expired_ca,
                                      False)
        # Names that differ from the intermediate's only in letter case.
        self.case_leaf = issue(name("Agreement Signer Case"), self.intermediate, False, aki=None,
                               issuer_name=name("AGREEMENT INTERMEDIATE"))
        self._chain = [issuer]
        self._chain_leaves = {}

    def chain(self, links):
        """Authorities below the issuer, links of them, and a signer under
        the last: the message then carries links + 1 certificates."""
        while len(self._chain) <= links:
            level = len(self._chain)
            self._chain.append(issue(name("Agreement Chain Authority %d" % level),
                                     self._chain[-1], True, bits=1024))
        if links not in self._chain_leaves:
            self._chain_leaves[links] = issue(name("Agreement Chain Signer %d" % links),
                                              self._chain[links], False, bits=1024)
        return self._chain_leaves[links], list(reversed(self._chain[1:links + 1]))

    def keyed(self, kind, role, digest):
        """A signer whose key (role "signer") or whose intermediate's key
        (role "intermediate") is of kind, with every certificate signed over
        digest; with the certificates its messages carry."""
        wanted = (kind, role, digest)
        if wanted not in self._keyed:
            label = "Agreement %s %s %s" % (kind, role, digest)
            key = self.keys.key(kind)
            if role == "signer":
                self._keyed[wanted] = (issue(name(label), self.issuer, False, key=key,
                                             digest=digest), [])
            else:
                authority = issue(name(label), self.issuer, True, key=key, digest=digest)
                signer = issue(name(label + " Signer"), authority, False,
                               key=self._keyed_signer_key, digest=digest)
                self._keyed[wanted] = (signer, [authority])
        return self._keyed[wanted]

    def signers(self):
        """Signers that must or must not be trusted, with the certificates
        their messages carry."""
        return {
            "leaf": (self.leaf, [self.intermediate]),
            "direct": (self.direct, []),
            "leaf-with-issuer-copy": (self.leaf, [self.intermediate, self.issuer]),
            "leaf-with-twin": (self.leaf, [self.intermediate, self.twin]),
            "leaf-with-twin-first": (self.leaf, [self.twin, self.intermediate]),
            "unrelated": (self.unrelated_leaf, [self.unrelated_root]),
            "unrelated-signer-only": (self.unrelated_leaf, []),
            "expired": (self.expired, [self.intermediate]),
            "future": (self.future, [self.intermediate]),
            "no-aki": (self.no_aki, [self.intermediate]),
            "serial-aki": (self.serial_aki, [self.intermediate]),
            "under-no-ski": (self.under_no_ski, [self.no_ski_ca]),
            "under-no-ski-by-name": (self.under_no_ski_by_name, [self.no_ski_ca]),
            "under-not-ca": (self.under_not_ca, [self.not_ca]),
            "under-no-constraints": (self.under_no_constraints, [self.no_constraints]),
            "under-expired-ca": (self.under_expired_ca, [self.expired_ca]),
            "case-name": (self.case_leaf, [self.intermediate]),
        }


# ---------------------------------------------------------------------------
# Signing

def digest_of(data, algorithm):
    return hashlib.new(algorithm, data).digest()


def default_attributes(content, algorithm):
    return cms.CMSAttributes([
        cms.CMSAttribute({"type": "content_type", "values": ["data"]}),
        cms.CMSAttribute({"type": "signing_time",
                          "values": [cms.Time({"utc_time": NOW})]}),
        cms.CMSAttribute({"type": "message_digest",
                          "values": [digest_of(content, algorithm)]}),
    ])


def set_encoding(attributes):
    """What the signature over signed attributes covers: their SET OF, in the
    order they are encoded in the message."""
    return b"\x31" + attributes.dump()[1:]


def key_type(key):
    return "ec" if isinstance(key, ec.EllipticCurvePrivateKey) else "rsa"


def sign_bytes(key, data, algorithm):
    if key_type(key) == "ec":
        return key.sign(data, ec.ECDSA(HASHES[algorithm]()))
    return key.sign(data, padding.PKCS1v15(), HASHES[algorithm]())


def signer_info(content, signer, algorithm="sha256", attributes=True, named_with_digest=False):
    signature_name = SIGNATURE_NAMES[(key_type(signer.key), named_with_digest)](algorithm)
    info = cms.SignerInfo({
        "version": "v1",
        "sid": cms.SignerIdentifier({"issuer_and_serial_number": {
            "issuer": signer.asn1.issuer, "serial_number": signer.asn1.serial_number}}),
        "digest_algorithm": {"algorithm": algorithm},
        "signature_algorithm": {"algorithm": signature_name},
        "signature": b"",
    })
    if attributes:
        info["signed_attrs"] = default_attributes(content, algorithm)
    resign(info, signer.key, content)
    return info


def resign(info, key, content):
    """A new signature by key over the signer's signed attributes as they
    stand, or over the content when there are none."""
    algorithm = info["digest_algorithm"]["algorithm"].native
    attributes = info["signed_attrs"]
    data = set_encoding(attributes) if attributes.native is not None else content
    info["signature"] = sign_bytes(key, data, algorithm)


def package(content, signer, certificates, algorithm="sha256", attributes=True,
            named_with_digest=False):
    signed = cms.SignedData({
        "version": "v1",
        "digest_algorithms": [{"algorithm": algorithm}],
        "encap_content_info": {"content_type": "data", "content": content},
        "certificates": [cert.asn1 for cert in [signer] + certificates],
        "signer_infos": [signer_info(content, signer, algorithm, attributes, named_with_digest)],
    })
    return cms.ContentInfo({"content_type": "signed_data", "content": signed})


def load(data):
    return cms.ContentInfo.load(data)


# ---------------------------------------------------------------------------
# Mutations: each takes the context and a message (a copy to change) and
# returns the new bytes.

class Context:
    def __init__(self, rng, pki, content):
        self.rng = rng
        self.pki = pki
        self.content = content
        self.keys = {}

    def key_for(self, info):
        sid = info["sid"].chosen
        if isinstance(sid, cms.IssuerAndSerialNumber):
            return self.keys.get(sid["serial_number"].native)
        return None

    def remember(self, *identities):
        for identity in identities:
            self.keys[identity.certificate.serial_number] = identity.key


def signed(message):
    return message["content"]


def first_signer(message):
    return signed(message)["signer_infos"][0]


def maybe_resign(ctx, message, tags):
    if ctx.rng.random() < 0.5:
        info = first_signer(message)
        key = ctx.key_for(info)
        if key is not None:
            resign(info, key, signed(message)["encap_content_info"]["content"].native or b"")
            tags.append("resigned")
    return message.dump(force=False)


def tlv_headers(data):
    """(offset, header length, contents length) of every TLV in data."""
    found = []

    def walk(offset, end, depth):
        while offset < end and depth < 64:
            try:
                _, method, _, header, contents, trailer = parser.parse(data[offset:end])
            except ValueError:
                return
            found.append((offset, len(header), len(contents)))
            if method == 1 and contents:
                walk(offset + len(header), offset + len(header) + len(contents), depth + 1)
            offset += len(header) + len(contents) + len(trailer)

    walk(0, len(data), 0)
    return found


def flip_byte(ctx, message, tags):
    data = bytearray(message.dump())
    at = ctx.rng.randrange(len(data))
    data[at] ^= 1 << ctx.rng.randrange(8)
    tags.append("flip-byte")
    return bytes(data)


def change_length(ctx, message, tags):
    data = message.dump()
    offset, header_length, length = ctx.rng.choice(tlv_headers(data))
    start = offset + header_length
    body = data[start:start + length]
    kind = ctx.rng.choice(["longer", "shorter", "long-form", "indefinite"])
    tags.append("length-" + kind)
    tag_bytes = data[offset:offset + 1]
    if kind in ("longer", "shorter"):
        delta = 1 if kind == "longer" else -1
        new_length = max(0, length + delta)
        header = tag_bytes + _length_bytes(new_length)
        return data[:offset] + header + body + data[start + length:]
    if kind == "long-form":
        header = tag_bytes + bytes([0x84]) + length.to_bytes(4, "big")
        return data[:offset] + header + body + data[start + length:]
    if not tag_bytes[0] & 0x20:
        tags[-1] = "length-long-form"
        header = tag_bytes + bytes([0x84]) + length.to_bytes(4, "big")
        return data[:offset] + header + body + data[start + length:]
    return data[:offset] + tag_bytes + b"\x80" + body + b"\x00\x00" + data[start + length:]


def _length_bytes(length):
    if length < 0x80:
        return bytes([length])
    raw = length.to_bytes((length.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(raw)]) + raw


def cut_or_extend(ctx, message, tags):
    data = message.dump()
    if ctx.rng.random() < 0.5:
        tags.append("truncated")
        return data[:ctx.rng.randrange(len(data))]
    tags.append("trailing-bytes")
    return data + bytes(ctx.rng.randrange(256) for _ in range(ctx.rng.randint(1, 16)))


def certificates_changed(ctx, message, tags):
    certs = list(signed(message)["certificates"] or [])
    rng = ctx.rng
    kind = rng.choice(["drop", "duplicate", "reorder", "add", "remove-all", "add-same-subject"])
    tags.append("certs-" + kind)
    pki = ctx.pki
    if kind == "drop" and certs:
        del certs[rng.randrange(len(certs))]
    elif kind == "duplicate" and certs:
        certs.insert(rng.randrange(len(certs) + 1), certs[rng.randrange(len(certs))])
    elif kind == "reorder":
        rng.shuffle(certs)
    elif kind == "add":
        extra = rng.choice([pki.issuer, pki.twin, pki.unrelated_root, pki.unrelated_leaf,
                            pki.intermediate, pki.not_ca, pki.expired_ca, pki.no_ski_ca])
        certs.insert(rng.randrange(len(certs) + 1),
                     cms.CertificateChoices({"certificate": extra.asn1}))
    elif kind == "remove-all":
        certs = []
    elif kind == "add-same-subject":
        # Another authority's signer with the test signer's subject name.
        certs.append(cms.CertificateChoices({"certificate": pki.unrelated_leaf.asn1}))
    signed(message)["certificates"] = certs if certs else None
    return message.dump()


def attributes_changed(ctx, message, tags):
    info = first_signer(message)
    rng = ctx.rng
    if info["signed_attrs"].native is None:
        return certificates_changed(ctx, message, tags)
    attributes = list(info["signed_attrs"])
    kind = rng.choice(["remove", "alter", "add", "duplicate-digest", "two-digest-values",
                       "reorder", "remove-all", "unsigned"])
    tags.append("attrs-" + kind)
    if kind == "remove" and attributes:
        del attributes[rng.randrange(len(attributes))]
    elif kind == "alter" and attributes:
        index = rng.randrange(len(attributes))
        attribute = attributes[index]
        kind_name = attribute["type"].native
        if kind_name == "message_digest":
            value = bytearray(attribute["values"][0].native)
            value[rng.randrange(len(value))] ^= 0xFF
            attributes[index] = cms.CMSAttribute({"type": "message_digest",
                                                  "values": [bytes(value)]})
        elif kind_name == "signing_time":
            attributes[index] = cms.CMSAttribute({"type": "signing_time", "values": [
                cms.Time({"utc_time": NOW - rng.randrange(1, 5000) * DAY})]})
        else:
            attributes[index] = cms.CMSAttribute({"type": "content_type",
                                                  "values": ["signed_data"]})
    elif kind == "add":
        attributes.append(cms.CMSAttribute({"type": "1.2.840.113549.1.9.25.3",
                                            "values": [core.OctetString(b"agreement")]}))
    elif kind == "duplicate-digest":
        digest = [a for a in attributes if a["type"].native == "message_digest"]
        attributes.extend(digest[:1])
    elif kind == "two-digest-values":
        for index, attribute in enumerate(attributes):
            if attribute["type"].native == "message_digest":
                value = attribute["values"][0].native
                attributes[index] = cms.CMSAttribute({"type": "message_digest",
                                                      "values": [value, value[::-1]]})
    elif kind == "unsigned":
        info["unsigned_attrs"] = cms.CMSAttributes([cms.CMSAttribute({
            "type": "signing_time", "values": [cms.Time({"utc_time": NOW})]})])
        return message.dump()
    if kind == "remove-all":
        info["signed_attrs"] = None
    elif kind == "reorder":
        # The SET OF as received, not as DER would sort it.
        encoded = sorted(a.dump() for a in attributes)[::-1]
        raw = b"".join(encoded)
        info["signed_attrs"] = cms.CMSAttributes.load(b"\x31" + _length_bytes(len(raw)) + raw)
    else:
        info["signed_attrs"] = cms.CMSAttributes(attributes)
    return maybe_resign(ctx, message, tags)


def signer_changed(ctx, message, tags):
    info = first_signer(message)
    rng = ctx.rng
    kind = rng.choice(["digest-algorithm", "serial", "issuer", "key-identifier", "second-signer",
                       "signature-algorithm", "no-signers", "signature-flipped"])
    tags.append("signer-" + kind)
    sid = info["sid"].chosen
    if kind == "digest-algorithm":
        info["digest_algorithm"] = {
            "algorithm": rng.choice(["sha1", "sha256", "sha384", "sha512", "md5"])}
        algorithm = info["digest_algorithm"]["algorithm"].native
        if algorithm != "md5" and info["signed_attrs"].native is not None and rng.random() < 0.5:
            content = signed(message)["encap_content_info"]["content"].native
            attributes = [a for a in info["signed_attrs"] if a["type"].native != "message_digest"]
            attributes.append(cms.CMSAttribute({"type": "message_digest",
                                                "values": [digest_of(content, algorithm)]}))
            info["signed_attrs"] = cms.CMSAttributes(attributes)
            tags.append("digest-recomputed")
        if algorithm != "md5":
            return maybe_resign(ctx, message, tags)
    elif kind in ("serial", "issuer") and isinstance(sid, cms.IssuerAndSerialNumber):
        changed = {"issuer": sid["issuer"], "serial_number": sid["serial_number"].native}
        if kind == "serial":
            changed["serial_number"] += 1
        else:
            changed["issuer"] = ctx.pki.unrelated_root.asn1.subject
        # A new choice: asn1crypto notices changes inside sequences only.
        info["sid"] = cms.SignerIdentifier({"issuer_and_serial_number": changed})
    elif kind == "key-identifier":
        certs = signed(message)["certificates"] or []
        key_id = certs[0].chosen.key_identifier if certs else None
        if key_id:
            info["sid"] = cms.SignerIdentifier({"subject_key_identifier": key_id})
            info["version"] = "v3"
    elif kind == "second-signer":
        content = signed(message)["encap_content_info"]["content"].native or b""
        other = rng.choice([ctx.pki.direct, ctx.pki.unrelated_leaf, ctx.pki.expired])
        infos = list(signed(message)["signer_infos"])
        infos.insert(rng.randrange(2), signer_info(content, other))
        signed(message)["signer_infos"] = infos
        certs = list(signed(message)["certificates"] or [])
        certs.append(cms.CertificateChoices({"certificate": other.asn1}))
        signed(message)["certificates"] = certs
    elif kind == "signature-algorithm":
        info["signature_algorithm"] = {"algorithm": rng.choice(
            ["sha256_rsa", "sha1_rsa", "sha512_rsa", "rsassa_pss", "sha256_ecdsa"])}
    elif kind == "no-signers":
        signed(message)["signer_infos"] = []
    elif kind == "signature-flipped":
        value = bytearray(info["signature"].native)
        value[rng.randrange(len(value))] ^= 0x01
        info["signature"] = bytes(value)
    return message.dump()


def content_changed(ctx, message, tags):
    rng = ctx.rng
    encapsulated = signed(message)["encap_content_info"]
    kind = rng.choice(["altered", "altered-resigned", "empty-resigned", "detached", "type"])
    tags.append("content-" + kind)
    info = first_signer(message)
    key = ctx.key_for(info)
    content = encapsulated["content"].native or b""
    if kind == "detached":
        encapsulated["content"] = None
        return message.dump()
    if kind == "type":
        encapsulated["content_type"] = rng.choice(["signed_data", "1.2.840.113549.1.7.99"])
        return maybe_resign(ctx, message, tags)
    if kind == "empty-resigned":
        content = b""
    elif content:
        content = bytearray(content)
        content[rng.randrange(len(content))] ^= 0x80
        content = bytes(content)
    else:
        content = b"\x80"
    encapsulated["content"] = content
    if kind != "altered" and key is not None:
        algorithm = info["digest_algorithm"]["algorithm"].native
        if info["signed_attrs"].native is not None:
            attributes = [a for a in info["signed_attrs"] if a["type"].native != "message_digest"]
            attributes.append(cms.CMSAttribute({"type": "message_digest",
                                                "values": [digest_of(content, algorithm)]}))
            info["signed_attrs"] = cms.CMSAttributes(attributes)
        resign(info, key, content)
    return message.dump()


def chain_lengthened(ctx, message, tags):
    links = ctx.rng.choice([1, 2, 5, 10, 20, 28, 29, 30, 30, 31, 31, 32, 33, LONGEST_CHAIN - 1])
    leaf, authorities = ctx.pki.chain(links)
    ctx.remember(leaf)
    tags.append("chain-%d" % links)
    content = signed(message)["encap_content_info"]["content"].native or ctx.content
    order = ctx.rng.random()
    if order < 0.3:
        ctx.rng.shuffle(authorities)
        tags.append("shuffled")
    return package(content, leaf, authorities).dump()


def signer_swapped(ctx, message, tags):
    label, (signer, certificates) = ctx.rng.choice(sorted(ctx.pki.signers().items()))
    ctx.remember(signer)
    tags.append("signer-" + label)
    content = signed(message)["encap_content_info"]["content"].native or ctx.content
    algorithm = ctx.rng.choice(["sha1", "sha256", "sha256", "sha384", "sha512"])
    return package(content, signer, certificates, algorithm,
                   attributes=ctx.rng.random() < 0.8).dump()


def keys_varied(ctx, message, tags):
    kind = ctx.rng.choice(sorted(KEY_KINDS))
    role = ctx.rng.choice(["signer", "intermediate"])
    certificate_digest = ctx.rng.choice(sorted(HASHES))
    digest = ctx.rng.choice(sorted(HASHES))
    signer, certificates = ctx.pki.keyed(kind, role, certificate_digest)
    ctx.remember(signer)
    tags.append("keys-%s-%s-%s-%s" % (kind, role, certificate_digest, digest))
    content = signed(message)["encap_content_info"]["content"].native or ctx.content
    return package(content, signer, certificates, digest, named_with_digest=ctx.rng.random() < 0.5,
                   attributes=ctx.rng.random() < 0.8).dump()


MUTATIONS = [
    (flip_byte, 4), (change_length, 3), (cut_or_extend, 1), (certificates_changed, 3),
    (attributes_changed, 3), (signer_changed, 3), (content_changed, 2), (chain_lengthened, 2),
    (signer_swapped, 3), (keys_varied, 2),
]


def mutate(ctx, base):
    functions = [f for f, weight in MUTATIONS for _ in range(weight)]
    tags = []
    data = base
    for _ in range(1 if ctx.rng.random() < 0.75 else 2):
        # A message that an earlier mutation broke, or left without the part
        # the next one changes, keeps its bytes: the chain of mutations ends.
        try:
            message = load(data)
            message.native  # parses everything, so broken input fails here
            data = ctx.rng.choice(functions)(ctx, message, tags)
        except (ValueError, TypeError, KeyError, IndexError, AttributeError):
            break
    return data, tags


def bases(pki, content):
    """The valid packages that mutations start from."""
    made = {
        "sha256-intermediate": package(content, pki.leaf, [pki.intermediate]),
        "sha1-direct": package(content, pki.direct, [], "sha1"),
        "sha512-intermediate": package(content, pki.leaf, [pki.intermediate], "sha512"),
        "no-attributes": package(content, pki.leaf, [pki.intermediate], attributes=False),
        "issuer-copy": package(content, pki.leaf, [pki.intermediate, pki.issuer]),
        "serial-aki": package(content, pki.serial_aki, [pki.intermediate]),
        "no-aki": package(content, pki.no_aki, [pki.intermediate]),
    }
    return {label: message.dump() for label, message in made.items()}


def key_grid(pki, content):
    """A package for every key kind in both roles, every certificate digest
    and every package digest; the signature algorithm is named with the
    digest in every other one."""
    made = {}
    for kind in sorted(KEY_KINDS):
        for role in ("signer", "intermediate"):
            for certificate_digest in sorted(HASHES):
                signer, certificates = pki.keyed(kind, role, certificate_digest)
                for digest in sorted(HASHES):
                    with_digest = len(made) % 2 == 1
                    label = "%s-%s-%s-%s" % (kind, role, certificate_digest, digest)
                    made[label] = package(content, signer, certificates, digest,
                                          named_with_digest=with_digest).dump()
    return made


def main():
    arguments = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    arguments.add_argument("output", type=pathlib.Path)
    arguments.add_argument("issuer_der", type=pathlib.Path)
    arguments.add_argument("issuer_key", type=pathlib.Path)
    arguments.add_argument("content", type=pathlib.Path)
    arguments.add_argument("--key-cache", type=pathlib.Path, required=True)
    arguments.add_argument("--count", type=int, default=2400)
    arguments.add_argument("--seed", type=int, default=20261209)
    options = arguments.parse_args()

    rng = random.Random(options.seed)
    pki = Pki(options.issuer_der.read_bytes(), options.issuer_key.read_bytes(),
              KeyCache(options.key_cache))
    content = options.content.read_bytes()
    ctx = Context(rng, pki, content)
    ctx.remember(*(signer for signer, _ in pki.signers().values()))
    options.output.mkdir(parents=True, exist_ok=True)
    valid = bases(pki, content)
    for label, data in valid.items():
        (options.output / ("base-%s.p7" % label)).write_bytes(data)
    grid = key_grid(pki, content)
    for label, data in grid.items():
        (options.output / ("keys-%s.p7" % label)).write_bytes(data)
    labels = sorted(valid)
    for number in range(options.count):
        base = valid[labels[rng.randrange(len(labels))]]
        data, tags = mutate(ctx, base)
        (options.output / ("%05d-%s.p7" % (number, "+".join(tags) or "none"))).write_bytes(data)
    print("%d bases, %d key combinations and %d mutations written to %s" %
          (len(valid), len(grid), options.count, options.output))


if __name__ == "__main__":
    sys.exit(main())
