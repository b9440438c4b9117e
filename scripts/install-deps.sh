#!/usr/bin/env bash
# Installs, on Debian 12, the packages the builds and tests need. Safe to run
# again: what is installed already is not asked for.
#
#   scripts/install-deps.sh           everything the test command needs
#   scripts/install-deps.sh --build   only what the native Linux build of
#                                     yxtk needs (the run command): no Wine,
#                                     no i386 architecture, no test, fuzzing,
#                                     benchmark or packaging tools
set -euo pipefail

# The native Linux build of yxtk.
build_packages=(
  build-essential cmake ninja-build pkg-config
  libsystemd-dev
)
# The rest of the test command: unit tests and benchmarks, the fuzzing
# compiler, the Windows cross builds (32- and 64-bit) and Wine to run them,
# the private bus and mock logind of the end-to-end tests, and the packaging
# test's lintian.
test_packages=(
  libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-i686-posix mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine32:i386 wine64
  dbus python3-dbusmock python3-pytest
  systemd  # its systemd-logind, run by the tests in a private namespace; no service is started
  libspdlog-dev hyperfine time
  lintian file clang-format
)

case "${1:-}" in
  --build) packages=("${build_packages[@]}") ;;
  "") packages=("${build_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 [--build]" >&2
    exit 2
    ;;
esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
# Wine's 32-bit half comes from Debian's i386 architecture.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
  ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
