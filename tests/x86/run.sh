#!/usr/bin/env bash
# The whole suite on the 32-bit build, its set-up included. These machines run 64-bit code only, so
# an i386 Debian root (build/i386-root, made once and kept) holds a 32-bit Wine, and qemu-user from
# bookworm-backports runs it, registered in binfmt_misc for i386 programs while this script runs.
# The host's Wine and its dpkg architectures are never touched. Mounts and the binfmt entry are
# undone at the end.
# Usage (as root, from ./quenlit test x86): tests/x86/run.sh <project root> <display>
set -uo pipefail
root=$1
display=$2
rootfs=$root/build/i386-root
tools=$root/build/i386-tools
prefix=$root/build/wine-x86
# One entry a run, named by its process id: a run that ends never removes another's.
entry=/proc/sys/fs/binfmt_misc/quenlit-i386-$$
say() { printf 'quenlit x86: %s\n' "$*" >&2; }

mounted=()
cleanup() {
  local i
  # Wine of the root first, only the server of this run's prefix: its processes hold files in the mounts.
  [ -x "$tools/bin/wineserver" ] && WINEPREFIX=$prefix "$tools/bin/wineserver" -k 2>/dev/null
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null; done
  [ -e "$entry" ] && echo -1 >"$entry"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
bind() { mkdir -p "$rootfs$2" && mount --bind "$1" "$rootfs$2" && mounted+=("$rootfs$2"); }

# qemu-user 10 (bookworm's own 7.2 is ten times slower with Wine), fetched with private apt lists.
if [ ! -x "$tools/qemu-i386" ]; then
  say "fetching qemu-user from bookworm-backports"
  mkdir -p "$tools/lists/partial" "$tools/archives/partial"
  echo 'deb http://deb.debian.org/debian bookworm-backports main' >"$tools/sources.list"
  apt=(-o Dir::Etc::SourceList="$tools/sources.list" -o Dir::Etc::SourceParts=/dev/null
       -o Dir::State::Lists="$tools/lists" -o Dir::Cache::Archives="$tools/archives" -o Dir::State::status=/dev/null
       -o APT::Sandbox::User=root)
  apt-get "${apt[@]}" update -qq && (cd "$tools" && apt-get "${apt[@]}" download qemu-user >/dev/null) ||
    { say "cannot fetch qemu-user"; exit 1; }
  dpkg-deb -x "$tools"/qemu-user_*.deb "$tools/deb" && cp "$tools/deb/usr/bin/qemu-i386" "$tools/qemu-i386" ||
    { say "the qemu-user package holds no qemu-i386"; exit 1; }
fi
[ -d /proc/sys/fs/binfmt_misc ] && [ -e /proc/sys/fs/binfmt_misc/register ] ||
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || { say "binfmt_misc is not available"; exit 1; }
# Entries of runs that were killed outright.
for stale in /proc/sys/fs/binfmt_misc/quenlit-i386*; do
  [ -e "$stale" ] || continue
  run=${stale##*quenlit-i386}; run=${run#-}
  [ -n "$run" ] && kill -0 "$run" 2>/dev/null || echo -1 >"$stale"
done
# i386 ELF executables; F: the interpreter is opened now, so it works inside the root too.
printf '%s' ":quenlit-i386-$$:M::"'\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$tools/qemu-i386"':F' \
  >/proc/sys/fs/binfmt_misc/register || { say "cannot register qemu-i386"; exit 1; }

# Mounts left by a run that was killed outright (deepest first, each as often as it is stacked).
leftover() { grep -o -e " $rootfs/[^ ]*" -e " $prefix[^ ]*" /proc/mounts | sort -r | head -1; }
while m=$(leftover) && [ -n "$m" ]; do umount -l $m || { say "cannot unmount $m"; exit 1; }; done

# The root: a base system made once (one left unfinished by an interrupted run has no mark and is
# made again), then Wine and the X libraries it loads when present. Without libXfixes Wine polls the
# X clipboard and imports it anew after every read, so each link would come back every two seconds;
# the host's Wine has them all. The ready mark names the packages, so a changed list is installed.
packages="wine wine32 fonts-wine fonts-liberation libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1
  libxrandr2 libxrender1 libxxf86vm1"
packages=$(echo $packages)
if [ ! -f "$rootfs/.quenlit-base" ]; then
  say "making the i386 root in $rootfs (some minutes, once)"
  rm -rf "$rootfs"
  debootstrap --arch=i386 --variant=minbase bookworm "$rootfs" http://deb.debian.org/debian >"$tools/root.log" 2>&1 ||
    { say "debootstrap failed (see $tools/root.log)"; exit 1; }
  cp /etc/resolv.conf "$rootfs/etc/resolv.conf"
  touch "$rootfs/.quenlit-base"
fi

mount -t proc proc "$rootfs/proc" && mounted+=("$rootfs/proc")
bind /dev /dev
bind /dev/pts /dev/pts
bind /dev/shm /dev/shm
bind /tmp/.X11-unix /tmp/.X11-unix
if [ "$(cat "$rootfs/.quenlit-ready" 2>/dev/null)" != "$packages" ]; then
  say "installing Wine in the i386 root"
  rm -f "$rootfs/.quenlit-ready"
  chroot "$rootfs" /bin/sh -c "dpkg --configure -a && apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends $packages" >"$tools/root.log" 2>&1 ||
    { say "installing Wine in the root failed (see $tools/root.log)"; exit 1; }
  echo "$packages" >"$rootfs/.quenlit-ready"
fi
# The project at the same path inside, so every path the scripts name holds there too. The Wine
# prefix again, as a shared mount: what a test mounts in it (the e2e run's full disk over the data
# folder) is then seen inside too. The project itself holds the root, so it cannot be shared.
bind "$root" "$root"
mkdir -p "$prefix" && mount --bind "$prefix" "$prefix" && mounted+=("$prefix") && mount --make-shared "$prefix" &&
  bind "$prefix" "$prefix" || { say "cannot share the Wine prefix with the root"; exit 1; }

# wine and wineserver of the root, for the scripts; everything else (xclip, xdotool) is the host's.
mkdir -p "$tools/bin"
for tool in wine wineserver; do
  cat >"$tools/bin/$tool" <<EOF
#!/bin/sh
exec chroot "$rootfs" /usr/bin/env HOME=/root PATH=/usr/bin:/bin DISPLAY="\$DISPLAY" WINEPREFIX="\$WINEPREFIX" \
  WINEDEBUG="\$WINEDEBUG" WINEDLLOVERRIDES="\$WINEDLLOVERRIDES" LANG="\$LANG" LC_ALL="\$LC_ALL" \
  QUENLIT_TEST_SANDBOX="\$QUENLIT_TEST_SANDBOX" QUENLIT_ROOT="\$QUENLIT_ROOT" /usr/bin/$tool "\$@"
EOF
  chmod +x "$tools/bin/$tool"
done
export PATH=$tools/bin:$PATH DISPLAY=$display
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
export LANG=${QUENLIT_TEST_LANG:-C.UTF-8} LC_ALL=${QUENLIT_TEST_LANG:-C.UTF-8}
export QUENLIT_TEST_SANDBOX=$WINEPREFIX QUENLIT_ROOT=$root QUENLIT_SLOW=4
if [ ! -f "$WINEPREFIX/.quenlit-ready" ]; then
  say "preparing the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /d 'Liberation Mono' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp "$rootfs"/usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
  touch "$WINEPREFIX/.quenlit-ready"
fi
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null

build=$root/build/x86
passed=0 failed=0
run() { # name, command...; QUENLIT_X86_ONLY="e2e dpi" runs only those
  local name=$1 start=$SECONDS rc; shift
  [ -z "${QUENLIT_X86_ONLY:-}" ] || [[ " $QUENLIT_X86_ONLY " == *" $name "* ]] || return 0
  "$@" >"$build/$name.x86.log" 2>&1 </dev/null; rc=$?
  case $rc in
    0) passed=$((passed + 1))
       echo "ok: $name ($((SECONDS - start)) s$(tr -d '\r' <"$build/$name.x86.log" | sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\.$/, \1 tests/p'))" ;;
    77) echo "skipped: $name: $(tail -1 "$build/$name.x86.log")" ;;
    *) failed=$((failed + 1)); echo "FAILED: $name ($((SECONDS - start)) s)"; tail -30 "$build/$name.x86.log" ;;
  esac
}
for suite in "$build"/tests/*_tests.exe; do
  run "$(basename "$suite" .exe)" wine "$suite"
done
run dpi bash "$root/tests/dpi.sh" "$build/tests/mainwindow_tests.exe"
run e2e bash "$root/tests/e2e/e2e.sh" "$build/Quenlit.exe" "$build/e2e"
run hermetic bash "$root/tests/hermetic.sh" "$build/tests" "$build/Quenlit.exe"
run setup bash "$root/tests/setup.sh" "$build/Quenlit.exe" "$build/setup"
echo "x86: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
