#!/usr/bin/env bash
# The real Quenlit.exe under Wine in a real X display: X11 clipboard clients copy, xdotool types,
# and the exact bytes of what it stores are checked. Screenshots are kept in build/e2e/.
set -uo pipefail
exe=$1
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
bytes_are() { [ "$(xxd -p "$1" | tr -d '\n')" = "$(printf '%b' "$2" | xxd -p | tr -d '\n')" ]; }
windows() { xdotool search --name '^Quenlit$' 2>/dev/null | wc -l; }
wait_for() { for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done; return 1; }
start() { wine "$exe" >/dev/null 2>&1 & wait_for '[ "$(windows)" -ge 1 ]'; sleep 0.5; }
focus() { local w; w=$(xdotool search --name '^Quenlit$' | head -1); xdotool windowfocus --sync "$w" 2>/dev/null; sleep 0.3; }
copy() { printf '%s' "$1" | xclip -selection clipboard >/dev/null 2>&1; sleep 0.8; }
# Wine shows the program under its Linux path: the process is gone only when no such one is left.
running() { pgrep -f "^$exe( |\$)" >/dev/null; }
stopped() { wait_for '[ "$(windows)" -eq 0 ] && ! running'; }
shot() { import -window root "$out/$1.png"; }

# A fresh start: no data folder, no settings.
rm -rf "$appdata/Pellomir"
wine reg delete 'HKCU\Software\Pellomir' /f >/dev/null 2>&1

start
check "the window opens" [ "$(windows)" -eq 1 ]
copy "https://example.com/first"
copy "not a link"
copy "https://пример.рф/второй"
copy $'https://a.example/\nhttps://b.example/'
copy $'https://trailing.example/\n'
check "only the one-line links are stored, exactly" \
  bytes_are "$list" '\xef\xbb\xbfhttps://example.com/first\r\nhttps://\xd0\xbf\xd1\x80\xd0\xb8\xd0\xbc\xd0\xb5\xd1\x80.\xd1\x80\xd1\x84/\xd0\xb2\xd1\x82\xd0\xbe\xd1\x80\xd0\xbe\xd0\xb9'
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
check "F2 opens the Save As dialog" wait_for 'xdotool search --name "^Save As$" >/dev/null 2>&1'
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

pkill -f "^$exe( |\$)" 2>/dev/null
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
