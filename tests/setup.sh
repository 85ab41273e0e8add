#!/usr/bin/env bash
# The real set-up and the real program under Wine: a silent install, the program it installed
# collecting a link, upgrades over the running program, a set-up that cannot close it, and both
# kinds of removal. A screenshot of the options page is kept in build/setup/.
set -uo pipefail
source "$(dirname "$0")/sandbox.sh"
exe=$1
out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
: "${WINEPREFIX:?}" "${DISPLAY:?}"
# No menu entries on the Linux desktop for the shortcut.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
user=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v /Public/ | head -1)
user=${user%/AppData/Roaming}
appdata=$user/AppData/Roaming
folder=$user/AppData/Local/Programs/Quenlit
shortcut="$appdata/Microsoft/Windows/Start Menu/Programs/Quenlit.lnk"
list=$appdata/Pellomir/Quenlit/URLs.TXT
setup=$out/Quenlit-setup.exe
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenlit'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
failures=0 passes=0

check() { # name, command...
  local name=$1; shift
  if "$@"; then passes=$((passes + 1)); echo "ok: $name"; else failures=$((failures + 1)); echo "FAILED: $name"; fi
}
wait_for() { for _ in $(seq "${2:-100}"); do eval "$1" && return 0; sleep 0.1; done; return 1; }
# Wine's output goes to a file, never through a pipe: its background processes would hold it open.
reg_query() { wine reg query "$@" >"$out/reg.txt" 2>&1; }
has_value() { reg_query "$1" /v "$2" && grep -q "$3" "$out/reg.txt"; }
no_value() { ! reg_query "$1" /v "$2"; }
no_key() { ! reg_query "$1"; }
windows() { xdotool search --name '^Quenlit$' 2>/dev/null | wc -l; }
running() { [ -n "$(own_processes 'Programs.Quenlit.Quenlit\.exe')" ]; }
not_running() { ! running; }
stopped() { wait_for '[ "$(windows)" -eq 0 ] && ! running' 200; }
started() { wait_for '[ "$(windows)" -ge 1 ]' 200 && sleep 0.5; }
copy() { printf '%s' "$1" | xclip -selection clipboard >/dev/null 2>&1; sleep 0.8; }
in_list() { grep -qF "$1" "$list" 2>/dev/null; }
click_in() { # window, x, y (negative: from the right or the bottom)
  local X Y WIDTH HEIGHT x=$2 y=$3
  eval "$(xdotool getwindowgeometry --shell "$1")"
  [ "$x" -lt 0 ] && x=$((WIDTH + x))
  [ "$y" -lt 0 ] && y=$((HEIGHT + y))
  xdotool mousemove --window "$1" "$x" "$y" click 1
}
install() { wine "$setup" /S "$@" >/dev/null 2>&1; }
run_at_sign_in() { # what the Run key names, as Windows runs it at sign-in
  reg_query "$run_key" /v Quenlit || return 1
  local command
  command=$(sed -n 's/.*REG_SZ *//p' "$out/reg.txt" | tr -d '\r"')
  wine "$command" >/dev/null 2>&1 &
}

