#!/usr/bin/env bash
# Proves the suites safe to run on a developer's own machine: a value in the real settings key and a
# file in the real data folder, put there first, are still there after every suite has run outside
# the sandbox (as plain ctest on Windows would run them), with the developer's own Quenlit running
# all the while: the links the tests copy must not end up in its list. Another program's dialogs,
# titled "Save As" and like the program's prompts, stay open and unanswered all the while.
set -uo pipefail
source "$(dirname "$0")/sandbox.sh"
tests_dir=$1
exe=$2
program=$(program_processes "$exe")
appdata=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v /Public/ | head -1)
data="$appdata/Pellomir/Quenlit"
key='HKCU\Software\Pellomir\Quenlit'

rm -rf "$appdata/Pellomir"
wine reg delete "$key" /f >/dev/null 2>&1
mkdir -p "$data"
printf 'https://mine.example/' >"$data/URLs.TXT"
wine reg add "$key" /v 'Thick Border' /t REG_DWORD /d 1 /f >/dev/null 2>&1

(wine "$exe" >/dev/null 2>&1 &)
for _ in $(seq $((100 * ${QUENLIT_SLOW:-1}))); do xdotool search --name '^Quenlit$' >/dev/null 2>&1 && break; sleep 0.1; done
[ -n "$(own_processes "$program")" ] || { echo "FAILED: the program did not start"; exit 1; }

(wine "$tests_dir/foreign_dialogs.exe" >/dev/null 2>&1 &)
for _ in $(seq 100); do
  xdotool search --name '^Save As$' >/dev/null 2>&1 && xdotool search --name '^Tolvane - Quenlit$' >/dev/null 2>&1 && break
  sleep 0.1
done

failed=0
for suite in "$tests_dir"/*_tests.exe; do
  if ! env -u QUENLIT_TEST_SANDBOX wine "$suite" >"$suite.outside.log" 2>&1; then
    echo "FAILED outside the sandbox: $(basename "$suite")"; tail -20 "$suite.outside.log"; failed=1
  fi
done
if [ -n "$(own_processes 'foreign_dialogs\.exe')" ] && xdotool search --name '^Save As$' >/dev/null 2>&1 &&
   xdotool search --name '^Tolvane - Quenlit$' >/dev/null 2>&1; then
  echo "ok: another program's dialogs are still open and unanswered"
else
  echo "FAILED: a test acted on another program's dialog"; failed=1
fi
end_own 'foreign_dialogs\.exe'
# Ended as a crash would end it: whatever it saved, it saved while the suites ran.
end_own "$program" KILL
for _ in $(seq 50); do [ -n "$(own_processes "$program")" ] || break; sleep 0.1; done
cat "$tests_dir"/*.outside.log | tr -d '\r' | grep -A1 ': Skipped$' | grep -v -e ': Skipped$' -e '^--$' | sort -u

if [ "$(cat "$data/URLs.TXT" 2>/dev/null)" = 'https://mine.example/' ] &&
   [ "$(ls "$appdata/Pellomir")" = Quenlit ] && [ "$(ls "$data")" = URLs.TXT ]; then
  echo "ok: the real data folder is as it was"
else
  echo "FAILED: the real data folder was touched"; ls -laR "$appdata/Pellomir"; failed=1
fi
if wine reg query "$key" 2>/dev/null | grep -q 'Thick Border.*0x1' &&
   [ "$(wine reg query "$key" 2>/dev/null | grep -c REG_)" -eq 1 ] &&
   ! wine reg query "$key" /s 2>/dev/null | grep -qi 'OFN Paths' &&
   [ "$(wine reg query 'HKCU\Software\Pellomir' 2>/dev/null | grep -ci 'Pellomir\\')" -eq 1 ]; then
  echo "ok: the real settings key is as it was"
else
  echo "FAILED: the real settings key was touched, or test keys were left"; wine reg query 'HKCU\Software\Pellomir' /s; failed=1
fi
rm -rf "$appdata/Pellomir"
wine reg delete "$key" /f >/dev/null 2>&1
exit $failed
