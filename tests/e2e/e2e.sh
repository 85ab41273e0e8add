#!/usr/bin/env bash
# The real Quenlit.exe under Wine in a real X display: X11 clipboard clients copy, xdotool types,
# and the exact bytes of what it stores are checked. Screenshots are kept in build/e2e/.
set -uo pipefail
source "$(dirname "$0")/../sandbox.sh"
exe=$1
program=$(program_processes "$exe")
out=${2:-$(dirname "$exe")/e2e}
mkdir -p "$out"
: "${WINEPREFIX:?}" "${DISPLAY:?}"
appdata=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v /Public/ | head -1)
list="$appdata/Pellomir/Quenlit/URLs.TXT"
failures=0 passes=0

check() { # name, command...
  local name=$1; shift
  if "$@"; then passes=$((passes + 1)); echo "ok: $name"; else failures=$((failures + 1)); echo "FAILED: $name"; fi
}
# On a mismatch, what the file holds instead (its start and end, as text).
bytes_are() {
  [ "$(xxd -p "$1" | tr -d '\n')" = "$(printf '%b' "$2" | xxd -p | tr -d '\n')" ] && return 0
  holds "$1"; return 1
}
holds() {
  [ -e "$1" ] || { echo "  $1 does not exist"; return; }
  echo "  $1 holds $(wc -c <"$1") bytes: $(head -c 200 "$1" | cat -v | tr '\n' ' ')...$(tail -c 120 "$1" | cat -v | tr '\n' ' ')"
}
windows() { xdotool search --name '^Quenlit$' 2>/dev/null | wc -l; }
# Under emulation (the x86 run) everything takes longer: QUENLIT_SLOW stretches the waits.
slow=${QUENLIT_SLOW:-1}
wait_for() { for _ in $(seq $((100 * slow))); do eval "$1" && return 0; sleep 0.1; done; return 1; }
start() { wine "$exe" >/dev/null 2>&1 & wait_for '[ "$(windows)" -ge 1 ]'; sleep 0.5; }
focus() { local w; w=$(xdotool search --name '^Quenlit$' | head -1); xdotool windowfocus --sync "$w" 2>/dev/null; sleep 0.3; }
copy() { printf '%s' "$1" | xclip -selection clipboard >/dev/null 2>&1; sleep "$(awk "BEGIN { print 0.8 * $slow }")"; }
# The process is gone only when no such one is left.
running() { [ -n "$(own_processes "$program")" ]; }
stopped() { wait_for '[ "$(windows)" -eq 0 ] && ! running'; }
# The main window and a band around it (where its system menu opens).
shot() {
  local w X Y WIDTH HEIGHT
  w=$(xdotool search --name '^Quenlit$' | head -1)
  eval "$(xdotool getwindowgeometry --shell "$w")"
  import -window root -crop "$((WIDTH + 40))x$((HEIGHT + 40))+$((X > 20 ? X - 20 : 0))+$((Y > 20 ? Y - 20 : 0))" +repage "$out/$1.png"
}

# A fresh start: no data folder, no settings, no link left on the clipboard by an earlier run.
rm -rf "$appdata/Pellomir"
wine reg delete 'HKCU\Software\Pellomir' /f >/dev/null 2>&1
copy "e2e"

start
check "the window opens" [ "$(windows)" -eq 1 ]
copy "https://example.com/first"
copy "not a link"
copy "https://пример.рф/второй"
copy $'https://a.example/\nhttps://b.example/'
copy $'https://trailing.example/\n'
copy "Re: hello"
copy "https://wiki.example.org/Main_Page"
check "only the one-line links are stored, exactly, a final line break left out" \
  bytes_are "$list" '\xef\xbb\xbfhttps://example.com/first\r\nhttps://\xd0\xbf\xd1\x80\xd0\xb8\xd0\xbc\xd0\xb5\xd1\x80.\xd1\x80\xd1\x84/\xd0\xb2\xd1\x82\xd0\xbe\xd1\x80\xd0\xbe\xd0\xb9\r\nhttps://trailing.example/\r\nhttps://wiki.example.org/Main_Page'
# Links copied one after another, faster than the window's tick.
for i in 1 2 3 4 5; do
  printf 'https://quick.example/%s' "$i" | xclip -selection clipboard >/dev/null 2>&1
  sleep "$(awk "BEGIN { print 0.15 * $slow }")"
done
sleep "$(awk "BEGIN { print 0.8 * $slow }")"
copy "e2e" # no link left for a later start to find
check "links copied quickly are each stored once, in order" \
  bash -c "tr -d '\r' <'$list' | grep quick.example | paste -sd' ' | grep -qx 'https://quick.example/1 https://quick.example/2 https://quick.example/3 https://quick.example/4 https://quick.example/5'"
shot window

wine "$exe" >/dev/null 2>&1
check "a second start leaves one window" [ "$(windows)" -eq 1 ]

