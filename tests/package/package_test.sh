#!/usr/bin/env bash
# The packaging test: builds the two Debian packages (scripts/package.sh), runs lintian on them,
# compares their files with tests/package/<package>.contents, checks that corvane-service depends
# on nothing graphical, validates the launcher and the AppStream metainfo, and then, inside a
# throw-away system with a real systemd (tests/system/systemd_namespace.sh; the steps are
# in_system.sh), upgrades the single package of the previous version to the two, purges them, and
# installs corvane-service alone and relays with the README's two commands. Needs root.
# Usage: tests/package/package_test.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
harness=tests/system/systemd_namespace.sh
# The last commit whose build was one package, corvane 1.1: its maintainer scripts.
single_package_commit=5292404
started=$SECONDS

debs=$(scripts/package.sh | tail -n 2)
service_deb=$(echo "$debs" | grep '/corvane-service_')
desktop_deb=$(echo "$debs" | grep '/corvane_')
version=$(dpkg-deb -f "$desktop_deb" Version)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for deb in "$service_deb" "$desktop_deb"; do
  package=$(dpkg-deb -f "$deb" Package)
  echo "== $deb"
  echo "Depends: $(dpkg-deb -f "$deb" Depends)"
  echo "Installed-Size: $(dpkg-deb -f "$deb" Installed-Size) KiB"
  status=0
  lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 || status=$?
  grep -v "running with root privileges" "$work/lintian.txt" || true
  [ "$status" -eq 0 ] || { echo "lintian failed (no errors or warnings allowed)"; exit 1; }
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|' | LC_ALL=C sort |
    diff -u "tests/package/$package.contents" - || { echo "unexpected contents"; exit 1; }
  if dpkg-deb -c "$deb" | awk '$2 != "root/root"' | grep -q .; then
    echo "files not owned by root"; exit 1
  fi
  dpkg-deb -x "$deb" "$work/root"
  # The release records name the version being packaged.
  changelog=$(zcat "$work/root/usr/share/doc/$package/changelog.gz" | sed -n 1p)
  [ "$changelog" != "${changelog#corvane ($version) }" ] ||
    { echo "the changelog's newest entry is not $version: $changelog"; exit 1; }
done

echo "== corvane-service depends on nothing graphical; corvane on corvane-service $version"
if dpkg-deb -f "$service_deb" Depends | grep -Ei 'qt|libx|libgl|libegl|xcb|wayland|fontconfig|freetype'; then
  echo "corvane-service depends on graphical libraries"; exit 1
fi
dpkg-deb -f "$desktop_deb" Depends | grep -q "corvane-service (= $version)" ||
  { echo "corvane does not depend on corvane-service (= $version)"; exit 1; }

echo "== launcher and metainfo"
desktop-file-validate "$work/root/usr/share/applications/corvane.desktop"
appstreamcli validate --no-net --strict "$work/root/usr/share/metainfo/"*.metainfo.xml
release=$(grep -o -m 1 '<release version="[^"]*"' "$work/root/usr/share/metainfo/"*.metainfo.xml)
[ "$release" = "<release version=\"$version\"" ] ||
  { echo "the metainfo's newest release is not $version: $release"; exit 1; }

echo "== the single package of the previous version"
# As an upgrade sees it: the files of both packages under the one name corvane, version 1.1,
# with that version's maintainer scripts from the history.
old=$work/old
mkdir -p "$old/DEBIAN" "$work/share"
dpkg-deb -x "$service_deb" "$old"
dpkg-deb -x "$desktop_deb" "$old"
rm -rf "$old/usr/share/doc/corvane-service" "$old/usr/bin/corvanectl" "$old/usr/share/man/man1/corvanectl.1.gz"
for script in postinst prerm postrm; do
  git show "$single_package_commit:packaging/debian/$script" |
    sed 's|@CORVANE_SYSTEM_DIR@|/opt/corvane|' >"$old/DEBIAN/$script" ||
    { echo "no $script in $single_package_commit (a shallow clone?)"; exit 1; }
  chmod 0755 "$old/DEBIAN/$script"
done
cat >"$old/DEBIAN/control" <<CONTROL
Package: corvane
Version: 1.1
Architecture: $(dpkg-deb -f "$desktop_deb" Architecture)
Maintainer: $(dpkg-deb -f "$desktop_deb" Maintainer)
Depends: $(dpkg-deb -f "$desktop_deb" Depends | sed 's/corvane-service ([^)]*), //'), $(dpkg-deb -f "$service_deb" Depends)
Section: net
Priority: optional
Description: relay for Wake-on-LAN magic packets
 The single package of version 1.1, for the upgrade test.
CONTROL
dpkg-deb --root-owner-group -b "$old" "$work/share/corvane_1.1.deb" >/dev/null

echo "== upgrade, purge and the headless package under systemd"
if [ "$(id -u)" -ne 0 ]; then
  echo "needs root"; exit 1
fi
cmake --preset debug >/dev/null
cmake --build --preset debug --target corvane_service_actions corvane_demo >/dev/null
cp "$service_deb" "$desktop_deb" build/debug/tests/corvane_service_actions \
   build/debug/tools/corvane_demo tests/package/in_system.sh "$work/share/"
chmod -R a+rX "$work"
SHARE="$work/share" timeout 600 "$harness" sh /share/in_system.sh
echo "packaging test passed in $((SECONDS - started)) s"
