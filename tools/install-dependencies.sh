#!/bin/bash
# Installs the Debian packages the build, the tests, the demo and the release
# tools need; does nothing when they are all present (--update: refresh the
# package lists and install anyway). Run as root.
#
# A mirror that fails one index must not stop the set-up: a failed update is
# retried, then the lists it has are used; what every path needs is installed
# first and wine32:i386 on its own, since only the i686 test path needs it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

packages=(
  cmake make g++ clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine64
  librapidxml-dev googletest
  openssl libssl-dev libcurl4-openssl-dev nginx-light libnginx-mod-http-js nlohmann-json3-dev
  pkg-config p11-kit libp11-kit-dev libengine-pkcs11-openssl softhsm2 opensc
  python3 python3-matplotlib python3-pefile python3-asn1crypto python3-cryptography
  wixl
  procps util-linux iproute2 strace libfaketime e2fsprogs
  curl
)
wine32=wine32:i386

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
# wine32 is of use only where the kernel executes 32-bit programs.
want_wine32=false
if "$here/wine/can-run-32bit" --kernel >/dev/null && ! installed "$wine32"; then
  want_wine32=true
fi
if [ ${#missing[@]} -eq 0 ] && ! $want_wine32 && [ "${1:-}" != --update ]; then
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
dpkg --add-architecture i386
for attempt in 1 2 3; do
  apt-get update -qq && break
  if [ "$attempt" -eq 3 ]; then
    echo "apt-get update failed on some index (see above); going on with the package lists it has"
  else
    echo "apt-get update failed (attempt $attempt of 3); trying again in 5 s"
    sleep 5
  fi
done

if ! apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null; then
  echo "could not install the packages every build needs (apt's errors above)" >&2
  exit 1
fi

if "$here/wine/can-run-32bit" --kernel >/dev/null && ! installed "$wine32"; then
  if ! apt-get install -y -qq --no-install-recommends "$wine32"; then
    echo "$wine32 could not be installed (apt's errors above): the tests and the demo take the x86_64 path under wine64"
  fi
fi
exit 0
