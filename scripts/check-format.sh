#!/usr/bin/env bash
# Fails when a C++ file under src/ or tests/ is not formatted as the repository's
# .clang-format says; lists each file that is not.
#   bash scripts/check-format.sh        check
#   bash scripts/check-format.sh --fix  format them in place
set -uo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format is missing: run scripts/install-deps.sh"; exit 1; }

mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -ne 0 ]; then
  echo "not formatted (bash scripts/check-format.sh --fix):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "formatting: ${#files[@]} files as .clang-format says"
