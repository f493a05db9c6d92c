# Sourced by the package checks: a work folder, removed at the end unless a
# check failed, and the checks the packages share. Every program from a
# package runs with no environment but a PATH to the system's programs, so
# that nothing but the package's own layout can lead it to its files.
set -euo pipefail
status=0
work=$(mktemp -d "${TMPDIR:-/tmp}/tildefx-package.XXXXXX")
trap 'code=$?; [ $code -eq 0 ] && rm -rf "$work" || echo "kept $work"' EXIT
checks_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

fail() {
  echo "$*"
  status=1
}

clean_run() { env -i PATH=/usr/bin:/bin HOME="$work" "$@"; }

# The objects of the build's object list, sorted as tildefx list prints them.
sorted_objects() { sort "$1"; }

# A second of a sine, a whole number of 64-sample blocks long, as 32-bit
# float WAV.
make_input() { sox -V1 -r 44100 -n -r 44100 -c 1 -b 32 -e floating-point "$1" synth 45056s sine 110 gain -3; }

# check_tool TOOL VERSION OBJECTS_FILE: the tool says its version, lists
# every object and renders one, run from where the package put it.
check_tool() {
  local tool=$1 version=$2 objects=$3
  local said
  said=$(clean_run "$tool" --version 2>&1 || true)
  [ "$said" = "tildefx $version" ] || fail "$tool --version says '$said', not 'tildefx $version'"
  diff <(clean_run "$tool" list 2>&1) <(sorted_objects "$objects") > /dev/null ||
    fail "$tool list: $(clean_run "$tool" list 2>&1 | tr '\n' ' '), not $(sorted_objects "$objects" | tr '\n' ' ')"
  make_input "$work/tool-in.wav"
  clean_run "$tool" render --quiet echoloom~ "$work/tool-in.wav" "$work/tool-out.wav" "time 100" "feedback 60" ||
    fail "$tool render failed"
}

# check_lv2 LV2_FOLDER VERSION OBJECTS_FILE: lv2ls finds every object's
# plug-in in LV2_FOLDER and no other, each with the LV2 version of VERSION.
check_lv2() {
  local folder=$1 version=$2 objects=$3
  local expected listed major minor patch
  expected=$(sed 's/~$//; s/^/urn:tildefx:/' "$objects" | sort)
  listed=$(env -i PATH=/usr/bin:/bin LV2_PATH="$folder" lv2ls | sort)
  [ "$listed" = "$expected" ] || fail "lv2ls in $folder lists: $(echo $listed), not $(echo $expected)"
  IFS=. read -r major minor patch <<< "$version"
  for name in $(sed 's/~$//' "$objects"); do
    grep -q "lv2:minorVersion $((2 * (1000 * major + minor))) ;" "$folder/tildefx.lv2/$name.ttl" &&
      grep -q "lv2:microVersion $((2 * patch)) ;" "$folder/tildefx.lv2/$name.ttl" ||
      fail "$folder/tildefx.lv2/$name.ttl does not carry the LV2 version of $version"
  done
}

# check_pd_library FOLDER VERSION OBJECTS_FILE: the externals, their help
# patches and the meta patch with the version.
check_pd_library() {
  local folder=$1 version=$2 objects=$3
  for object in $(cat "$objects"); do
    for file in "$object.pd_linux" "$object-help.pd"; do
      [ -f "$folder/$file" ] || fail "$folder holds no $file"
    done
  done
  grep -q "VERSION $version;" "$folder/tildefx-meta.pd" || fail "$folder/tildefx-meta.pd does not carry $version"
}

# check_pd_render FOLDER TOOL COMPARE_WAV: Pd with -path FOLDER renders
# overtoner~ with two partials raised bit for bit as TOOL does.
check_pd_render() {
  local folder=$1 tool=$2 compare=$3
  local run=$work/pd-render
  rm -rf "$run"
  mkdir "$run"
  cp "$checks_dir/overtoner_render.pd" "$run/"
  make_input "$run/in.wav"
  local console
  console=$(cd "$run" && clean_run timeout 120 pd -nogui -noaudio -batch -noprefs -stderr -r 44100 -path "$folder" \
    -open overtoner_render.pd 2>&1) || fail "pd failed: $console"
  if grep -qiE "error|couldn't create" <<< "$console"; then fail "pd with -path $folder: $console"; fi
  clean_run "$tool" render --quiet overtoner~ "$run/in.wav" "$run/tool-out.wav" "p2 0" "p3 -6" ||
    fail "$tool render failed"
  "$compare" "$run/tool-out.wav" "$run/pd-out.wav" | grep -qx "45056 0" ||
    fail "Pd with -path $folder and $tool differ: $("$compare" "$run/tool-out.wav" "$run/pd-out.wav")"
}
