#!/bin/bash
# The whole test suite: installs what is missing, builds the native and the
# Windows configurations and runs every test. Run as root from anywhere.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/install-dependencies.sh "$@"
jobs=$(nproc)

echo "== native build (portable core under AddressSanitizer and UBSan)"
CC=clang CXX=clang++ cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs"

echo "== Windows build of the product (i686)"
cmake -S . -B build/win32 --toolchain cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j"$jobs"

# Wine runs the i686 build where the host runs the 32-bit Wine loader; where it
# does not (a kernel without 32-bit support, or no wine32), the same sources
# are built for x86_64 and tested under wine64.
if why=$(tools/wine/can-run-32bit); then
  test_build=build/win32
else
  echo "== $why: testing the x86_64 build under wine64"
  cmake -S . -B build/win64 --toolchain cmake/x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/win64 -j"$jobs"
  test_build=build/win64
fi

echo "== Windows tests under Wine ($test_build)"
ctest --test-dir "$test_build" --output-on-failure
