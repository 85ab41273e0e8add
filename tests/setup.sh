#!/usr/bin/env bash
# The real set-up and the real program under Wine: a silent install, the program it installed
# collecting a link, the start at sign-in, upgrades over the running program, a set-up that cannot
# close it, an install into another folder, and removals as a package manager runs them. A
# screenshot of the options page is kept in build/setup/.
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
# The user's Startup folder (Wine spells it StartUp).
startup="$(find "$appdata/Microsoft/Windows/Start Menu/Programs" -maxdepth 1 -iname startup -type d | head -1)/Quenlit.lnk"
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
windows_path() { local rel=${1#"$WINEPREFIX"/drive_c/}; echo "C:\\${rel//\//\\}"; }
# Removal as a package manager runs the QuietUninstallString: started, waited for, its exit code read.
remove_quietly() { # folder, switches...
  local dir=$1; shift
  wine "$dir/Uninstall.exe" /S "$@" "_?=$(windows_path "$dir")" >/dev/null 2>&1
}
# One start at sign-in, as a Startup shortcut that starts Quenlit minimized (show command 7).
starts_at_sign_in() {
  [ "$(xxd -s 60 -l 1 -p "$startup" 2>/dev/null)" = 07 ] && no_value "$run_key" Quenlit
}
no_start_at_sign_in() { [ ! -e "$startup" ] && no_value "$run_key" Quenlit; }
run_at_sign_in() { wine start /unix "$startup" >/dev/null 2>&1; } # as Windows runs it
about_box() { xdotool search --name '^About Quenlit$' 2>/dev/null | head -1; }
open_about_box() {
  local w
  w=$(xdotool search --name '^Quenlit$' | head -1)
  xdotool windowfocus --sync "$w" 2>/dev/null; sleep 0.3
  xdotool key shift+F1
  wait_for '[ -n "$(about_box)" ]'
}
close_about_box() { xdotool windowfocus --sync "$(about_box)" 2>/dev/null; sleep 0.3; xdotool key Return; }

version=$(sed -n 's/^project(Quenlit VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
"$root/setup/build.sh" "$exe" "$version" 315532800 "$setup" || { echo "FAILED: the set-up cannot be built"; exit 1; }

# A machine that never had Quenlit.
rm -rf "$appdata/Pellomir" "$folder" "$shortcut" "$startup" "$WINEPREFIX/drive_c/Tools"
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
check "a new install starts at sign-in, minimized" starts_at_sign_in
for value in DisplayName:Quenlit DisplayVersion:$version Publisher:Pellomir 'DisplayIcon:Quenlit.exe,0' \
             'InstallLocation:Programs\\Quenlit' 'UninstallString:Uninstall.exe" _?=' \
             'QuietUninstallString:Uninstall.exe" /S _?=' NoModify:0x1 NoRepair:0x1; do
  check "Apps & Features: ${value%%:*}" has_value "$uninstall_key" "${value%%:*}" "${value#*:}"
done
# What the files take, in KiB, within a few KiB of what Apps & Features says.
estimated_size_fits() {
  reg_query "$uninstall_key" /v EstimatedSize || return 1
  local stated actual
  stated=$(( $(sed -n 's/.*REG_DWORD *//p' "$out/reg.txt" | tr -d '\r') ))
  actual=$(( ($(cat "$folder"/* | wc -c) + 1023) / 1024 ))
  echo "  EstimatedSize $stated KiB, files $actual KiB"
  [ "$stated" -ge $((actual - 4)) ] && [ "$stated" -le $((actual + 8)) ]
}
check "Apps & Features: EstimatedSize fits the files" estimated_size_fits
check "a silent install starts nothing" not_running

run_at_sign_in
check "the start at sign-in starts it" wait_for running 200
check "minimized: no window in the user's way" bash -c '! xdotool search --onlyvisible --name "^Quenlit\$" >/dev/null 2>&1'
copy "https://setup.example/first"
check "the installed program collects a link" in_list "https://setup.example/first"

# An upgrade over the running program, from 1.0.0's start at sign-in (a Run value): it closes the
# normal way (its settings are stored only then), is replaced, and runs again.
rm -f "$startup"
wine reg add "$run_key" /v Quenlit /d "\"$(windows_path "$folder")\\Quenlit.exe\"" /f >/dev/null 2>&1
wine reg delete 'HKCU\Software\Pellomir\Quenlit' /v 'Window placement' /f >/dev/null 2>&1
copy "https://setup.example/just-before"
before=$(own_processes 'Programs.Quenlit.Quenlit\.exe')
install &
installer=$!
check "the running program is closed for the upgrade" wait_for '! kill -0 $before 2>/dev/null' 200
wait "$installer"; rc=$?
check "the upgrade ends well" [ "$rc" -eq 0 ]
check "the program closed normally: its settings were stored" \
  has_value 'HKCU\Software\Pellomir\Quenlit' 'Window placement' REG_BINARY
check "the link collected just before is in the list" in_list "https://setup.example/just-before"
check "a plain upgrade keeps the start at sign-in, moved from the Run value to the shortcut" starts_at_sign_in
check "the upgrade starts the program again" started
install
check "a plain upgrade keeps it again" starts_at_sign_in
install /AUTOSTART=0
check "/AUTOSTART=0 leaves no start at sign-in" no_start_at_sign_in
install
check "a later upgrade keeps that choice" no_start_at_sign_in
check "and starts the program again too" started
copy "https://setup.example/after-upgrade"
check "the upgraded program collects links" in_list "https://setup.example/after-upgrade"

# The program cannot close: its About box is open. A set-up of other bytes, so that any change shows.
cp "$folder/Quenlit.exe" "$out/before.exe"
{ cat "$exe"; printf 'other'; } >"$out/other.exe"
"$root/setup/build.sh" "$out/other.exe" "$version" 315532800 "$out/other-setup.exe"
changed_nothing() { cmp -s "$out/before.exe" "$folder/Quenlit.exe" && no_start_at_sign_in; }
check "the About box opens" open_about_box
wine "$out/other-setup.exe" /S /AUTOSTART=1 >/dev/null 2>&1; rc=$?
check "a set-up that cannot close the program ends with exit code 2" [ "$rc" -eq 2 ]
check "and changes nothing" changed_nothing
remove_quietly "$folder"; rc=$?
check "a removal that cannot close it ends with exit code 2 too" [ "$rc" -eq 2 ]
check "and removes nothing" test -f "$folder/Quenlit.exe" -a -f "$folder/Uninstall.exe"
close_about_box
sleep 3
check "once the box is closed, Quenlit still runs" running
check "and nothing was changed or removed later" changed_nothing
copy "https://setup.example/after-refusal"
check "and it still collects" in_list "https://setup.example/after-refusal"

# Its list cannot be saved: its prompt waits for an answer, and the set-up gives up.
chmod a-w "$list"
wine "$out/other-setup.exe" /S /AUTOSTART=1 >/dev/null 2>&1; rc=$?
check "a set-up whose close meets the save prompt ends with exit code 2" [ "$rc" -eq 2 ]
check "and changes nothing" changed_nothing
chmod u+w "$list"
# Retry, the middle one of Abort, Retry and Ignore.
prompt=$(xdotool search --name '^Tolvane - Quenlit$' 2>/dev/null | head -1)
if [ -n "$prompt" ]; then
  eval "$(xdotool getwindowgeometry --shell "$prompt")"
  click_in "$prompt" $((WIDTH / 2)) -22
fi
check "the program closes once its prompt is answered" stopped

# Installed again into another folder: the one installation moves there.
here="$WINEPREFIX/drive_c/Tools/QuenlitHere"
install /AUTOSTART=1 "/D=$(windows_path "$here")"
check "an install into another folder puts the program there" test -f "$here/Quenlit.exe" -a -f "$here/Uninstall.exe"
check "and removes the one before" test ! -e "$folder"
check "Apps & Features names the new folder" has_value "$uninstall_key" InstallLocation 'Tools\\QuenlitHere'
check "App Paths names it" bash -c "wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\Quenlit.exe' /ve >'$out/reg.txt' 2>&1 && grep -q QuenlitHere '$out/reg.txt'"
check "the start at sign-in and the Start menu name it" bash -c "grep -aq QuenlitHere '$startup' && grep -aq QuenlitHere '$shortcut'"
check "it still starts at sign-in once" starts_at_sign_in
# An uninstaller of a folder that is not the registered one removes its own files only.
stray="$WINEPREFIX/drive_c/Tools/Stray"
mkdir -p "$stray" && cp "$here/Uninstall.exe" "$here/Help.txt" "$stray/"
remove_quietly "$stray"
check "another folder's uninstaller leaves the installation's registration" has_value "$uninstall_key" InstallLocation 'QuenlitHere'
check "and its files and start at sign-in" bash -c "test -f '$here/Quenlit.exe' && test -e '$startup'"
rm -rf "$stray"
folder=$here
trap 'rm -rf "$WINEPREFIX/drive_c/Tools"' EXIT

# Removal as a package manager runs it: done when it returns, keeping the list and the settings.
remove_quietly "$folder"; rc=$?
check "the QuietUninstallString ends with exit code 0" [ "$rc" -eq 0 ]
check "having removed the program when it returns" test ! -e "$folder/Quenlit.exe" -a ! -e "$folder/Help.txt"
check "and the Apps & Features entry" no_key "$uninstall_key"
check "and its shortcut" test ! -e "$shortcut"
check "and the App Paths entry" no_key 'HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\Quenlit.exe'
check "and the start at sign-in" no_start_at_sign_in
check "the uninstaller and the folder go a moment later" wait_for '[ ! -e "$folder" ]' 100
check "it keeps the list" in_list "https://setup.example/after-upgrade"
check "it keeps the settings" has_value 'HKCU\Software\Pellomir\Quenlit' 'Window placement' REG_BINARY

folder=$user/AppData/Local/Programs/Quenlit
install
wine "$folder/Uninstall.exe" /S /REMOVEDATA=1 >/dev/null 2>&1
check "a removal with /REMOVEDATA=1 removes the program" wait_for '[ ! -e "$folder" ]' 300
check "and the start at sign-in" no_start_at_sign_in
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
