#!/usr/bin/env bash
# The ARM part of CI: cross-builds corvane-service for ARCH with Debian's cross compiler
# (scripts/package.sh ARCH), together with the Qt-free tests, checks the package with lintian and
# runs the tests under qemu-user (qemu-ARCH-static -L /, the CTest emulator of the toolchain file).
#
# The suites that start the programs from shell scripts (netns, system, profile_schema) are left to
# the native run: without binfmt_misc, a host-wide kernel setting this script does not change, the
# kernel cannot start an ARM program by itself, so only CTest's emulator can run them.
# Usage: scripts/cross_test.sh armhf|arm64
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:?usage: scripts/cross_test.sh armhf|arm64}
started=$SECONDS

deb=$(CORVANE_CROSS_TESTS=ON scripts/package.sh "$arch" | tail -n 1)
built=$SECONDS
echo "== $deb ($(dpkg-deb -f "$deb" Installed-Size) KiB installed)"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
status=0
lintian --fail-on error,warning "$deb" >/tmp/lintian-$arch.txt 2>&1 || status=$?
grep -v "running with root privileges" /tmp/lintian-$arch.txt || true
rm -f /tmp/lintian-$arch.txt
[ "$status" -eq 0 ] || { echo "lintian failed (no errors or warnings allowed)"; exit 1; }

echo "== the tests under qemu-user ($arch)"
ctest --test-dir "build/package-$arch" --output-on-failure -j2 --timeout 300 \
      -E '^(netns|system|profile_schema|alerting_rules)$'
echo "$arch: built in $((built - started)) s, tested in $((SECONDS - built)) s"
