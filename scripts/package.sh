#!/usr/bin/env bash
# Builds the Debian package build/package/corvane_<version>_<arch>.deb: a release build with the
# distribution's hardening flags, installed to /usr, stripped, its dependencies computed from the
# programs' libraries. Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh package
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake --preset package -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build --preset package
rm -f build/package/corvane_*.deb
(cd build/package && cpack --config CPackConfig.cmake >/dev/null)
ls build/package/corvane_*.deb
