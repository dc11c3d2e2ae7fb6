#!/bin/bash
# Runs the libFuzzer targets for as long as asked, one after the other with
# one job each, and prints per target: executions, time, exec/s, corpus size
# and findings (crash, leak, timeout and oom files).
#
#   tools/fuzz/run-fuzzers.sh [--seconds N | --runs N] [--build-dir DIR] [TARGET...]
#
# --seconds N   run each target for N seconds (default 60)
# --runs N      run each target for N executions instead
# TARGET        version_manifest, settings_file, product_version (default: all)
#
# The targets are built, if needed, with clang in DIR (default build/fuzz),
# optimised (-O2) and under ASan + UBSan. Each run starts from the
# repository's seeds (tests/fuzz/corpus/<target>, only read) and the corpus
# that earlier runs left in DIR/fuzz-runs/<target>/corpus; findings go to
# DIR/fuzz-runs/<target>/artifacts, the output to .../last-run.log. The exit
# status is 1 when any target has a finding.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=$source_dir/build/fuzz
limit=(-max_total_time=60)
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) limit=(-max_total_time="$2"); shift 2 ;;
    --runs) limit=(-runs="$2"); shift 2 ;;
    --build-dir) build_dir=$(realpath -m "$2"); shift 2 ;;
    -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(version_manifest settings_file product_version)

declare -A dictionary=([version_manifest]=manifest.dict [settings_file]=settings.dict
                       [product_version]=product_version.dict)
for target in "${targets[@]}"; do
  [ -n "${dictionary[$target]:-}" ] || { echo "unknown target $target" >&2; exit 2; }
done

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build_dir" -j2 --target "${targets[@]/%/_fuzzer}" >/dev/null

# A smaller quarantine than ASan's 256 MB keeps the process's memory, and the
# page faults of fresh memory, down; use-after-free is still caught within it.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:max_malloc_fill_size=0}

count_files() { find "$1" -maxdepth 1 -type f -name "$2" | wc -l; }

status=0
printf '%-18s %14s %8s %9s %8s %s\n' target executions seconds exec/s corpus findings
for target in "${targets[@]}"; do
  work=$build_dir/fuzz-runs/$target
  mkdir -p "$work/corpus" "$work/artifacts"
  start=$(date +%s)
  set +e
  "$build_dir/tests/${target}_fuzzer" "${limit[@]}" -timeout=5 -rss_limit_mb=2048 \
      -print_final_stats=1 -dict="$source_dir/tests/fuzz/${dictionary[$target]}" \
      -artifact_prefix="$work/artifacts/" "$work/corpus" "$source_dir/tests/fuzz/corpus/$target" \
      >"$work/last-run.log" 2>&1
  result=$?
  set -e
  seconds=$(( $(date +%s) - start ))
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/last-run.log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/last-run.log" | tail -1)
  findings=""
  for kind in crash leak timeout oom; do
    n=$(count_files "$work/artifacts" "$kind-*")
    [ "$n" -eq 0 ] || findings+="$kind:$n "
  done
  [ $result -eq 0 ] || findings+="exit:$result "
  [ -z "$findings" ] || status=1
  printf '%-18s %14s %8s %9s %8s %s\n' "$target" "${executions:-?}" "$seconds" "${rate:-?}" \
      "$(count_files "$work/corpus" '*')" "${findings:-none}"
done
exit $status
