#!/bin/bash
# Runs one end-to-end test module outside CTest, without its time-out, for
# long reliability runs. The Windows build must exist (tools/run-tests.sh or
# the build commands in README.md make it).
#   run-e2e-module.sh MODULE [BUILD_DIR]
# e.g. PLUMIX_CRASH_RUNS=100 tools/reliability/run-e2e-module.sh test_crash_safety
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
module=${1:?usage: $0 MODULE [BUILD_DIR]}
if [ $# -ge 2 ]; then
  build=$(realpath "$2")
elif "$root/tools/wine/can-run-32bit"; then
  build=$root/build/win32
else
  build=$root/build/win64
fi
case $(grep '^CMAKE_TOOLCHAIN_FILE' "$build/CMakeCache.txt") in
  *x86_64-w64-mingw32*) arch=x86_64 ;;
  *i686-w64-mingw32*) arch=i686 ;;
  *) echo "$build is not a Windows build tree" >&2; exit 2 ;;
esac
cd "$root/tests/e2e"
PLUMIX_BUILD_DIR=$build PLUMIX_SOURCE_DIR=$root PLUMIX_ARCH=$arch \
  exec python3 -B -m unittest -v "$module"
