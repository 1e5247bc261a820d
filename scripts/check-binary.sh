#!/usr/bin/env bash
# Checks a built Korvane.exe: its import table names only DLLs that Windows 10
# loads from System32 whatever the program's folder holds (KnownDLLs), and every
# other DLL it uses is in the delay-import table, resolved only after start-up has
# restricted the DLL search to System32.
# Usage: check-binary.sh EXE [DLL...]   (the DLLs that must be in the delay-import table)
set -euo pipefail
cd "$(dirname "$0")/.."
exe="$1"
shift
expected_delayed=("$@")
known='^(advapi32|gdi32|kernel32|msvcrt|ole32|oleaut32|shell32|user32|comdlg32|shlwapi|psapi|ws2_32|imm32|setupapi|combase|rpcrt4|sechost)\.dll$'
status=0
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dll in $imports; do
  echo "$dll" | grep -Eq "$known" || { echo "import outside the KnownDLLs: $dll"; status=1; }
done
echo "imports: $(echo $imports)"
delayed=""
if [ ${#expected_delayed[@]} -gt 0 ]; then
  delayed=$(python3 tools/pe_delay_directory.py --list "$exe") || { echo "no delay-import table"; status=1; }
  echo "delay imports:"; echo "$delayed" | sed 's/^/  /'
fi
for dll in "${expected_delayed[@]}"; do
  echo "$delayed" | grep -q "^$dll:" || { echo "$dll is not delay-loaded"; status=1; }
done
exit $status
