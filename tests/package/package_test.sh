#!/usr/bin/env bash
# The packaging test: builds the Debian package (scripts/package.sh), runs lintian on it, compares
# its files with expected_contents.txt, validates its launcher and AppStream metainfo, and then
# installs, upgrades and purges it inside a throw-away system with a real systemd
# (tests/system/systemd_namespace.sh; the steps are in_system.sh). Needs root.
# Usage: tests/package/package_test.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
harness=tests/system/systemd_namespace.sh
started=$SECONDS

deb=$(scripts/package.sh | tail -n 1)
echo "== package: $deb"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== lintian (no errors or warnings allowed)"
status=0
lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 || status=$?
grep -v "running with root privileges" "$work/lintian.txt" || true
[ "$status" -eq 0 ] || { echo "lintian failed"; exit 1; }

echo "== contents"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|' | LC_ALL=C sort |
  diff -u tests/package/expected_contents.txt - || { echo "unexpected contents"; exit 1; }
if dpkg-deb -c "$deb" | awk '$2 != "root/root"' | grep -q .; then
  echo "files not owned by root"; exit 1
fi

dpkg-deb -x "$deb" "$work/root"
echo "== launcher and metainfo"
desktop-file-validate "$work/root/usr/share/applications/corvane.desktop"
appstreamcli validate --no-net --strict "$work/root/usr/share/metainfo/"*.metainfo.xml
# The release records name the version being packaged.
version=$(dpkg-deb -f "$deb" Version)
changelog=$(zcat "$work/root/usr/share/doc/corvane/changelog.gz" | sed -n 1p)
release=$(grep -o -m 1 '<release version="[^"]*"' "$work/root/usr/share/metainfo/"*.metainfo.xml)
[ "$changelog" != "${changelog#corvane ($version) }" ] ||
  { echo "the changelog's newest entry is not $version: $changelog"; exit 1; }
[ "$release" = "<release version=\"$version\"" ] ||
  { echo "the metainfo's newest release is not $version: $release"; exit 1; }

echo "== install, upgrade and purge under systemd"
if [ "$(id -u)" -ne 0 ]; then
  echo "needs root"; exit 1
fi
cmake --preset debug >/dev/null
cmake --build --preset debug --target corvane_service_actions corvane_demo >/dev/null
mkdir "$work/share"
cp "$deb" build/debug/tests/corvane_service_actions build/debug/tools/corvane_demo \
   tests/package/in_system.sh "$work/share/"
chmod -R a+rX "$work"
SHARE="$work/share" timeout 600 "$harness" sh /share/in_system.sh
echo "packaging test passed in $((SECONDS - started)) s"