version=$(sed -n 's/^project(Quenlit VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
"$root/setup/build.sh" "$exe" "$version" 315532800 "$setup" || { echo "FAILED: the set-up cannot be built"; exit 1; }

# A machine that never had Quenlit.
rm -rf "$appdata/Pellomir" "$folder" "$shortcut"
for key in 'HKCU\Software\Pellomir' "$uninstall_key" \
           'HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\Quenlit.exe'; do
  wine reg delete "$key" /f >/dev/null 2>&1
done
wine reg delete "$run_key" /v Quenlit /f >/dev/null 2>&1
copy "setup test"

install
check "a silent install puts the program, the help and the uninstaller in place" \
  test -f "$folder/Quenlit.exe" -a -f "$folder/Help.txt" -a -f "$folder/Uninstall.exe"
check "the installed program is the one built" cmp -s "$exe" "$folder/Quenlit.exe"
check "it adds the Start menu shortcut" test -f "$shortcut"
check "a new install starts at sign-in" has_value "$run_key" Quenlit 'Programs\\Quenlit\\Quenlit.exe"'
for value in DisplayName:Quenlit DisplayVersion:$version Publisher:Pellomir 'DisplayIcon:Quenlit.exe,0' \
             'InstallLocation:Programs\\Quenlit' 'UninstallString:Uninstall.exe"' \
             'QuietUninstallString:Uninstall.exe" /S' NoModify:0x1 NoRepair:0x1 EstimatedSize:0x; do
  check "Apps & Features: ${value%%:*}" has_value "$uninstall_key" "${value%%:*}" "${value#*:}"
done
check "a silent install starts nothing" not_running

run_at_sign_in
check "what the Run key names starts" started
copy "https://setup.example/first"
check "the installed program collects a link" in_list "https://setup.example/first"

# An upgrade over the running program: it closes the normal way (its settings are stored only
# then), is replaced, and runs again.
wine reg delete 'HKCU\Software\Pellomir\Quenlit' /v 'Window placement' /f >/dev/null 2>&1
copy "https://setup.example/just-before"
before=$(own_processes 'Programs.Quenlit.Quenlit\.exe')
install /AUTOSTART=0 &
installer=$!
check "the running program is closed for the upgrade" wait_for '! kill -0 $before 2>/dev/null' 200
wait "$installer"; rc=$?
check "the upgrade ends well" [ "$rc" -eq 0 ]
check "the program closed normally: its settings were stored" \
  has_value 'HKCU\Software\Pellomir\Quenlit' 'Window placement' REG_BINARY
check "the link collected just before is in the list" in_list "https://setup.example/just-before"
check "/AUTOSTART=0 leaves no Run value" no_value "$run_key" Quenlit
check "the upgrade starts the program again" started
install &
installer=$!
wait "$installer"
check "a second upgrade keeps the earlier choice" no_value "$run_key" Quenlit
check "and starts the program again too" started
copy "https://setup.example/after-upgrade"
check "the upgraded program collects links" in_list "https://setup.example/after-upgrade"

# The program cannot close: its list cannot be saved and its prompt waits for an answer.
chmod a-w "$list"
cp "$folder/Quenlit.exe" "$out/before.exe"
install /AUTOSTART=1; rc=$?
check "a set-up that cannot close the program fails" [ "$rc" -ne 0 ]
check "and changes nothing" bash -c "cmp -s '$out/before.exe' '$folder/Quenlit.exe' && ! wine reg query '$run_key' /v Quenlit >/dev/null 2>&1"
chmod u+w "$list"
# Retry, the middle one of Abort, Retry and Ignore.
prompt=$(xdotool search --name '^Tolvane - Quenlit$' 2>/dev/null | head -1)
if [ -n "$prompt" ]; then
  eval "$(xdotool getwindowgeometry --shell "$prompt")"
  click_in "$prompt" $((WIDTH / 2)) -22
fi
check "the program closes once its prompt is answered" stopped

# Removal keeps the list and the settings unless asked.
wine "$folder/Uninstall.exe" /S >/dev/null 2>&1
check "a silent removal removes the program" wait_for '[ ! -e "$folder" ]' 300
check "and its shortcut" test ! -e "$shortcut"
check "and the Apps & Features entry" no_key "$uninstall_key"
check "and the App Paths entry" no_key 'HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\Quenlit.exe'
check "and the Run value" no_value "$run_key" Quenlit
check "it keeps the list" in_list "https://setup.example/after-upgrade"
check "it keeps the settings" has_value 'HKCU\Software\Pellomir\Quenlit' 'Window placement' REG_BINARY

install
wine "$folder/Uninstall.exe" /S /REMOVEDATA=1 >/dev/null 2>&1
check "a removal with /REMOVEDATA=1 removes the program" wait_for '[ ! -e "$folder" ]' 300
check "and the list, and the company's folder left empty" test ! -e "$appdata/Pellomir"
check "and the settings, and the company's key left empty" no_key 'HKCU\Software\Pellomir'

# The wizard's options page, for people: Next on the first page leads there.
wine "$setup" >/dev/null 2>&1 &
if wait_for 'xdotool search --name "^Quenlit Setup" >/dev/null 2>&1' 200; then
  w=$(xdotool search --name '^Quenlit Setup' | head -1)
  sleep 1
  click_in "$w" -140 -26
  sleep 1.5
  eval "$(xdotool getwindowgeometry --shell "$w")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/setup-options.png"
fi
end_own 'Quenlit-setup\.exe'
check "the wizard shows its options page" test -s "$out/setup-options.png"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
