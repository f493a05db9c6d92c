#!/usr/bin/env bash
# check_moved_prefix.sh BUILD VERSION OBJECTS_FILE COMPARE_WAV
# Installs the build BUILD with cmake --install into a temporary prefix,
# moves the prefix elsewhere, and checks that everything works from where it
# now lies: the tool, the LV2 bundle and the Pd library.
source "$(dirname "$0")/package_checks.sh"
build=$1 version=$2 objects=$3 compare=$4

cmake --install "$build" --prefix "$work/installed" > /dev/null
mkdir "$work/elsewhere"
mv "$work/installed" "$work/elsewhere/prefix"
prefix=$work/elsewhere/prefix

check_tool "$prefix/bin/tildefx" "$version" "$objects"
check_lv2 "$prefix/lib/lv2" "$version" "$objects"
check_pd_library "$prefix/lib/pd/extra/tildefx" "$version" "$objects"
check_pd_render "$prefix/lib/pd/extra/tildefx" "$prefix/bin/tildefx" "$compare"
for file in share/man/man1/tildefx.1.gz share/doc/tildefx/copyright share/doc/tildefx/README.md; do
  [ -f "$prefix/$file" ] || fail "the prefix holds no $file"
done
named=$(grep -rlF "$build/" "$prefix" || true)
[ -z "$named" ] || fail "files that name the build folder $build: $named"
[ $status -eq 0 ] && echo "a prefix installed and moved elsewhere works from there"
exit $status
