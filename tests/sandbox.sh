# Sourced by the scripts that use the real data folder and settings key: outside the sandbox that
# ./quenlit test makes (its own Wine prefix) they skip, so nobody's own prefix is touched.
if [ -z "${QUENLIT_TEST_SANDBOX:-}" ] || [ "${QUENLIT_TEST_SANDBOX}" != "${WINEPREFIX:-}" ]; then
  echo "skipped: $(basename "$0") uses the real data folder and settings key; it runs only inside the sandbox of ./quenlit test"
  exit 77
fi

# A pgrep pattern for the program's own processes: Wine shows it under its Linux path, after the
# emulator's under emulation (the x86 run), never this script, which names it too.
program_processes() { printf '(^|qemu-i386 .* )%s( |$)' "$1"; }
