#!/usr/bin/env bash
# check_dek.sh DEK VERSION OBJECTS_FILE COMPARE_WAV TOOL
# Unpacks the Pd library package DEK into a temporary folder and checks it
# from its own contents: deken's naming scheme, one top folder tildefx with
# the externals, help patches, meta patch and licence, the object list and
# checksum beside it, and a render in Pd itself with -path at the unpacked
# library, bit for bit as TOOL renders it.
dek=$1 version=$2 objects=$3 compare=$4 tool=$5
[ -f "$dek" ] || { echo "no $dek: scripts/package dek makes it"; exit 1; }
source "$(dirname "$0")/package_checks.sh"

# deken's naming scheme: LIBRARY[vVERSION](OS-ARCH-FLOATBITS)...dek
name=$(basename "$dek")
[[ "$name" =~ ^tildefx\[v$version\]\(Linux-[a-z0-9_]+-32\)\.dek$ ]] || fail "$name does not follow deken's scheme"

mkdir "$work/dek"
(cd "$work/dek" && cmake -E tar xf "$dek")
[ "$(ls "$work/dek")" = tildefx ] || fail "the top of $name holds $(ls "$work/dek"), not the one folder tildefx"
library=$work/dek/tildefx
expected=$( (sed 's/$/.pd_linux/' "$objects"; sed 's/$/-help.pd/' "$objects"; echo tildefx-meta.pd; echo LICENSE.txt) | sort)
[ "$(cd "$library" && find . -type f | sed 's|^\./||' | sort)" = "$expected" ] ||
  fail "$name holds: $(cd "$library" && find . -type f | sort | tr '\n' ' ')"
check_pd_library "$library" "$version" "$objects"
check_pd_render "$library" "$tool" "$compare"

[ "$(cut -f1 "$dek.txt")" = "$(cat "$objects")" ] || fail "$dek.txt does not list the objects: $(cat "$dek.txt")"
grep -qvP '^\S+\t\S' "$dek.txt" && fail "$dek.txt has a line without its summary"
[ "$(cat "$dek.sha256")" = "$(sha256sum "$dek" | cut -d' ' -f1)" ] || fail "$dek.sha256 is not the archive's sum"
[ $status -eq 0 ] && echo "$name: as it should be"
exit $status
