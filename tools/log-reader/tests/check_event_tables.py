"""Checks that the event codes written in src/, the table of event codes
(event_codes.tsv, from which the log reader's table is built), the
end-to-end tests' EVENT_MEANINGS and the administrator's guide agree."""

import sys

import event_sources
from event_sources import install_log


def differences(name_a, a, name_b, b):
    problems = []
    for code in sorted(set(a) - set(b)):
        problems.append("%s in %s but not in %s" % (code, name_a, name_b))
    for code in sorted(set(b) - set(a)):
        problems.append("%s in %s but not in %s" % (code, name_b, name_a))
    return problems


def main():
    source = event_sources.source_event_codes()
    table = event_sources.event_table()
    guide, duplicates = event_sources.guide_table()
    meanings = {int(code): meaning for code, meaning in install_log.EVENT_MEANINGS.items()}

    problems = []
    for code, places in sorted(source.items()):
        if code not in table:
            problems.append("%d (%s) is neither in event_codes.tsv nor named in NOT_EVENTS"
                            % (code, ", ".join(places)))
    problems += ["NOT_EVENTS names %s:%d, which src/ no longer has" % key
                 for key in event_sources.stale_exclusions()]
    problems += ["%d is in event_codes.tsv but written nowhere in src/" % code
                 for code in sorted(set(table) - set(source))]
    problems += differences("event_codes.tsv", table, "docs/admin.md", guide)
    problems += ["%d appears twice in docs/admin.md" % code for code in duplicates]
    problems += differences("event_codes.tsv", table, "EVENT_MEANINGS", meanings)
    for code, (level, value) in sorted(guide.items()):
        if code in table and table[code][:2] != (level, value):
            problems.append("%d: the guide says %s/%s, event_codes.tsv %s/%s"
                            % ((code, level, value) + table[code][:2]))
    for code, meaning in sorted(meanings.items()):
        if code in table and table[code][2] != meaning:
            problems.append("%d: EVENT_MEANINGS differs from event_codes.tsv" % code)
    for where, level, value, code in event_sources.direct_calls():
        if code in table and table[code][:2] != (level, value):
            problems.append("%s writes %d at %s as %s; event_codes.tsv says %s/%s"
                            % ((where, code, level, value) + table[code][:2]))

    for problem in problems:
        print(problem)
    print("%d event codes in src/, %d in event_codes.tsv, %d in the guide, %d direct calls checked"
          % (len(source), len(table), len(guide), len(event_sources.direct_calls())))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
