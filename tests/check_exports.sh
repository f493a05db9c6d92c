#!/bin/sh
# Every plug-in exports main and nothing else.
status=0
for plugin in "$1"/*.so; do
  exported=$(nm -D --defined-only "$plugin" | awk '{print $3}' | sort | tr '\n' ' ')
  if [ "$exported" != "main " ]; then
    echo "$plugin exports: $exported"
    status=1
  fi
done
exit $status