focus
xdotool key alt+space; sleep 0.8
shot system-menu
# From the top of the menu, Up wraps to "About...", then "Help", then (past a separator) "Thick border".
xdotool key Up Up Up Return; sleep 0.5
focus
xdotool key Escape
check "Esc closes the window" stopped
check "the option toggled in the menu is stored" \
  bash -c "wine reg query 'HKCU\\Software\\Pellomir\\Quenlit' /v 'Thick Border' 2>/dev/null | grep -q 0x1"

start
check "a restart shows the list again" [ "$(windows)" -eq 1 ]
focus
xdotool key F2
# Its caption is in the system's language: any window of the program beside the main one.
other_window() {
  local w
  for w in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
    case "$(xdotool getwindowname "$w" 2>/dev/null)" in Quenlit | "Default IME" | "") ;; *) return 0 ;; esac
  done
  return 1
}
check "F2 opens the Save As dialog" wait_for other_window
sleep 1
vode_win='C:\users\Public\e2e-export.VODE'
vode="$WINEPREFIX/drive_c/users/Public/e2e-export.VODE"
rm -f "$vode"
xdotool key ctrl+a; xdotool type --delay 20 "$vode_win"; sleep 0.3; xdotool key Return
check "the export is written" wait_for '[ -s "$vode" ]'
export_matches() { # BOM, "Comp: ...", "Date: ...", an empty line, then the list exactly
  local hex list
  hex=$(xxd -p "$vode" | tr -d '\n')
  list=$(tail -c +4 "$1" | xxd -p | tr -d '\n')
  [[ $hex == efbbbf436f6d703a20*0d0a446174653a20*0d0a0d0a"$list" ]]
}
check "the export holds the header and the list" export_matches "$list"
check "the folder of the export is remembered" \
  bash -c "wine reg query 'HKCU\\Software\\Pellomir\\Quenlit\\OFN Paths' 2>/dev/null | grep -qi 'Public'"

focus
xdotool key ctrl+a; sleep 0.2; xdotool type "x"; sleep 0.3
xdotool key Escape
stopped
check "Ctrl+A then typing replaces the whole list" bytes_are "$list" '\xef\xbb\xbfx'

# A full disk: a small tmpfs over the data folder. A save that cannot be completed leaves the list
# as it was and nothing beside it; with room again, the next save writes the whole list.
data="$appdata/Pellomir/Quenlit"
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=256k quenlit-e2e "$data" 2>/dev/null; then
  printf '\xef\xbb\xbfhttps://kept.example/' >"$list"
  start
  dd if=/dev/zero of="$data/filler" bs=1k 2>/dev/null
  copy "https://full.example/"
  check "a save on a full disk leaves the list byte for byte" bytes_are "$list" '\xef\xbb\xbfhttps://kept.example/'
  check "a save on a full disk leaves no temporary file" [ "$(LC_ALL=C ls "$data" | tr '\n' ' ')" = "URLs.TXT filler " ]
  rm -f "$data/filler"
  copy "https://room.example/"
  check "with room again the whole list is saved" \
    bytes_are "$list" '\xef\xbb\xbfhttps://kept.example/\r\nhttps://full.example/\r\nhttps://room.example/'
  copy "e2e" # no link left for a later start to find
  focus
  xdotool key Escape
  stopped
  umount "$data"
else
  echo "skipped: the full-disk check needs to mount a small tmpfs, which is not allowed here"
fi

# Killed in the middle of saving a long list: the old list stays whole (or the new one is whole),
# and the next start and close leave nothing but the list.
seq 0 99999 | awk 'BEGIN { printf "\xef\xbb\xbf" } NR > 1 { printf "\r\n" } { printf "https://example.com/page/%s", $0 }' >"$list"
cp "$list" "$out/long-before.txt"
{ cat "$out/long-before.txt"; printf '\r\nhttps://killed.example/'; } >"$out/long-after.txt"
start_long() { (wine "$exe" >/dev/null 2>&1 &); for _ in $(seq 600); do xdotool search --onlyvisible --name '^Quenlit$' >/dev/null 2>&1 && break; sleep 0.1; done; sleep 0.5; }
start_long
pid=$(first_own "$program")
rm -f "$out/watching"
python3 "$(dirname "$0")/kill_on_create.py" "$data" .tmp "$pid" "$out/watching" >"$out/created.txt" &
watcher=$!
wait_for '[ -e "$out/watching" ]'
printf '%s' "https://killed.example/" | xclip -selection clipboard >/dev/null 2>&1
wait "$watcher"
stopped
whole() { cmp -s "$list" "$out/long-before.txt" || cmp -s "$list" "$out/long-after.txt" || { holds "$list"; false; }; }
check "a kill in the middle of a save leaves a whole list" whole
cmp -s "$list" "$out/long-before.txt" && state="the old list" || state="the new list"
echo "killed at the creation of $(cat "$out/created.txt"); the folder then held: $(ls "$data" | tr '\n' ' ')($state)"
start_long
focus
xdotool key Escape
stopped
check "after the next start and close the data folder holds the list only" [ "$(ls "$data")" = "URLs.TXT" ]
check "and the list is whole" whole

end_own "$program"
copy "e2e" # no link left for a later start to find
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
