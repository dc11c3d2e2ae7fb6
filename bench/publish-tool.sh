# What the release tool's benchmarks share; sourced by health-bench.sh and
# plan-bench.sh from the repository's root.

# build_publish NAME: builds plumix-publish optimised and without the
# sanitizers in build/NAME, sets tool to it and prints the machine.
build_publish() {
  tools/install-dependencies.sh
  local build=build/$1
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPLUMIX_SANITIZE=OFF \
    >/dev/null
  cmake --build "$build" -j2 --target plumix-publish >/dev/null
  tool="$build/tools/publish/plumix-publish"
  local memory
  memory=$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
  echo "machine: $(nproc) cores, $memory, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)"
}

# timed COMMAND...: runs it under GNU time and sets status (its exit code),
# wall, user and system (seconds), cpu (its share) and rss_mib (peak
# resident set).
timed() {
  local timing
  timing=$(mktemp)
  status=0
  /usr/bin/time -v -o "$timing" "$@" || status=$?
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$timing")
  user=$(sed -n 's/.*User time (seconds): //p' "$timing")
  system=$(sed -n 's/.*System time (seconds): //p' "$timing")
  cpu=$(sed -n 's/.*Percent of CPU this job got: //p' "$timing")
  rss_mib=$(awk '/Maximum resident set size/ {printf "%.0f", $NF / 1024}' "$timing")
  rm -f "$timing"
}
