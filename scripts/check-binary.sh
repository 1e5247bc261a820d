#!/usr/bin/env bash
# Checks a built Korvane.exe: its import table names only DLLs that Windows 10
# loads from System32 whatever the program's folder holds (KnownDLLs), and every
# other DLL it uses is in the delay-import table, resolved only after start-up has
# restricted the DLL search to System32.  With --manifest it also checks the
# embedded application manifest: the execution level it asks for, and the same
# supportedOS entries as the window's manifest (without them Windows reports
# itself to the program as 6.2).
# Usage: check-binary.sh EXE [--manifest LEVEL] [DLL...]
#        (LEVEL: asInvoker or requireAdministrator; the DLLs must be in the delay-import table)
set -euo pipefail
cd "$(dirname "$0")/.."
exe="$1"
shift
level=""
if [ "${1:-}" = "--manifest" ]; then
  level="$2"
  shift 2
fi
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
if [ -n "$level" ]; then
  if manifest=$(python3 tools/pe_manifest.py "$exe"); then
    echo "$manifest" | grep -q "requestedExecutionLevel level=\"$level\"" ||
      { echo "the manifest does not ask for $level"; status=1; }
    wanted=$(grep -o 'supportedOS Id="{[^}]*}"' src/resources/Korvane.manifest.in | sort)
    found=$(echo "$manifest" | grep -o 'supportedOS Id="{[^}]*}"' | sort)
    [ -n "$wanted" ] && [ "$wanted" = "$found" ] ||
      { echo "supportedOS entries differ from the window's:"; echo "$found"; status=1; }
    echo "manifest: $level, $(echo "$found" | wc -l) supportedOS entries"
  else
    status=1
  fi
fi
exit $status
