#!/usr/bin/env bash
# Runs the benchmarks under Wine (inside the Xvfb that ./quenlit bench provides) and prints figures.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/sandbox.sh
exe=build/x64/Quenlit.exe

echo "== in-process figures"
wine build/x64/bench/quenlit_bench.exe

echo "== copy-to-file latency: 20 copies with xclip, the real program"
appdata=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v /Public/ | head -1)
list="$appdata/Pellomir/Quenlit/URLs.TXT"
if xdotool search --name "^Quenlit$" >/dev/null 2>&1; then echo "close the running Quenlit first" >&2; exit 1; fi
rm -rf "$appdata/Pellomir"
wine "$exe" >/dev/null 2>&1 &
for _ in $(seq 100); do xdotool search --name '^Quenlit$' >/dev/null 2>&1 && break; sleep 0.1; done
sleep 1
latencies=()
for i in $(seq 20); do
  link="https://bench.example/$i-$RANDOM"
  start=$(date +%s%N)
  printf '%s' "$link" | xclip -selection clipboard >/dev/null 2>&1
  for _ in $(seq 2000); do grep -qF "$link" "$list" 2>/dev/null && break; sleep 0.005; done
  latencies+=($(( ($(date +%s%N) - start) / 1000000 )))
  sleep 0.3
done
sorted=($(printf '%s\n' "${latencies[@]}" | sort -n))
echo "copy-to-file latency over 20 copies: median ${sorted[9]} ms, maximum ${sorted[19]} ms"
w=$(xdotool search --name '^Quenlit$' | head -1)
xdotool windowfocus --sync "$w"; xdotool key Escape
sleep 2

# QUENLIT_SOAK_HOLD: how long the other watcher holds the clipboard after every change (ms).
echo "== a day of use: ${QUENLIT_SOAK_LINKS:-2000} links with other texts and private entries, another clipboard watcher beside holding the clipboard ${QUENLIT_SOAK_HOLD:-100} ms"
rm -rf "$appdata/Pellomir"
soak_out=build/x64/soak.txt
windows_path() { local p; p=$(readlink -m "$1"); echo "Z:${p//\//\\}"; }
wine build/x64/bench/quenlit_soak.exe "$(windows_path "$exe")" "$(windows_path "$list")" "${QUENLIT_SOAK_LINKS:-2000}" "${QUENLIT_SOAK_HOLD:-100}" \
  >"$soak_out" 2>&1 &
soak=$!
# The program's resident memory, as Linux sees the Wine process, from ten seconds in (before that
# Wine is still loading it).
rss=()
sleep 10
while kill -0 "$soak" 2>/dev/null; do
  pid=$(first_own '^[A-Z]:\\[^ ]*\\Quenlit\.exe( |$)') # started by the soak: its Windows path
  [ -n "$pid" ] && rss+=("$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null)")
  sleep 5
done
wait "$soak" || true
cat "$soak_out"
[ ${#rss[@]} -gt 1 ] && echo "program resident memory: ${rss[0]} kB after start-up, ${rss[-1]} kB at the end"

echo "== size"
strip_size=$(stat -c %s "$exe")
echo "Quenlit.exe (x64, stripped): $strip_size bytes"
echo "imports: $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort | tr '\n' ' ')"
