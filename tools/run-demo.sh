#!/bin/bash
# The main job: the service installed with its Windows Installer package, a
# release published with plumix-publish and served by nginx, one whole update
# cycle of the service against it, in a Wine prefix of its own, then a second
# run that finds the check not due. Run as root from anywhere.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tools/install-dependencies.sh
jobs=$(nproc)
if why=$(tools/wine/can-run-32bit); then
  build=build/win32 toolchain=cmake/i686-w64-mingw32.cmake arch=i686
else
  echo "($why: the demo runs the x86_64 build under wine64)"
  build=build/win64 toolchain=cmake/x86_64-w64-mingw32.cmake arch=x86_64
fi
cmake -S . -B "$build" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$jobs" >/dev/null
# Natively: the release tool that publishes the demo's release, and the
# administrator's log reader that prints the install log.
CC=clang CXX=clang++ cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j"$jobs" --target plumix-publish plumix-log-reader >/dev/null

PLUMIX_BUILD_DIR="$root/$build" PLUMIX_SOURCE_DIR="$root" PLUMIX_ARCH="$arch" \
  PLUMIX_PUBLISH="$root/build/native/tools/publish/plumix-publish" \
  PLUMIX_LOG_READER="$root/build/native/tools/log-reader/plumix-log-reader" \
  python3 tools/demo.py
