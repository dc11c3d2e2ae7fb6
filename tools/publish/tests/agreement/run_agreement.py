#!/usr/bin/python3
"""The verifier agreement test: the release tool's verifier against the
service's PackageVerifier, over the same packages.

It builds the attack corpus (tests/packages/make_package_corpus.py), a
package for every combination of key kind and digest, and packages mutated
from valid ones (mutate_packages.py), runs the publisher's verifier
(publisher_verdicts, native) and the service's (service_verdicts.exe under
Wine, one process for all packages) over them, and compares. A package that
the publisher accepts and the service refuses, or that both accept with
different contents, fails the test: the release tool would publish what
clients refuse or install something else. Every other disagreement is listed
with the publisher's reason and counted.

usage: run_agreement.py --work DIR --issuer-der DER --issuer-key KEY --standin EXE
                        --publisher PROGRAM --service COMMAND... [--count N] [--seed S]

Exits 0 when the verifiers agree as required, 1 when they do not, 77 when
the native publisher_verdicts is missing (nothing to compare with).
"""

import argparse
import collections
import pathlib
import re
import shutil
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE.parents[3]
MAKE_CORPUS = SOURCE / "tests" / "packages" / "make_package_corpus.py"
MUTATE = HERE / "mutate_packages.py"
SKIP = 77
LEAST_MUTATIONS = 2000


def windows_path(path):
    """Wine shows the host's root as drive Z:."""
    return "Z:" + str(path).replace("/", "\\")


def verdicts(lines):
    """{file: (verdict, detail)} from NAME<TAB>VERDICT[<TAB>DETAIL] lines."""
    found = {}
    for line in lines.splitlines():
        fields = line.rstrip("\r").split("\t")
        if len(fields) >= 2:
            found[fields[0]] = (fields[1], fields[2] if len(fields) > 2 else "")
    return found


def reason_class(reason):
    """The publisher's reason without names, dates and OpenSSL's details."""
    reason = re.sub(r'"[^"]*"', '"…"', reason)
    reason = re.sub(r"\s*\(error:[^)]*\)", "", reason)
    return re.sub(r"expired on .*", "expired on …", reason)


def mutation_kinds(name):
    """The mutation tags of NNNNN-tag+tag.p7, or the corpus or key case name."""
    stem = name[:-3] if name.endswith(".p7") else name
    if re.match(r"\d{5}-", stem):
        return stem[6:]
    if stem.startswith("keys-"):
        return stem
    return "corpus:" + stem


def run(command):
    finished = subprocess.run([str(part) for part in command], capture_output=True, text=True)
    if finished.returncode != 0:
        sys.exit("%s failed (%d):\n%s" % (" ".join(map(str, command)), finished.returncode,
                                           finished.stderr))
    return finished


def build_packages(options, packages):
    if packages.exists():
        shutil.rmtree(packages)
    packages.mkdir(parents=True)
    corpus = options.work / "attack-corpus"
    run([sys.executable, MAKE_CORPUS, corpus, options.issuer_der, options.issuer_key,
         options.standin])
    attack = sorted(corpus.glob("*.p7"))
    for case in attack:
        shutil.copyfile(case, packages / ("corpus-" + case.name))
    # Keys are kept between runs: odd sizes and 4,096 bits take a while to make.
    run([sys.executable, MUTATE, packages, options.issuer_der, options.issuer_key,
         corpus / "valid-sha256-intermediate.content", "--key-cache", options.work / "keys",
         "--count", str(options.count), "--seed", str(options.seed)])
    return len(attack), len(list(packages.glob("keys-*.p7")))


def key_summary(publisher, service):
    """Per key kind and role of the key combinations: how many each side
    accepted, and the service's errors."""
    rows = collections.defaultdict(lambda: [0, 0, 0, collections.Counter()])
    for name in publisher:
        parts = name[:-3].split("-")
        if parts[0] != "keys":
            continue
        row = rows[" ".join(parts[1:-2])]
        theirs = service.get(name, ("missing", ""))
        row[0] += 1
        row[1] += publisher[name][0] == "accepted"
        row[2] += theirs[0] == "accepted"
        if theirs[0] == "refused":
            row[3][theirs[1]] += 1
    lines = ["key combinations by key kind and role: accepted by the publisher, by the service "
             "(of each count), the service's errors"]
    for label, (count, mine, theirs, errors) in sorted(rows.items()):
        lines.append("  %-32s %3d %3d of %3d  %s" % (label, mine, theirs, count, ", ".join(
            "%s %d" % item for item in errors.most_common())))
    return lines


