#!/usr/bin/env bash
# Builds the set-up: setup/build.sh <Quenlit.exe> <version> <epoch> <out.exe>
# A 64-bit program makes the set-up for 64-bit Windows, a 32-bit one the set-up for 32-bit Windows.
# The packed files carry the commit's time, so the same commit always gives the same bytes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$1 version=$2 epoch=$3 out=$(readlink -m "$4")
case $(file -b "$exe") in
  PE32+*) arch=x64 ;;
  PE32*) arch=x86 ;;
  *) echo "setup/build.sh: $exe is no Windows program" >&2; exit 1 ;;
esac
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$exe" "$work/Quenlit.exe"
sed 's/\r*$/\r/' "$root/res/Help.txt" >"$work/Help.txt"
touch -d "@$epoch" "$work/Quenlit.exe" "$work/Help.txt"
makensis -V2 -INPUTCHARSET UTF8 -DARCH="$arch" -DVERSION="$version" -DEXE="$work/Quenlit.exe" -DHELP="$work/Help.txt" \
  -DICON="$root/res/A_MAIN.ico" -DOUTFILE="$out" "$root/setup/Quenlit.nsi" >"$work/log" ||
  { cat "$work/log" >&2; exit 1; }
