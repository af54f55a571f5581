#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Corvane need, when any is
# missing. Fast when everything is there already: it only asks dpkg.
# Usage: scripts/deps.sh [group...]   groups: build (default), test, bench, fuzz, run, screenshots, ui,
#        package, cross-armhf, cross-arm64 (a cross compiler, the libraries of that
#        architecture through multiarch, and qemu-user to run its tests)
set -euo pipefail

declare -A groups=(
  [build]="g++ cmake ninja-build pkg-config libsystemd-dev qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev librsvg2-bin nlohmann-json3-dev"
  [test]="clang-format iproute2 util-linux mount systemd dbus python3-jsonschema prometheus-node-exporter libcap2-bin prometheus"
  [bench]="socat"
  [fuzz]="clang libclang-rt-14-dev"
  [run]="libcap2-bin"
  [screenshots]="xvfb xauth"
  [ui]="xvfb xauth xdotool at-spi2-core python3-pyatspi dbus"
  [package]="dpkg-dev file lintian appstream desktop-file-utils"
  [cross-armhf]="crossbuild-essential-armhf libsystemd-dev:armhf libgtest-dev:armhf libgmock-dev:armhf libstdc++6:armhf qemu-user-static"
  [cross-arm64]="crossbuild-essential-arm64 libsystemd-dev:arm64 libgtest-dev:arm64 libgmock-dev:arm64 libstdc++6:arm64 qemu-user-static"
)

wanted=(${groups[build]})
for group in "$@"; do
  [ -n "${groups[$group]+x}" ] || { echo "deps.sh: unknown group '$group'" >&2; exit 2; }
  wanted+=(${groups[$group]})
done

missing=()
for package in "${wanted[@]}"; do
  # One line per installed architecture of a multiarch library.
  dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -qx "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "deps.sh: run as root to install ${missing[*]}" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# Libraries of another architecture (libsystemd-dev:armhf) come through multiarch, once dpkg knows
# the architecture and apt has its package lists.
added=0
for package in "${missing[@]}"; do
  arch=${package#*:}
  [ "$arch" != "$package" ] || continue
  if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    "${sudo_cmd[@]}" dpkg --add-architecture "$arch"
    added=1
  fi
done
# A mirror in the middle of a sync may fail one index; the install below says what is missing.
update() { "${sudo_cmd[@]}" apt-get update || "${sudo_cmd[@]}" apt-get update || true; }
install() {
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "$@" "${missing[@]}"
}
[ $added -eq 0 ] || update
install && exit 0
# A fresh machine may have no package lists yet.
update
install && exit 0
# Multiarch wants the same version of a library for every architecture (liblzma5 and
# liblzma5:armhf). When one architecture's index of the security updates could not be had, the
# release's own versions still match.
[ $added -eq 0 ] && ! printf '%s\n' "${missing[@]}" | grep -q ':' && exit 1
. /etc/os-release
install -t "$VERSION_CODENAME"
