#!/usr/bin/env bash
# Each layer of the source tree includes only from itself and the layers below it:
# src/base from nothing else of the program, src/platform from src/base.  The
# layers above it are kept by the CMake targets, which link only downward.
#   layers.sh SOURCE-DIR
set -uo pipefail
cd "$1/src" || exit 1
#   folder    | folders it may include from
rules=(
  "base       | base"
  "platform   | platform base"
)
bad=0
for rule in "${rules[@]}"; do
  IFS='|' read -r folder allowed <<<"$rule"
  folder=$(echo $folder)
  while IFS=: read -r file line include; do
    target=$(sed -E 's/^#include "([^/"]+)\/.*/\1/' <<<"$include")
    ok=0
    for a in $allowed; do [ "$target" = "$a" ] && ok=1; done
    if [ $ok = 0 ]; then
      echo "src/$file:$line includes from src/$target, above src/$folder: $include"
      bad=1
    fi
  done < <(grep -rnE '^#include "[^"/]+/' "$folder" --include=*.h --include=*.cpp)
done
exit $bad
