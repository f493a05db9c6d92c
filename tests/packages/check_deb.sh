#!/usr/bin/env bash
# check_deb.sh DEB VERSION OBJECTS_FILE COMPARE_WAV BUILD
# Unpacks the Debian package DEB with dpkg-deb -x into a temporary folder
# (the machine's own folders stay as they are) and checks it from its own
# contents: its version and relations, the tool run from there, the LV2
# bundle through lv2ls, the Pd library in Pd itself against the package's
# tool, the man page and documentation, and that no file names the build
# folder BUILD.
deb=$1 version=$2 objects=$3 compare=$4 build=$5
[ -f "$deb" ] || { echo "no $deb: scripts/package deb makes it"; exit 1; }
source "$(dirname "$0")/package_checks.sh"

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q "libsndfile1" <<< "$depends" || fail "Depends: $depends (no libsndfile1)"
grep -qE "puredata|lv2" <<< "$depends" && fail "Depends: $depends (a host package: those are only suggested)"
grep -q "puredata-core" <<< "$(dpkg-deb -f "$deb" Suggests)" || fail "Suggests: $(dpkg-deb -f "$deb" Suggests)"

root=$work/root
dpkg-deb -x "$deb" "$root"
check_tool "$root/usr/bin/tildefx" "$version" "$objects"
check_lv2 "$root/usr/lib/lv2" "$version" "$objects"
check_pd_library "$root/usr/lib/pd/extra/tildefx" "$version" "$objects"
check_pd_render "$root/usr/lib/pd/extra/tildefx" "$root/usr/bin/tildefx" "$compare"
for file in usr/share/doc/tildefx/copyright usr/share/doc/tildefx/changelog.gz usr/share/doc/tildefx/README.md \
  usr/share/doc/tildefx/docs/tool.md; do
  [ -f "$root/$file" ] || fail "the package holds no $file"
done
zcat "$root/usr/share/man/man1/tildefx.1.gz" | grep -q '^\.TH TILDEFX "1" .* "tildefx '"$version"'"' ||
  fail "the man page is missing or does not carry $version"
named=$(grep -rlF "$build/" "$root" || true)
[ -z "$named" ] || fail "files that name the build folder $build: $named"
[ $status -eq 0 ] && echo "$deb: as it should be"
exit $status
