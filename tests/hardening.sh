#!/usr/bin/env bash
# The programs a user runs from anywhere (a Downloads folder) are hardened as Windows expects: ASLR
# (with high entropy on x64), DEP, terminal-server aware, no section both writable and executable;
# Quenlit.exe imports only DLLs that Windows takes from System32 whatever lies beside it, and the
# set-up and its uninstaller restrict their own DLL loads.
# Usage: tests/hardening.sh <Quenlit.exe x64> <Quenlit.exe x86> [<set-up> ...]; without set-ups
# both are built from the programs.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
x64=$1 x86=$2
shift 2
setups=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ ${#setups[@]} -eq 0 ]; then
  for arch in x64 x86; do
    [ $arch = x64 ] && program=$x64 || program=$x86
    "$root/setup/build.sh" "$program" 0.0.0 315532800 "$work/setup-$arch.exe" ||
      { echo "FAILED: the $arch set-up cannot be built"; exit 1; }
    setups+=("$work/setup-$arch.exe")
  done
fi
# Known DLLs (and the C runtime, which is one); comctl32 comes through the manifest, side by side.
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll shlwapi.dll user32.dll "
failures=0
fail() { failures=$((failures + 1)); echo "FAILED: $*"; }

hardened() { # file, label
  local headers sections characteristics need magic
  headers=$(x86_64-w64-mingw32-objdump -p "$1" 2>/dev/null) || { fail "$2: not a PE file"; return; }
  sections=$(x86_64-w64-mingw32-objdump -h "$1" 2>/dev/null)
  magic=$(awk '$1 == "Magic" { print $2 }' <<<"$headers")
  characteristics=$((16#$(sed -n 's/^DllCharacteristics[[:space:]]*//p' <<<"$headers")))
  # DYNAMIC_BASE, NX_COMPAT, TERMINAL_SERVER_AWARE; HIGH_ENTROPY_VA on PE32+.
  need=$((0x40 | 0x100 | 0x8000))
  [ "$magic" = 020b ] && need=$((need | 0x20))
  [ $((characteristics & need)) -eq $need ] && echo "ok: $2: ASLR, DEP, terminal-server aware (0x$(printf %04x $characteristics))" ||
    fail "$2: DllCharacteristics 0x$(printf %04x $characteristics), needs 0x$(printf %04x $need)"
  local wx
  wx=$(awk '/^ *[0-9]+ / { name = $2; next } /CODE/ && !/READONLY/ { print name }' <<<"$sections")
  [ -z "$wx" ] && echo "ok: $2: no section both writable and executable" || fail "$2: writable code in $wx"
}

imports_system_only() { # file, label
  local dll others=""
  for dll in $(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    [[ $system_dlls == *" $dll "* ]] || others+=" $dll"
  done
  [ -z "$others" ] && echo "ok: $2: imports only DLLs of System32" || fail "$2 imports$others"
}

hardened "$x64" "Quenlit.exe x64"
imports_system_only "$x64" "Quenlit.exe x64"
hardened "$x86" "Quenlit.exe x86"
imports_system_only "$x86" "Quenlit.exe x86"
for setup in "${setups[@]}"; do
  label="the set-up $(basename "$setup")"
  hardened "$setup" "$label"
  # NSIS stubs call SetDefaultDllDirectories(System32) before anything else, the uninstaller (the
  # same stub) too; the name is in the stub for that call.
  grep -qa SetDefaultDllDirectories "$setup" && echo "ok: $label and its uninstaller restrict their DLL loads" ||
    fail "$label does not restrict its DLL loads"
done
echo "hardening: $failures failed"
[ "$failures" -eq 0 ]