def report(publisher, service, attack_count, key_count, mutated_count):
    lines = []
    dangerous = []
    other_content = []
    stricter = collections.defaultdict(list)
    service_errors = collections.Counter()
    counts = collections.Counter()
    for name in sorted(set(publisher) | set(service)):
        mine = publisher.get(name, ("missing", ""))
        theirs = service.get(name, ("missing", ""))
        counts[(mine[0], theirs[0])] += 1
        if theirs[0] == "refused":
            service_errors[theirs[1]] += 1
        if mine[0] == "accepted" and theirs[0] != "accepted":
            dangerous.append((name, theirs))
        elif mine[0] == "accepted" and mine[1] != theirs[1]:
            other_content.append(name)
        elif mine[0] != theirs[0]:
            stricter[reason_class(mine[1])].append(name)

    lines.append("packages: %d (attack corpus %d, key combinations %d, mutated %d and their "
                 "valid bases)" % (len(publisher), attack_count, key_count, mutated_count))
    for (mine, theirs), count in sorted(counts.items()):
        lines.append("  publisher %-8s service %-8s %5d" % (mine, theirs, count))
    lines.append("accepted by the publisher, refused by the service: %d" % len(dangerous))
    for name, theirs in dangerous:
        lines.append("  %s: service %s %s" % (name, theirs[0], theirs[1]))
    lines.append("accepted by both with different contents: %d" % len(other_content))
    for name in other_content:
        lines.append("  " + name)
    lines.append("refused by the publisher, accepted by the service: %d" %
                 sum(len(names) for names in stricter.values()))
    for reason, names in sorted(stricter.items(), key=lambda item: -len(item[1])):
        kinds = collections.Counter(mutation_kinds(name) for name in names)
        examples = ", ".join(kind for kind, _ in kinds.most_common(3))
        lines.append("  %4d  %s\n        e.g. %s" % (len(names), reason, examples))
    lines.extend(key_summary(publisher, service))
    lines.append("service refusals by error: " + ", ".join(
        "%s %d" % (error, count) for error, count in service_errors.most_common()))
    missing = [name for name in publisher if name not in service] + \
              [name for name in service if name not in publisher]
    return "\n".join(lines), dangerous + other_content, missing


def main():
    arguments = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    arguments.add_argument("--work", type=pathlib.Path, required=True)
    arguments.add_argument("--issuer-der", type=pathlib.Path, required=True)
    arguments.add_argument("--issuer-key", type=pathlib.Path, required=True)
    arguments.add_argument("--standin", type=pathlib.Path, required=True)
    arguments.add_argument("--publisher", type=pathlib.Path, required=True)
    arguments.add_argument("--service", nargs="+", required=True)
    arguments.add_argument("--count", type=int, default=2400)
    arguments.add_argument("--seed", type=int, default=20261209)
    options = arguments.parse_args()
    for name in ("work", "issuer_der", "issuer_key", "standin", "publisher"):
        setattr(options, name, getattr(options, name).resolve())
    if not options.publisher.exists():
        print("verifier agreement skipped: no native build of the publisher's verifier at %s "
              "(build the native configuration first)" % options.publisher)
        return SKIP
    if options.count < LEAST_MUTATIONS:
        print("at least %d mutated packages are needed" % LEAST_MUTATIONS)
        return 1

    packages = options.work / "packages"
    attack_count, key_count = build_packages(options, packages)
    publisher_lines = run([options.publisher, options.issuer_der, packages]).stdout
    service_lines = run(options.service + [windows_path(options.issuer_der),
                                           windows_path(packages)]).stdout
    # Kept for a closer look at any disagreement.
    (options.work / "publisher-verdicts.txt").write_text(publisher_lines)
    (options.work / "service-verdicts.txt").write_text(service_lines)
    publisher = verdicts(publisher_lines)
    service = verdicts(service_lines)
    text, dangerous, missing = report(publisher, service, attack_count, key_count, options.count)
    (options.work / "report.txt").write_text(text + "\n")
    print(text)
    if missing:
        print("verdicts missing for: " + ", ".join(sorted(missing)[:20]))
    if len(publisher) < attack_count + key_count + options.count:
        print("the publisher judged only %d packages" % len(publisher))
        return 1
    return 1 if dangerous or missing else 0


if __name__ == "__main__":
    sys.exit(main())
