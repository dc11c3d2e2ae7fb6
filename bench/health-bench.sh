#!/bin/bash
# Builds plumix-publish optimised and without the sanitizers in
# build/health-bench, generates a rollout and an access log of 10 million
# lines (bench/health_log.py: eight days, rotated, the oldest gzip-compressed)
# and runs plumix-publish health over it; prints the wall time, the peak
# memory (resident set, from GNU time) and the lines per second.
#   bench/health-bench.sh [--lines N] [--days D] [--bad]
# --bad: the candidate does not take (its machines download it at every check).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

lines=10000000
days=8
bad=()
while [ $# -gt 0 ]; do
  case "$1" in
    --lines) lines=$2; shift 2 ;;
    --days) days=$2; shift 2 ;;
    --bad) bad=(--bad); shift ;;
    *) echo "usage: bench/health-bench.sh [--lines N] [--days D] [--bad]" >&2; exit 2 ;;
  esac
done

. bench/publish-tool.sh
build_publish health-bench
work=build/health-bench/health-input
rm -rf "$work"
mkdir -p "$work/www"
echo "generating $lines lines over $days days in $work"
python3 bench/health_log.py "$work/www" "$work/logs" --lines "$lines" --days "$days" \
  "${bad[@]}"
echo "log files: $(du -sh "$work/logs" | cut -f1), $(ls "$work/logs" | tr '\n' ' ')"

timed "$tool" health "$work/www" --access-log "$work"/logs/* --min-clients 100 \
  >"$work/report.txt"
sed -n '1,3p;$p' "$work/report.txt"
read_lines=$(sed -n 's/^logs: \([0-9]*\) lines.*/\1/p' "$work/report.txt")
printf 'bench: %s lines, exit %d: wall %s, user %s s, system %s s, CPU %s, peak RSS %s MiB, %.2f million lines per CPU second; load average %s\n' \
  "$read_lines" "$status" "$wall" "$user" "$system" "$cpu" "$rss_mib" \
  "$(awk -v n="$read_lines" -v s="$user" -v t="$system" 'BEGIN { print n / (s + t) / 1e6 }')" \
  "$(cut -d' ' -f1-3 /proc/loadavg)"
