#!/bin/bash
# Builds what the benchmark needs and runs it under Wine against the local
# update server; prints median and spread (min-max) of every figure.
#   bench/run-bench.sh [--quick] [--repetitions N]
# --quick: 2 repetitions, the 64 MB package only. The full run (5 repetitions,
# 64 MB and 256 MB) takes about a quarter of an hour. Run as root (the local
# update server listens on port 80 and 443 of a loopback address).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/install-dependencies.sh
if why=$(tools/wine/can-run-32bit); then
  build=build/win32 toolchain=cmake/i686-w64-mingw32.cmake arch=i686
else
  echo "($why: the benchmark runs the x86_64 build under wine64)"
  build=build/win64 toolchain=cmake/x86_64-w64-mingw32.cmake arch=x86_64
fi
cmake -S . -B "$build" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target PlumixPlayerUpdateService standin-installer trust-root \
  bench-floor bench-trivial-service >/dev/null

PLUMIX_BUILD_DIR="$root/$build" PLUMIX_SOURCE_DIR="$root" PLUMIX_ARCH="$arch" \
  PLUMIX_E2E_ADDRESS="${PLUMIX_BENCH_ADDRESS:-127.0.0.19}" \
  python3 bench/bench.py "$@"
