#!/usr/bin/env bash
# Builds the Debian packages: a release build with the distribution's hardening flags, installed
# to /usr, stripped, its dependencies computed from the programs' libraries. Prints the packages'
# paths.
#
#   scripts/package.sh          build/package/corvane-service_<version>_<arch>.deb and
#                               build/package/corvane_<version>_<arch>.deb for this machine
#   scripts/package.sh ARCH     build/package/corvane-service_<version>_ARCH.deb alone, cross-built
#                               with Debian's cross compiler for ARCH (armhf or arm64), in
#                               build/package-ARCH; CORVANE_CROSS_TESTS=ON builds the Qt-free tests
#                               there too, for scripts/cross_test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

native=$(dpkg --print-architecture)
arch=${1:-$native}
out=build/package
if [ "$arch" = "$native" ]; then
  scripts/deps.sh package
  tree=build/package
  configure=()
else
  [ -f "cmake/toolchain-$arch.cmake" ] || { echo "package.sh: no cross build for '$arch'" >&2; exit 2; }
  scripts/deps.sh package "cross-$arch"
  tree=build/package-$arch
  configure=(-B "$tree" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$arch.cmake" -DCORVANE_DESKTOP=OFF
             -DCORVANE_BUILD_TESTS="${CORVANE_CROSS_TESTS:-OFF}")
fi
# The flags of the architecture the packages are for.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all" DEB_HOST_ARCH="$arch"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake --preset package "${configure[@]}" -DCMAKE_CXX_FLAGS="$cxxflags" \
      -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$tree"
mkdir -p "$out"
rm -f "$out"/corvane*_"$arch".deb
(cd "$tree" && cpack --config CPackConfig.cmake -B "$PWD/../package-files-$arch" >/dev/null)
mv build/package-files-"$arch"/corvane*_"$arch".deb "$out/"
rm -rf build/package-files-"$arch"
ls "$out"/corvane*_"$arch".deb
