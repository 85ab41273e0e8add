#!/usr/bin/env bash
# The real set-up and the real program under Wine, as a table of steps that one runner takes in
# order: the set-up of the program's own build (x64 on the host, x86 in the i386 root of the x86
# run). A screenshot of the options page is kept in the output folder.
# Usage: tests/setup.sh <Quenlit.exe> <output folder>
set -uo pipefail
source "$(dirname "$0")/sandbox.sh"
exe=$1
out=$2
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
: "${WINEPREFIX:?}" "${DISPLAY:?}"
slow=${QUENLIT_SLOW:-1}
# No menu entries on the Linux desktop for the shortcut.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
user=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v /Public/ | head -1)
user=${user%/AppData/Roaming}
appdata=$user/AppData/Roaming
home_folder=$user/AppData/Local/Programs/Quenlit
folder=$home_folder
tools=$WINEPREFIX/drive_c/Tools
shortcut="$appdata/Microsoft/Windows/Start Menu/Programs/Quenlit.lnk"
# The user's Startup folder (Wine spells it StartUp).
startup="$(find "$appdata/Microsoft/Windows/Start Menu/Programs" -maxdepth 1 -iname startup -type d | head -1)/Quenlit.lnk"
list=$appdata/Pellomir/Quenlit/URLs.TXT
setup=$out/Quenlit-setup.exe
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenlit'
app_paths_key='HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\Quenlit.exe'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
settings_key='HKCU\Software\Pellomir\Quenlit'
earlier=$(dirname "$exe")/tests/earlier_version.exe
case $(file -b "$exe") in PE32+*) build=64-bit other=32-bit ;; *) build=32-bit other=64-bit ;; esac
version=$(sed -n 's/^project(Quenlit VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
failures=0 passes=0

check() { # name, command...
  local name=$1; shift
  if "$@"; then passes=$((passes + 1)); echo "ok: $name"; else failures=$((failures + 1)); echo "FAILED: $name"; fi
}
wait_for() { for _ in $(seq $((${2:-100} * slow))); do eval "$1" && return 0; sleep 0.1; done; return 1; }
# Wine's output goes to a file, never through a pipe: its background processes would hold it open.
reg_query() { wine reg query "$@" >"$out/reg.txt" 2>&1; }
has_value() { reg_query "$1" /v "$2" && grep -q "$3" "$out/reg.txt"; }
no_value() { ! reg_query "$1" /v "$2"; }
no_key() { ! reg_query "$1"; }
main_window() { xdotool search --name '^Quenlit$' 2>/dev/null | head -1; }
# The program's processes, wherever it was installed: Wine names them by their Windows path.
program=$(program_processes '[A-Z]:\\[^ ]*\\Quenlit\.exe')
running() { [ -n "$(own_processes "$program")" ]; }
not_running() { ! running; }
stopped() { wait_for '[ -z "$(main_window)" ] && ! running' 200; }
started() { wait_for '[ -n "$(main_window)" ]' 200 && sleep 0.5; }
# Under Wine a minimized window is a title bar of 160×24 pixels on the desktop, still visible.
minimized() { local X Y WIDTH HEIGHT; eval "$(xdotool getwindowgeometry --shell "$(main_window)")"; [ "$HEIGHT" -le 40 ]; }
copy() { printf '%s' "$1" | xclip -selection clipboard >/dev/null 2>&1; sleep $((slow > 1 ? 3 : 1)); }
in_list() { wait_for "grep -qF '$1' '$list' 2>/dev/null" 50; }
click_in() { # window, x, y (negative: from the right or the bottom)
  local X Y WIDTH HEIGHT x=$2 y=$3
  eval "$(xdotool getwindowgeometry --shell "$1")"
  [ "$x" -lt 0 ] && x=$((WIDTH + x))
  [ "$y" -lt 0 ] && y=$((HEIGHT + y))
  xdotool mousemove --window "$1" "$x" "$y" click 1
}
press() { xdotool windowfocus --sync "$1" 2>/dev/null; sleep 0.3; xdotool key "$2"; } # window, key
install() { wine "$setup" /S "$@" >/dev/null 2>&1; }
windows_path() { local rel=${1#"$WINEPREFIX"/drive_c/}; echo "C:\\${rel//\//\\}"; }
# Removal as a package manager runs the QuietUninstallString: started, waited for, its exit code read.
remove_quietly() { # folder, switches...
  local dir=$1; shift
  wine "$dir/Uninstall.exe" /S "$@" "_?=$(windows_path "$dir")" >/dev/null 2>&1
}
# One start at sign-in, as a Startup shortcut that starts Quenlit minimized (show command 7).
starts_at_sign_in() { [ "$(xxd -s 60 -l 1 -p "$startup" 2>/dev/null)" = 07 ] && no_value "$run_key" Quenlit; }
no_start_at_sign_in() { [ ! -e "$startup" ] && no_value "$run_key" Quenlit; }
# As Windows runs the shortcut, with its show command (7, checked above): Wine's start of a shortcut
# shows the program normally, whatever the shortcut says.
run_at_sign_in() { wine start /min /unix "$folder/Quenlit.exe" >/dev/null 2>&1; }
about_box() { xdotool search --name '^About Quenlit$' 2>/dev/null | head -1; }
registered_in() { has_value "$uninstall_key" InstallLocation "$(basename "$1")"; }
changed_nothing() { cmp -s "$out/before.exe" "$folder/Quenlit.exe" && no_start_at_sign_in; }

step_fresh_install() { # a machine that never had Quenlit
  rm -rf "$appdata/Pellomir" "$home_folder" "$shortcut" "$startup" "$tools"
  local key
  for key in 'HKCU\Software\Pellomir' "$uninstall_key" "$app_paths_key"; do wine reg delete "$key" /f >/dev/null 2>&1; done
  wine reg delete "$run_key" /v Quenlit /f >/dev/null 2>&1
  copy "setup test"
  install
  check "a silent install puts the program, the help and the uninstaller in place" \
    test -f "$folder/Quenlit.exe" -a -f "$folder/Help.txt" -a -f "$folder/Uninstall.exe"
  check "the installed program is the one built" cmp -s "$exe" "$folder/Quenlit.exe"
  check "it adds the Start menu shortcut" test -f "$shortcut"
  check "a new install starts at sign-in, minimized" starts_at_sign_in
  local value
  for value in "DisplayName:Quenlit ($build)" DisplayVersion:$version Publisher:Pellomir 'DisplayIcon:Quenlit.exe,0' \
               'InstallLocation:Programs\\Quenlit' 'UninstallString:Uninstall.exe" _?=' \
               'QuietUninstallString:Uninstall.exe" /S _?=' NoModify:0x1 NoRepair:0x1; do
    check "Apps & Features: ${value%%:*}" has_value "$uninstall_key" "${value%%:*}" "${value#*:}"
  done
  check "Apps & Features: EstimatedSize fits the files" estimated_size_fits
  check "a silent install starts nothing" not_running
}
# What the files take, in KiB, within a few KiB of what Apps & Features says.
estimated_size_fits() {
  reg_query "$uninstall_key" /v EstimatedSize || return 1
  local stated actual
  stated=$(( $(sed -n 's/.*REG_DWORD *//p' "$out/reg.txt" | tr -d '\r') ))
  actual=$(( ($(cat "$folder"/* | wc -c) + 1023) / 1024 ))
  echo "  EstimatedSize $stated KiB, files $actual KiB"
  [ "$stated" -ge $((actual - 4)) ] && [ "$stated" -le $((actual + 8)) ]
}

step_sign_in_start() {
  run_at_sign_in
  check "the start at sign-in starts it" started
  check "minimized, out of the user's way" minimized
  copy "https://setup.example/first"
  check "the installed program collects a link" in_list "https://setup.example/first"
}

# An upgrade over the program running minimized, from 1.0.0's start at sign-in (a Run value): it
# closes the normal way (its settings are stored only then), is replaced, and runs again as it ran.
step_upgrade_over_running() {
  rm -f "$startup"
  wine reg add "$run_key" /v Quenlit /d "\"$(windows_path "$folder")\\Quenlit.exe\"" /f >/dev/null 2>&1
  wine reg delete "$settings_key" /v 'Window placement' /f >/dev/null 2>&1
  copy "https://setup.example/just-before"
  local before installer rc
  before=$(own_processes "$program")
  install &
  installer=$!
  check "the running program is closed for the upgrade" wait_for '! kill -0 $before 2>/dev/null' 200
  wait "$installer"; rc=$?
  check "the upgrade ends well" [ "$rc" -eq 0 ]
  check "the program closed normally: its settings were stored" has_value "$settings_key" 'Window placement' REG_BINARY
  check "the link collected just before is in the list" in_list "https://setup.example/just-before"
  check "a plain upgrade keeps the start at sign-in, moved from the Run value to the shortcut" starts_at_sign_in
  check "the upgrade starts the program again" started
  check "minimized, as it ran" minimized
}

step_sign_in_choice() {
  install
  check "a plain upgrade keeps it again" starts_at_sign_in
  install /AUTOSTART=0
  check "/AUTOSTART=0 leaves no start at sign-in" no_start_at_sign_in
  install
  check "a later upgrade keeps that choice" no_start_at_sign_in
  check "and starts the program again too" started
  copy "https://setup.example/after-upgrade"
  check "the upgraded program collects links" in_list "https://setup.example/after-upgrade"
}

# The program cannot close, and the set-up gives up: a set-up of other bytes, so that any change
# shows. Nothing may happen later either.
step_refused_closes() {
  # Keys reach a window that is shown: it ran minimized so far.
  press "$(main_window)" Escape
  stopped
  wine "$folder/Quenlit.exe" >/dev/null 2>&1 &
  started
  cp "$folder/Quenlit.exe" "$out/before.exe"
  { cat "$exe"; printf 'other'; } >"$out/other.exe"
  "$root/setup/build.sh" "$out/other.exe" "$version" 315532800 "$out/other-setup.exe"
  press "$(main_window)" shift+F1
  check "the About box opens" wait_for '[ -n "$(about_box)" ]'
  local rc
  wine "$out/other-setup.exe" /S /AUTOSTART=1 >/dev/null 2>&1; rc=$?
  check "a set-up that cannot close the program ends with exit code 2" [ "$rc" -eq 2 ]
  check "and changes nothing" changed_nothing
  remove_quietly "$folder"; rc=$?
  check "a removal that cannot close it ends with exit code 2 too" [ "$rc" -eq 2 ]
  check "and removes nothing" test -f "$folder/Quenlit.exe" -a -f "$folder/Uninstall.exe"
  press "$(about_box)" Return
  sleep $((3 * slow))
  check "once the box is closed, Quenlit still runs" running
  check "and nothing was changed or removed later" changed_nothing
  # Its list cannot be saved: it refuses the close, which would need an answer nobody gives.
  chmod a-w "$list"
  wine "$out/other-setup.exe" /S /AUTOSTART=1 >/dev/null 2>&1; rc=$?
  chmod u+w "$list"
  check "a set-up whose close would meet the save prompt ends with exit code 2" [ "$rc" -eq 2 ]
  check "and changes nothing, and no prompt waits" bash -c "cmp -s '$out/before.exe' '$folder/Quenlit.exe' &&
    ! xdotool search --name '^Tolvane - Quenlit\$' >/dev/null 2>&1"
  sleep $((3 * slow))
  copy "https://setup.example/after-refusal"
  check "Quenlit still runs and collects" in_list "https://setup.example/after-refusal"
}

# An earlier version knows no close request: with a box of its open, a plain close would be carried
# out once the box is closed, after the set-up had said that nothing was changed.
step_earlier_version_with_a_box() {
  press "$(main_window)" Escape # this version closes; an earlier one runs instead
  stopped
  cp "$folder/Quenlit.exe" "$out/before.exe"
  wine "$earlier" box >/dev/null 2>&1 &
  check "an earlier version runs, a box of its open" wait_for 'xdotool search --name "^Earlier Quenlit\$" >/dev/null 2>&1' 200
  local rc
  wine "$out/other-setup.exe" /S /AUTOSTART=0 >/dev/null 2>&1; rc=$?
  check "the set-up gives up with exit code 2" [ "$rc" -eq 2 ]
  press "$(xdotool search --name '^Earlier Quenlit$' | head -1)" Return
  sleep $((2 * slow))
  check "once its box is closed, the earlier version still runs" test -n "$(main_window)"
  check "and nothing was changed" changed_nothing
  end_own 'earlier_version\.exe'
}

# A file that cannot be written (a folder of its name stands in the way): nothing is lost.
step_unwritable_folder() {
  wine "$folder/Quenlit.exe" >/dev/null 2>&1 &
  started
  local blocked=$tools/Blocked rc
  mkdir -p "$blocked/Quenlit.exe"
  install "/D=$(windows_path "$blocked")"; rc=$?
  check "a set-up that cannot write its program ends with exit code 3" [ "$rc" -eq 3 ]
  check "the installation before stays in place" cmp -s "$out/before.exe" "$folder/Quenlit.exe"
  check "and registered" registered_in "$folder"
  check "the new folder holds nothing of it" test ! -e "$blocked/Uninstall.exe" -a ! -e "$blocked/Help.txt"
  check "and what ran runs again" started
  rm -rf "$blocked"
}

# Installed again into another folder: the one installation moves there.
step_move_to_another_folder() {
  local here=$tools/QuenlitHere
  install /AUTOSTART=1 "/D=$(windows_path "$here")"
  check "an install into another folder puts the program there" test -f "$here/Quenlit.exe" -a -f "$here/Uninstall.exe"
  check "and removes the one before" test ! -e "$folder"
  check "Apps & Features names the new folder" registered_in "$here"
  check "App Paths names it" bash -c "wine reg query '$app_paths_key' /ve >'$out/reg.txt' 2>&1 && grep -q QuenlitHere '$out/reg.txt'"
  check "the start at sign-in and the Start menu name it" bash -c "grep -aq QuenlitHere '$startup' && grep -aq QuenlitHere '$shortcut'"
  check "it still starts at sign-in once" starts_at_sign_in
  folder=$here
}

# An uninstaller of a folder that is not the registered one removes its own files only, and leaves
# the installed program running.
step_stray_uninstaller() {
  running || { wine "$folder/Quenlit.exe" >/dev/null 2>&1 & started; }
  local stray=$tools/Stray
  mkdir -p "$stray" && cp "$folder/Uninstall.exe" "$folder/Help.txt" "$stray/"
  remove_quietly "$stray"
  check "another folder's uninstaller leaves the installation's registration" registered_in "$folder"
  check "and its files and start at sign-in" bash -c "test -f '$folder/Quenlit.exe' && test -e '$startup'"
  check "and its running program" running
  rm -rf "$stray"
}

# The other build's set-up installed before (same folder, same entry): this one replaces it.
step_other_build_replaced() {
  wine reg add "$uninstall_key" /v DisplayName /d "Quenlit ($other)" /f >/dev/null 2>&1
  press "$(main_window)" Escape
  stopped
  printf 'the other build' >"$folder/Quenlit.exe"
  install
  check "over the $other build the $build one is installed" cmp -s "$exe" "$folder/Quenlit.exe"
  check "one Apps & Features entry, naming this build" has_value "$uninstall_key" DisplayName "Quenlit ($build)"
}

# Removal as a package manager runs it: done when it returns, keeping the list and the settings.
step_quiet_removal() {
  remove_quietly "$folder"; local rc=$?
  check "the QuietUninstallString ends with exit code 0" [ "$rc" -eq 0 ]
  check "having removed the program when it returns" test ! -e "$folder/Quenlit.exe" -a ! -e "$folder/Help.txt"
  check "and the Apps & Features entry" no_key "$uninstall_key"
  check "and its shortcut" test ! -e "$shortcut"
  check "and the App Paths entry" no_key "$app_paths_key"
  check "and the start at sign-in" no_start_at_sign_in
  check "the uninstaller and the folder go a moment later" wait_for '[ ! -e "$folder" ]' 100
  check "it keeps the list" in_list "https://setup.example/after-upgrade"
  check "it keeps the settings" has_value "$settings_key" 'Window placement' REG_BINARY
}

step_removal_with_data() {
  folder=$home_folder
  install
  remove_quietly "$folder" /REMOVEDATA=1
  check "a removal with /REMOVEDATA=1 removes the program" wait_for '[ ! -e "$folder" ]' 100
  check "and the start at sign-in" no_start_at_sign_in
  check "and the list, and the company's folder left empty" test ! -e "$appdata/Pellomir"
  check "and the settings, and the company's key left empty" no_key 'HKCU\Software\Pellomir'
}

# A removal in the wizard whose last page stays open a while: the folder goes once it is closed.
step_wizard_removal() {
  install
  wine "$folder/Uninstall.exe" "_?=$(windows_path "$folder")" >/dev/null 2>&1 &
  local uninstaller=$! w
  wait_for 'xdotool search --name "^Quenlit Uninstall" >/dev/null 2>&1' 200
  w=$(xdotool search --name '^Quenlit Uninstall' | head -1)
  sleep $slow; press "$w" Return # the confirmation
  sleep $slow; press "$w" Return # the data page: Uninstall
  check "the wizard removes the program" wait_for '[ ! -e "$folder/Quenlit.exe" ]' 100
  sleep 5 # the user reads the last page
  check "the uninstaller waits there" kill -0 $uninstaller
  check "and nothing tries to remove it meanwhile" test -z "$(own_processes '\.tmp\.bat')"
  press "$w" Return # Close
  wait "$uninstaller"
  check "once it is closed, the uninstaller and the folder go" wait_for '[ ! -e "$folder" ]' 100
}

# The wizard's options page, for people: Next on the first page leads there.
step_options_page() {
  wine "$setup" >/dev/null 2>&1 &
  if wait_for 'xdotool search --name "^Quenlit Setup" >/dev/null 2>&1' 200; then
    local w X Y WIDTH HEIGHT
    w=$(xdotool search --name '^Quenlit Setup' | head -1)
    sleep $slow
    click_in "$w" -140 -26
    sleep $((2 * slow))
    eval "$(xdotool getwindowgeometry --shell "$w")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/setup-options.png"
  fi
  end_own 'Quenlit-setup\.exe'
  check "the wizard shows its options page" test -s "$out/setup-options.png"
}

steps=(fresh_install sign_in_start upgrade_over_running sign_in_choice refused_closes earlier_version_with_a_box
       unwritable_folder move_to_another_folder stray_uninstaller other_build_replaced quiet_removal
       removal_with_data wizard_removal options_page)
"$root/setup/build.sh" "$exe" "$version" 315532800 "$setup" || { echo "FAILED: the set-up cannot be built"; exit 1; }
trap 'end_own "$program"; end_own "earlier_version\.exe"; rm -rf "$tools"' EXIT
[ -n "${QUENLIT_SETUP_STEPS:-}" ] && read -ra steps <<<"$QUENLIT_SETUP_STEPS" # a developer's choice of steps
for step in "${steps[@]}"; do
  start=$SECONDS
  echo "== $step ($build set-up)"
  "step_$step"
  echo "   $((SECONDS - start)) s"
done
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
