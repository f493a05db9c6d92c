#!/usr/bin/env bash
# check_windows_archive.sh ZIP VERSION OBJECTS_FILE TOOL COMPARE_WAV WINE TABLE
# Unpacks the Windows archive ZIP into a temporary folder and checks it from
# its own contents: exactly the files docs/install.md lists, in win32 (PE32)
# and win64 (PE32+), each module carrying VERSION in its version resource and
# keeping the form check_modules.sh checks (TABLE is host_libraries.txt),
# README.txt naming every file; and tildefx.exe from win64 under WINE, in a
# fresh prefix, says its version, lists every object and renders bit for bit
# as the Linux TOOL does. The archive is unpacked into a folder whose name
# lies outside any ANSI code page, as a user's folder may.
zip=$1 version=$2 objects=$3 tool=$4 compare=$5 wine=$6 table=$7
[ -f "$zip" ] || { echo "no $zip: scripts/package windows makes it"; exit 1; }
source "$(dirname "$0")/package_checks.sh"

unpacked=$work/ファイル
mkdir "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
top=tildefx-$version-windows
root=$unpacked/$top
modules=$( (sed 's/$/.mxe/' "$objects"; printf '%s\n' MaxAPI.dll MaxAudio.dll MAXCRT.dll tildefx_host.dll tildefx.exe) | sort)
expected=$( (echo README.txt; echo LICENSE.txt; for form in win32 win64; do sed "s|^|$form/|" <<< "$modules"; done) | sort)
[ "$(ls "$unpacked")" = "$top" ] || fail "the top of the archive holds $(ls "$unpacked"), not the one folder $top"
[ "$(cd "$root" && find . -type f | sed 's|^\./||' | sort)" = "$expected" ] ||
  fail "the archive holds: $(cd "$root" && find . -type f | sort | tr '\n' ' ')"

for module in $modules; do
  # An object appears as NAME~.mxe and by its name in the list of objects.
  grep -qF "${module/#*~.mxe/NAME~.mxe}" "$root/README.txt" && grep -qF "${module%.mxe}" "$root/README.txt" ||
    fail "README.txt does not name $module"
  for form in win32 win64; do
    strings -el "$root/$form/$module" | grep -qx "$version" || fail "$form/$module carries no version resource of $version"
  done
done
grep -q "tildefx $version" "$root/README.txt" || fail "README.txt does not carry $version"
for form in win32:pei-i386 win64:pei-x86-64; do
  checked=$("$checks_dir/../windows/check_modules.sh" "$root/${form%%:*}" "${form#*:}" "$table" \
    $(sed 's/~$//' "$objects") 2> /dev/null) || fail "${form%%:*}: $checked"
done

# One wine start in a fresh prefix runs the tool three times, from its own
# folder.
cd "$work"
make_input in.wav
"$tool" render --quiet overtoner~ in.wav linux-out.wav "p2 0" "p3 -6"
cp in.wav "$root/win64/"
printf '@echo off\r\ntildefx.exe --version > version.txt 2>&1\r\ntildefx.exe list > list.txt 2>&1\r\n' > runs.bat
printf 'tildefx.exe render --quiet overtoner~ in.wav out.wav "p2 0" "p3 -6" > render.txt 2>&1\r\n' >> runs.bat
export WINEPREFIX=$work/prefix WINEDEBUG=-all
(cd "$root/win64" && "$wine" cmd /c "Z:$(tr / '\\' <<< "$work/runs.bat")") > wine.txt 2>&1 || true
"$(dirname "$wine")/wineserver" -k 2> /dev/null || true
for file in version.txt list.txt render.txt out.wav; do
  [ -f "$root/win64/$file" ] && mv "$root/win64/$file" "$work/"
done
mv out.wav windows-out.wav 2> /dev/null || true
[ "$(tr -d '\r' < version.txt)" = "tildefx $version" ] || fail "tildefx.exe --version says: $(cat version.txt wine.txt)"
[ "$(tr -d '\r' < list.txt)" = "$(sorted_objects "$objects")" ] || fail "tildefx.exe list says: $(cat list.txt)"
[ -f windows-out.wav ] && "$compare" linux-out.wav windows-out.wav | grep -qx "45056 0" ||
  fail "tildefx.exe did not render as the Linux tool: $(cat render.txt) $("$compare" linux-out.wav windows-out.wav 2>&1)"
[ $status -eq 0 ] && echo "$(basename "$zip"): as it should be"
exit $status
