# Sourced by the scripts that use the real data folder and settings key: outside the sandbox that
# ./quenlit test makes (its own Wine prefix) they skip, so nobody's own prefix is touched.
if [ -z "${QUENLIT_TEST_SANDBOX:-}" ] || [ "${QUENLIT_TEST_SANDBOX}" != "${WINEPREFIX:-}" ]; then
  echo "skipped: $(basename "$0") uses the real data folder and settings key; it runs only inside the sandbox of ./quenlit test"
  exit 77
fi

# A pgrep pattern for the program's own processes: Wine shows it under its Linux path, after the
# emulator's under emulation (the x86 run), never this script, which names it too.
program_processes() { printf '(^|qemu-i386 .* )%s( |$)' "$1"; }

# The ids of this Wine prefix's processes whose command line matches: other runs and a developer's
# own Wine programs share the machine, and theirs carry the same names.
own_processes() {
  local pid
  for pid in $(pgrep -f "$1"); do
    grep -qxzF "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && echo "$pid"
  done
  return 0
}
# The first of them (a pipe into head would end the search with SIGPIPE).
first_own() { local pids; pids=$(own_processes "$1"); echo "${pids%%$'\n'*}"; }
# Ends this prefix's processes whose command line matches (with the signal given, TERM by default).
end_own() {
  local pids
  pids=$(own_processes "$1")
  [ -z "$pids" ] || kill "-${2:-TERM}" $pids 2>/dev/null
  return 0
}
