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
holder=$(dirname "$exe")/tests/file_holder.exe
full=$WINEPREFIX/quenlit-full # a small tmpfs, drive Q:
case $(file -b "$exe") in PE32+*) build=64-bit other=32-bit ;; *) build=32-bit other=64-bit ;; esac
version=$(sed -n 's/^project(Quenlit VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
failures=0 passes=0

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
only_installed_files() { [ "$(ls "$folder" | tr '\n' ' ')" = "Help.txt Quenlit.exe Uninstall.exe " ]; }
hold() { wine "$holder" "$(windows_path "$1")" >"$out/held.txt" 2>&1 & wait_for 'grep -q held "$out/held.txt"' 200; }
drive_q() { mkdir -p "$full" && mount -t tmpfs -o size=1m quenlit-setup "$full" && ln -sfn "$full" "$WINEPREFIX/dosdevices/q:"; }
fill_q() { dd if=/dev/zero of="$full/filler" bs=4k 2>/dev/null; truncate -s -64k "$full/filler"; } # a write fails part-way

# What the files take, in KiB, within a few KiB of what Apps & Features says.
estimated_size_fits() {
  reg_query "$uninstall_key" /v EstimatedSize || return 1
  local stated actual
  stated=$(( $(sed -n 's/.*REG_DWORD *//p' "$out/reg.txt" | tr -d '\r') ))
  actual=$(( ($(cat "$folder"/* | wc -c) + 1023) / 1024 ))
  [ "$stated" -ge $((actual - 4)) ] && [ "$stated" -le $((actual + 8)) ] || { echo "  EstimatedSize $stated KiB, files $actual KiB"; false; }
}
values_are() { # key, name:value...
  local key=$1 value; shift
  for value; do has_value "$key" "${value%%:*}" "${value#*:}" || { echo "  ${value%%:*} is not ${value#*:}"; return 1; }; done
}
fresh_machine() {
  rm -rf "$appdata/Pellomir" "$home_folder" "$shortcut" "$startup" "$tools"
  local key
  for key in 'HKCU\Software\Pellomir' "$uninstall_key" "$app_paths_key"; do wine reg delete "$key" /f >/dev/null 2>&1; done
  wine reg delete "$run_key" /v Quenlit /f >/dev/null 2>&1
}
start_shown() { wine "$folder/Quenlit.exe" >/dev/null 2>&1 & started; }
close_program() { press "$(main_window)" Escape; stopped; }
names_new_folder() {
  registered_in "$folder" && wine reg query "$app_paths_key" /ve >"$out/reg.txt" 2>&1 &&
    grep -q QuenlitHere "$out/reg.txt" && grep -aq QuenlitHere "$startup" && grep -aq QuenlitHere "$shortcut"
}
options_page_shot() { # Next on the wizard's first page leads to its options page
  wine "$setup" >/dev/null 2>&1 &
  wait_for 'xdotool search --name "^Quenlit Setup" >/dev/null 2>&1' 200 || return 1
  local w X Y WIDTH HEIGHT
  w=$(xdotool search --name '^Quenlit Setup' | head -1)
  sleep $slow; click_in "$w" -140 -26; sleep $((2 * slow))
  eval "$(xdotool getwindowgeometry --shell "$w")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/setup-options.png"
  end_own 'Quenlit-setup\.exe'
}

# The steps in order, a row each: "what is checked | command", or "- | command" for what is only done.
steps=$(cat <<'STEPS'
# A machine that never had Quenlit.
- | fresh_machine; copy "setup test"; install
a silent install puts the program, the help and the uninstaller in place | test -f "$folder/Quenlit.exe" -a -f "$folder/Help.txt" -a -f "$folder/Uninstall.exe"
the installed program is the one built | cmp -s "$exe" "$folder/Quenlit.exe"
it adds the Start menu shortcut | test -f "$shortcut"
a new install starts at sign-in, minimized | starts_at_sign_in
Apps & Features names the build, version, maker, icon and folder | values_are "$uninstall_key" "DisplayName:Quenlit ($build)" DisplayVersion:$version Publisher:Pellomir 'DisplayIcon:Quenlit.exe,0' 'InstallLocation:Programs\\Quenlit' NoModify:0x1 NoRepair:0x1
Apps & Features removes in place, also silently | values_are "$uninstall_key" 'UninstallString:Uninstall.exe" _?=' 'QuietUninstallString:Uninstall.exe" /S _?='
Apps & Features: EstimatedSize fits the files | estimated_size_fits
a silent install starts nothing | not_running
- | run_at_sign_in
the start at sign-in starts it, minimized, out of the user's way | started && minimized
the installed program collects a link | copy "https://setup.example/first"; in_list "https://setup.example/first"
# An upgrade over the program running minimized, from 1.0.0's start at sign-in (a Run value): it
# closes the normal way (its settings are stored only then), is replaced, and runs again as it ran.
- | rm -f "$startup"; wine reg add "$run_key" /v Quenlit /d "\"$(windows_path "$folder")\\Quenlit.exe\"" /f >/dev/null 2>&1
- | wine reg delete "$settings_key" /v 'Window placement' /f >/dev/null 2>&1; copy "https://setup.example/just-before"
- | before=$(own_processes "$program"); install & installer=$!
the running program is closed for the upgrade | wait_for '! kill -0 $before 2>/dev/null' 200
the upgrade ends well | wait "$installer"
the program closed normally: its settings were stored | has_value "$settings_key" 'Window placement' REG_BINARY
the link collected just before is in the list | in_list "https://setup.example/just-before"
a plain upgrade keeps the start at sign-in, moved from the Run value to the shortcut | starts_at_sign_in
the upgrade starts the program again, minimized as it ran | started && minimized
a plain upgrade keeps it again | install; starts_at_sign_in
/AUTOSTART=0 leaves no start at sign-in | install /AUTOSTART=0; no_start_at_sign_in
a later upgrade keeps that choice | install; no_start_at_sign_in
the upgraded program collects links | copy "https://setup.example/after-upgrade"; in_list "https://setup.example/after-upgrade"
# It cannot close, and the set-up gives up; nothing may happen later either. A set-up of other
# bytes, so that any change shows. Keys reach a window that is shown: it ran minimized so far.
- | close_program; start_shown; cp "$folder/Quenlit.exe" "$out/before.exe"; { cat "$exe"; printf other; } >"$out/other.exe"
- | "$root/setup/build.sh" "$out/other.exe" "$version" 315532800 "$out/other-setup.exe"; press "$(main_window)" shift+F1
the About box opens | wait_for '[ -n "$(about_box)" ]'
a set-up that cannot close the program ends with exit code 2, changing nothing | wine "$out/other-setup.exe" /S /AUTOSTART=1 >/dev/null 2>&1; [ $? -eq 2 ] && changed_nothing
a removal that cannot close it ends with exit code 2, removing nothing | remove_quietly "$folder"; [ $? -eq 2 ] && test -f "$folder/Uninstall.exe"
- | press "$(about_box)" Return; wait_for '[ -z "$(about_box)" ]'; sleep $((3 * slow))
once the box is closed, Quenlit still runs, and nothing was changed later | running && changed_nothing
# Its list cannot be saved: it refuses the close, which would need an answer nobody gives.
- | chmod a-w "$list"; wine "$out/other-setup.exe" /S /AUTOSTART=1 >/dev/null 2>&1; rc=$?; chmod u+w "$list"
a set-up whose close would meet the save prompt ends with exit code 2, changing nothing | [ $rc -eq 2 ] && changed_nothing
and no prompt waits, and Quenlit still collects | ! xdotool search --name '^Tolvane - Quenlit$' >/dev/null 2>&1 && copy "https://setup.example/refused" && in_list "https://setup.example/refused"
# An earlier version knows no close request: with a box of its open, a plain close would be
# carried out once the box is closed, after the set-up had said that nothing was changed.
- | close_program; wine "$earlier" box >/dev/null 2>&1 &
an earlier version runs, a box of its open | wait_for 'xdotool search --name "^Earlier Quenlit\$" >/dev/null 2>&1' 200
the set-up gives up with exit code 2 | wine "$out/other-setup.exe" /S /AUTOSTART=0 >/dev/null 2>&1; [ $? -eq 2 ]
- | press "$(xdotool search --name '^Earlier Quenlit$' | head -1)" Return; sleep $((2 * slow))
once its box is closed, the earlier version still runs, and nothing was changed | test -n "$(main_window)" && changed_nothing
# Its close asks first (its save prompt), and nobody answers: a silent set-up does not wait for ever.
- | end_own 'earlier_version\.exe'; stopped; wine "$earlier" prompt >/dev/null 2>&1 & started
a silent set-up whose close meets its prompt gives up with exit code 2, changing nothing | timeout 600 wine "$out/other-setup.exe" /S /AUTOSTART=1 >/dev/null 2>&1; [ $? -eq 2 ] && changed_nothing
- | press "$(xdotool search --name '^Earlier Quenlit$' | head -1)" Return; stopped; wine "$earlier" >/dev/null 2>&1 & started
without a box it is closed the plain way, and this version runs instead | install; test -z "$(own_processes 'earlier_version\.exe')" && started
# A file that cannot be written (a folder of its name stands in the way): nothing is lost.
- | end_own 'earlier_version\.exe'; start_shown; mkdir -p "$tools/Blocked/Quenlit.exe"
a set-up that cannot write its program ends with exit code 3 | install "/D=$(windows_path "$tools/Blocked")"; [ $? -eq 3 ]
the installation before stays in place and registered | cmp -s "$out/before.exe" "$folder/Quenlit.exe" && registered_in "$folder"
the new folder holds nothing of it, and what ran runs again | [ "$(ls "$tools/Blocked")" = Quenlit.exe ] && started
# The installed folder by another spelling (a link; on Windows also a junction, a short name, a
# subst drive) is the same folder: an upgrade in place.
- | rm -rf "$tools/Blocked"; ln -sfn "$folder" "$tools/Spelled"; install "/D=$(windows_path "$tools/Spelled")"; rc=$?
an upgrade through another spelling of its folder keeps it whole and registered by its name | [ $rc -eq 0 ] && cmp -s "$exe" "$folder/Quenlit.exe" && only_installed_files && registered_in "$folder" && started
# A file of it held open by another program (an editor, a virus scanner).
- | hold "$folder/Help.txt"
an upgrade while its help is held open ends with exit code 3, changing nothing, and Quenlit runs again | wine "$out/other-setup.exe" /S /AUTOSTART=1 >/dev/null 2>&1; [ $? -eq 3 ] && changed_nothing && only_installed_files && started
a removal while it is held ends with exit code 3, and Quenlit stays registered, with its uninstaller | remove_quietly "$folder"; [ $? -eq 3 ] && registered_in "$folder" && test -f "$folder/Uninstall.exe" -a -f "$folder/Help.txt"
# A full disk: drive Q:, a small tmpfs, in place and on a move.
- | end_own 'file_holder\.exe'; install; start_shown; drive_q && install '/D=Q:\Quenlit' && folder=$full/Quenlit && started && fill_q
an upgrade on a full disk ends with exit code 3, changing nothing, and Quenlit runs again | wine "$out/other-setup.exe" /S /AUTOSTART=1 >/dev/null 2>&1; [ $? -eq 3 ] && changed_nothing && only_installed_files && started
- | rm "$full/filler"; folder=$home_folder; install "/D=$(windows_path "$folder")" && started && fill_q
a move onto a full drive ends with exit code 3, leaving nothing there; the installation before stays and runs again | install '/D=Q:\Quenlit'; [ $? -eq 3 ] && test ! -e "$full/Quenlit" && changed_nothing && registered_in "$folder" && started
# Installed again into another folder: the one installation moves there.
- | rm -rf "$tools/Blocked"; install /AUTOSTART=1 "/D=$(windows_path "$tools/QuenlitHere")"
an install into another folder puts the program there, and removes the one before | test -f "$tools/QuenlitHere/Uninstall.exe" -a ! -e "$folder"
- | folder=$tools/QuenlitHere
Apps & Features, App Paths, the start at sign-in and the Start menu name the new folder | names_new_folder
it still starts at sign-in once | starts_at_sign_in
# An uninstaller of a folder that is not the registered one removes its own files only.
- | mkdir -p "$tools/Stray" && cp "$folder/Uninstall.exe" "$folder/Help.txt" "$tools/Stray/"; remove_quietly "$tools/Stray"
another folder's uninstaller leaves the installation's registration, files and start at sign-in | registered_in "$folder" && test -f "$folder/Quenlit.exe" -a -e "$startup"
and its running program | running
# The other build's set-up installed before (same folder, same entry): this one replaces it.
- | close_program; printf 'the other build' >"$folder/Quenlit.exe"
- | wine reg add "$uninstall_key" /v DisplayName /d "Quenlit ($other)" /f >/dev/null 2>&1; install
over the other build this one is installed, under one entry naming it | cmp -s "$exe" "$folder/Quenlit.exe" && has_value "$uninstall_key" DisplayName "Quenlit ($build)"
# Removal as a package manager runs it: done when it returns, keeping the list and the settings.
- | ln -sfn "$folder" "$tools/Spelled"; wine "$(windows_path "$tools/Spelled")\\Quenlit.exe" >/dev/null 2>&1 & started
the QuietUninstallString ends with exit code 0 | remove_quietly "$folder"
having closed the program first, though it was started by another spelling of its folder | stopped
having removed the program when it returns | test ! -e "$folder/Quenlit.exe" -a ! -e "$folder/Help.txt"
and the Apps & Features entry, the shortcut, App Paths and the start at sign-in | no_key "$uninstall_key" && test ! -e "$shortcut" && no_key "$app_paths_key" && no_start_at_sign_in
the uninstaller and the folder go a moment later | wait_for '[ ! -e "$folder" ]' 100
it keeps the list and the settings | in_list "https://setup.example/after-upgrade" && has_value "$settings_key" 'Window placement' REG_BINARY
- | folder=$home_folder; install
a removal with /REMOVEDATA=1 removes the program and the start at sign-in | remove_quietly "$folder" /REMOVEDATA=1 && wait_for '[ ! -e "$folder" ]' 100 && no_start_at_sign_in
and the list and the settings, and the company's folder and key left empty | test ! -e "$appdata/Pellomir" && no_key 'HKCU\Software\Pellomir'
# A removal in the wizard whose last page stays open a while: the folder goes once it is closed.
- | install; wine "$folder/Uninstall.exe" "_?=$(windows_path "$folder")" >/dev/null 2>&1 & uninstaller=$!
- | wait_for 'xdotool search --name "^Quenlit Uninstall" >/dev/null 2>&1' 200; wizard=$(xdotool search --name '^Quenlit Uninstall' | head -1)
- | sleep $slow; press "$wizard" Return; sleep $slow; press "$wizard" Return # the confirmation, the data page
the wizard removes the program | wait_for '[ ! -e "$folder/Quenlit.exe" ]' 100
the uninstaller waits on its last page, and nothing tries to remove it meanwhile | sleep 5; kill -0 $uninstaller && test -z "$(own_processes '\.tmp\.bat')"
once it is closed, the uninstaller and the folder go | press "$wizard" Return; wait "$uninstaller"; wait_for '[ ! -e "$folder" ]' 100
the wizard shows its options page | options_page_shot; test -s "$out/setup-options.png"
STEPS
)

"$root/setup/build.sh" "$exe" "$version" 315532800 "$setup" || { echo "FAILED: the set-up cannot be built"; exit 1; }
trap 'end_own "$program"; end_own "earlier_version\.exe"; end_own "file_holder\.exe"; rm -rf "$tools"
  rm -f "$WINEPREFIX/dosdevices/q:"; ! mountpoint -q "$full" || umount "$full"' EXIT
echo "the $build set-up"
while IFS= read -r row; do
  [[ -z $row || $row == \#* ]] && continue
  name=${row%% | *} command=${row#* | }
  if [ "$name" = - ]; then
    eval "$command" </dev/null
  elif eval "$command" </dev/null; then
    passes=$((passes + 1)); echo "ok: $name"
  else
    failures=$((failures + 1)); echo "FAILED: $name"
  fi
done <<<"$steps"
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
