#!/bin/bash
# Builds plumix-publish optimised and without the sanitizers in build/plan-bench
# and runs its plan for 10 million clients over 14 days; prints each run's
# figures, its wall time and its peak memory (resident set, from GNU time).
#   bench/plan-bench.sh [--clients N] [--days D] [PLAN OPTION]...
# The defaults run the always-on and the office fleet at check frequency 4 with
# the whole client (30 % of machines with both variants, packages of 50 and
# 30 MiB, the installer's reset and the default start-up jitter) and a
# four-step rollout; further options are passed to every run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

clients=10000000
days=14
extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    --clients) clients=$2; shift 2 ;;
    --days) days=$2; shift 2 ;;
    *) extra+=("$1"); shift ;;
  esac
done

. bench/publish-tool.sh
build_publish plan-bench
for uptime in always office; do
  command=("$tool" plan --clients "$clients" --check-frequency 4 --activex-mib 50
           --plugin-mib 30 --both-variants-percent 30 --rollout 1,5,25,100 --step-hours 24
           --days "$days" --uptime "$uptime" "${extra[@]}")
  echo
  echo "== ${command[*]}"
  timed "${command[@]}"
  [ "$status" -eq 0 ] || exit "$status"
  printf 'bench: %s clients, %s days, uptime %s: wall %s, peak RSS %s MiB, CPU %s\n' \
    "$clients" "$days" "$uptime" "$wall" "$rss_mib" "$cpu"
done
