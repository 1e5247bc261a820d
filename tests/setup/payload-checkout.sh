#!/usr/bin/env bash
# The payloads are embedded as LF text, and the embedding step refuses CR bytes: a
# checkout that converts line ends (Windows with core.autocrlf) must leave every
# payload file as it is stored.
#   payload-checkout.sh SOURCE-DIR     (exit 77: not a git checkout, nothing to check)
set -euo pipefail
cd "$1"
git rev-parse --is-inside-work-tree >/dev/null 2>&1 || { echo "not a git checkout"; exit 77; }
mapfile -t files < <(git ls-files src/fileassoc/payloads)
[ ${#files[@]} -gt 0 ] || { echo "no payload files in the index"; exit 1; }
status=0
for f in "${files[@]}"; do
  crs=$(git -c core.autocrlf=true -c core.eol=crlf cat-file --filters ":$f" | tr -cd '\r' | wc -c)
  if [ "$crs" -ne 0 ]; then
    echo "$f: a Windows checkout writes it with $crs CR bytes"
    status=1
  fi
done
[ $status -eq 0 ] && echo "${#files[@]} payload files keep their LF line ends"
exit $status
