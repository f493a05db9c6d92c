#!/usr/bin/env bash
# render_under_wine.sh LINUX_TOOL COMPARE_WAV WINDOWS_BIN WINE
# Renders every object with tildefx.exe from WINDOWS_BIN under WINE and with
# the Linux tool, over the same generated inputs, messages and scores, and
# counts the samples in which the two differ: there must be none. Each object
# runs three ways, from its demo preset (objects/NAME/demo.sh):
#   a  the preset: 32-bit float input, block 64;
#   b  16-bit input, block 37, an unknown message, and the signal chain
#      rebuilt at 1 s with another rate and block 100;
#   c  24-bit input, block 256 at a reported rate of 48000, rebuilt at 0.5 s
#      to block 7 at 22050, written as 24-bit PCM.
# The console lines, `list` and `info` must match as well. All Windows runs
# come from one batch file, in one wine start, in a fresh prefix; set
# WINEARCH=win32 for a 32-bit wine.
set -euo pipefail
tool=$(realpath "$1") compare=$(realpath "$2") bin=$(realpath "$3") wine=$(realpath "$4")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tildefx-wine.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all
trap '"$(dirname "$wine")/wineserver" -k 2> /dev/null; rm -rf "$work"' EXIT
cd "$work"

exe="Z:$(tr / '\\' <<< "$bin/tildefx.exe")"
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

objects=()
for preset in "$source_dir"/objects/*/demo.sh; do
  object=$(basename "$(dirname "$preset")")~
  objects+=("$object")
  (
    source "$preset"
    sox -V1 -n -r 44100 -c "$DEMO_CHANNELS" -b 32 -e floating-point "$object-float.wav" "${DEMO_INPUT[@]}"
    sox -V1 "$object-float.wav" -b 16 "$object-16.wav"
    sox -V1 "$object-float.wav" -b 24 "$object-24.wav"
    printf '%s\n' "$DEMO_SCORE" > "$object-a.txt"
    printf '%s\n1s dsp 48000 100\n' "$DEMO_SCORE" > "$object-b.txt"
    printf '%s\n0.5s dsp 22050 7\n' "$DEMO_SCORE" > "$object-c.txt"
    declare -p DEMO_OPTIONS DEMO_MESSAGES > "$object-preset.sh"
  )
  source "$object-preset.sh"
  render "$object-a" "${DEMO_OPTIONS[@]}" --score "$object-a.txt" "$object" "$object-float.wav" @OUT@ \
    "${DEMO_MESSAGES[@]}"
  render "$object-b" "${DEMO_OPTIONS[@]}" --block 37 --score "$object-b.txt" "$object" "$object-16.wav" @OUT@ \
    "${DEMO_MESSAGES[@]}" "nosuch 1"
  render "$object-c" "${DEMO_OPTIONS[@]}" --block 256 --rate 48000 --format pcm24 --score "$object-c.txt" \
    "$object" "$object-24.wav" @OUT@ "${DEMO_MESSAGES[@]}"
  "$tool" info "$object" > "linux-info-$object.txt" 2>&1
  windows "windows-info-$object.txt" info "$object"
done
"$tool" --path "$bin" list > linux-list.txt 2>&1
windows windows-list.txt list

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
  read -r samples differ < <("$compare" "linux-$name.wav" "windows-$name.wav" || true)
  if [ "${differ:-x}" != 0 ]; then
    echo "$name: $samples $differ (samples, differing)"
    status=1
  fi
  total=$((total + ${samples:-0}))
  differing=$((differing + ${differ:-0}))
  same_text "linux-$name.txt" "windows-$name.txt"
done
for object in "${objects[@]}"; do same_text "linux-info-$object.txt" "windows-info-$object.txt"; done
same_text linux-list.txt windows-list.txt
echo "${#cases[@]} renders of ${#objects[@]} objects, $total samples compared, $differing differing;" \
  "wine ran every Windows render in one start in ${seconds} s"
exit $status
