#!/usr/bin/env bash
# demo_messages.sh OBJECTS_DIR OUT NAME...: the messages each object's demo
# starts with (DEMO_MESSAGES in OBJECTS_DIR/NAME/demo.sh), one
# "NAME~<tab>MESSAGE" line each, into OUT. Run by the build for the presets.
set -euo pipefail
objects=$1 out=$2
shift 2
for name in "$@"; do
  [ -f "$objects/$name/demo.sh" ] || continue
  (
    source "$objects/$name/demo.sh"
    for message in "${DEMO_MESSAGES[@]}"; do printf '%s~\t%s\n' "$name" "$message"; done
  )
done > "$out"
