#!/usr/bin/env bash
# check_modules.sh BIN FORMAT TABLE OBJECT...: checks with objdump -p the
# Windows modules in BIN: each object's plug-in NAME~.mxe is of FORMAT
# (pei-i386 or pei-x86-64), exports main and nothing else, and imports only
# from the host's libraries and the system's, each host operation by its
# plain name from the library that TABLE (host_libraries.txt) assigns it;
# each host library exports exactly its share.
set -uo pipefail
bin=$1 format=$2 table=$3
shift 3
status=0
fail() { echo "$*"; status=1; }

# "LIBRARY NAME" for every name each library offers.
offers=$(grep -v '^#' "$table" | awk '{ for (i = 2; i <= NF; i++) print $1 ".dll", $i }')

# "DLL NAME" for every import in an objdump -p listing.
imports() {
  awk '/DLL Name:/ { dll = $3 } /^\t[0-9a-f]+\t +[0-9]+  / { print dll, $3 }' <<< "$1"
}
# Every name exported in an objdump -p listing, one a line.
exports() {
  awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && NF == 0 { on = 0 } on { print $NF }' <<< "$1"
}

for object in "$@"; do
  module="$bin/$object~.mxe"
  [ -f "$module" ] || { fail "$module is missing"; continue; }
  dump=$(objdump -p "$module")
  grep -q "file format $format\$" <<< "$dump" || fail "$module is not $format"
  exported=$(exports "$dump" | tr '\n' ' ')
  [ "$exported" = "main " ] || fail "$module exports: $exported"
  while read -r dll name; do
    case "$dll" in
      MaxAPI.dll | MaxAudio.dll | MAXCRT.dll)
        grep -qx "$dll $name" <<< "$offers" || fail "$module imports $name from $dll, which does not offer it" ;;
      KERNEL32.dll | msvcrt.dll)
        # The runtime's own calls; the math functions come from the host.
        if grep -q "^MAXCRT.dll $name\$" <<< "$offers" && ! grep -qx "$name" <<< "malloc
free
rand"; then
          fail "$module imports $name from $dll instead of MAXCRT.dll"
        fi ;;
      *) fail "$module imports from $dll" ;;
    esac
    case "$name" in _Z*) fail "$module imports the C++ name $name from $dll" ;; esac
  done < <(imports "$dump")
  # Nor may the module hold its own copy of a function of MAXCRT (a defined
  # name without an import behind it), or the runtime's sincos.
  underscore=$([ "$format" = pei-i386 ] && echo _)
  symbols=$(nm --defined-only "$module" | awk '{ print $3 }' | sed "s/^$underscore//")
  for name in $(grep '^MAXCRT.dll ' <<< "$offers" | cut -d' ' -f2) sincos; do
    if grep -qx "$name" <<< "$symbols" && ! grep -qxE "_+imp_${underscore}$name" <<< "$symbols"; then
      fail "$module has its own $name instead of the one from MAXCRT.dll"
    fi
  done
  for needed in "MaxAPI.dll setup" "MaxAPI.dll newobject" "MaxAudio.dll dsp_add" "MaxAudio.dll z_add_signalmethod"; do
    grep -qx "$needed" <<< "$(imports "$dump")" || fail "$module does not import ${needed#* } from ${needed% *}"
  done
done

for library in MaxAPI MaxAudio MAXCRT; do
  expected=$(grep "^$library.dll " <<< "$offers" | cut -d' ' -f2 | sort | tr '\n' ' ')
  actual=$(exports "$(objdump -p "$bin/$library.dll")" | sort | tr '\n' ' ')
  [ "$actual" = "$expected" ] || fail "$library.dll exports $actual, not $expected"
done
[ $status -eq 0 ] && echo "$# plug-ins and 3 host libraries in $bin: as they should be"
exit $status
