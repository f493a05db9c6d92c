#!/usr/bin/env bash
# render_under_wine.sh LINUX_TOOL COMPARE_WAV WINDOWS_BIN WINE
# Renders every object with tildefx.exe from WINDOWS_BIN under WINE and with
# the Linux tool, over the same generated inputs, messages and scores (three
# cases per object, see tests/support/demo_cases.sh), and counts the samples
# in which the two differ: there must be none. The console lines, `list` and
# `info` must match as well, and the Windows host must find a plug-in through
# TILDEFX_PATH (folders separated by ';') and refuse names holding '\' or ':'.
# All Windows runs come from one batch file, in one wine start, in a fresh
# prefix; set WINEARCH=win32 for a 32-bit wine. A failed run keeps its folder.
set -euo pipefail
tool=$(realpath "$1") compare=$(realpath "$2") bin=$(realpath "$3") wine=$(realpath "$4")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tildefx-wine.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all
status=1
trap '"$(dirname "$wine")/wineserver" -k 2> /dev/null || true; [ $status -ne 0 ] && echo "kept $work" || rm -rf "$work"' EXIT
cd "$work"

windows_path() { echo "Z:$(tr / '\\' <<< "$1")"; }
exe=$(windows_path "$bin/tildefx.exe")
printf '@echo off\r\n' > renders.bat
windows() {  # appends one run of tildefx.exe to the batch, stdout to $1
  local out=$1 line="\"$exe\""
  shift
  for arg in "$@"; do line+=" \"$arg\""; done
  printf '%s > %s 2>&1\r\nif errorlevel 1 echo FAILED: %s\r\n' "$line" "$out" "$out" >> renders.bat
}

cases=()
render() {  # NAME ARGUMENTS...: the render arguments, with @OUT@ for the output
  local name=$1
  shift
  "$tool" render --quiet "${@//@OUT@/linux-$name.wav}" > "linux-$name.txt" 2>&1 ||
    { echo "linux render $name failed:"; cat "linux-$name.txt"; exit 1; }
  windows "windows-$name.txt" render --quiet "${@//@OUT@/windows-$name.wav}"
  cases+=("$name")
}

source "$source_dir/tests/support/demo_cases.sh"
demo_cases "$source_dir" render
objects=()
for case in "${cases[@]}"; do
  object=${case%-a}
  [ "$object" != "$case" ] || continue
  objects+=("$object")
  "$tool" info "$object" > "linux-info-$object.txt" 2>&1
  windows "windows-info-$object.txt" info "$object"
done
"$tool" --path "$bin" list > linux-list.txt 2>&1
windows windows-list.txt list

# A plug-in under another name in a folder of TILDEFX_PATH: its name is its
# file name.
mkdir extra
cp "$bin/sidesplit~.mxe" extra/copied~.mxe
printf 'set TILDEFX_PATH=Z:\\nothing;%s\r\n' "$(windows_path "$work/extra")" >> renders.bat
windows windows-path.txt info copied~
printf 'set TILDEFX_PATH=\r\n' >> renders.bat
for name in 'extra\copied~' 'Z:copied~'; do
  printf '"%s" info "%s" > windows-refused-%d.txt 2>&1\r\n' "$exe" "$name" "${#name}" >> renders.bat
done

started=$(date +%s%N)
"$wine" cmd /c renders.bat > wine-output.txt 2>&1 || true
seconds=$(awk "BEGIN { printf \"%.1f\", ($(date +%s%N) - $started) / 1e9 }")
if grep -q FAILED wine-output.txt; then
  echo "tildefx.exe failed under wine:"
  cat wine-output.txt
  for failed in $(grep -o 'windows-[^ ]*\.txt' wine-output.txt); do cat "$failed"; done
  exit 1
fi

status=0
[ "$(head -1 windows-path.txt | tr -d '\r')" = "copied~" ] ||
  { echo "TILDEFX_PATH was not searched:"; cat windows-path.txt; status=1; }
for refused in windows-refused-*.txt; do
  grep -q "no object" "$refused" || { echo "a name with \\ or : was not refused:"; cat "$refused"; status=1; }
done
same_text() {  # LINUX WINDOWS: the same lines, line endings aside
  if ! diff <(cat "$1") <(tr -d '\r' < "$2") > /dev/null; then
    echo "$2 differs from $1:"
    diff <(cat "$1") <(tr -d '\r' < "$2") | head -20
    status=1
  fi
}
total=0
differing=0
for name in "${cases[@]}"; do
  comparison=$("$compare" "linux-$name.wav" "windows-$name.wav" || true)
  if [[ ! "$comparison" =~ ^([0-9]+)\ ([0-9]+)$ ]] || [ "${BASH_REMATCH[2]}" != 0 ]; then
    echo "$name: $comparison (samples, differing)"
    status=1
    continue
  fi
  total=$((total + BASH_REMATCH[1]))
  differing=$((differing + BASH_REMATCH[2]))
  same_text "linux-$name.txt" "windows-$name.txt"
done
for object in "${objects[@]}"; do same_text "linux-info-$object.txt" "windows-info-$object.txt"; done
same_text linux-list.txt windows-list.txt
echo "${#cases[@]} renders of ${#objects[@]} objects, $total samples compared, $differing differing;" \
  "wine ran every Windows render in one start in ${seconds} s"
exit $status
