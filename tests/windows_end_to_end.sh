#!/bin/sh
# The Windows programs under Wine, with the stand-in player as a real COM local server in its
# own process, checked against the Linux build on the same library.
# Usage: windows_end_to_end.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
set -u
build=$(cd "$1" && pwd)
linux=${2:-}
if [ -z "$linux" ] || [ ! -x "$linux/artwork-batch" ] || [ ! -x "$linux/standin/player-library" ]; then
  echo "needs a Linux build of the project (configure with -DLINUX_BUILD_DIR=...)"
  exit 1
fi
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
wine() { sh "$build/wine-run" "$@" </dev/null; }
wine "$build/standin-player.exe" /UnregServer  # makes the prefix on first use
drive="$WINEPREFIX/drive_c"
work=$(mktemp -d)
failures=0
pass() { echo "ok   - $*"; }
fail() { echo "FAIL - $*"; failures=$((failures + 1)); }
finish() {
  wine "$build/standin-player.exe" /UnregServer
  rm -rf "$work" "$drive/Player" "$drive/Image"
  echo "$((checks - failures)) passed, $failures failed"
  [ "$failures" = 0 ]
  exit $?
}
checks=0
check() {  # check DESCRIPTION COMMAND...
  checks=$((checks + 1))
  description=$1
  shift
  if "$@"; then pass "$description"; else fail "$description"; fi
}
rm -rf "$drive/Player" "$drive/Image"

# 1. Nothing registered: the one message, CR LF, status 0, nothing made.
wine "$build/artwork-batch.exe" >"$work/out" 2>"$work/err"
status=$?
printf 'Failed to initialize iTunes Error\r\n' >"$work/expected"
check "unregistered: exit status 0" [ "$status" = 0 ]
check "unregistered: the console shows the one message and CR LF" cmp -s "$work/out" "$work/expected"
check "unregistered: no C:\\Image" [ ! -e "$drive/Image" ]

# 2. Registered, on the demo library: the same rows and artwork as the Linux build.
check "/RegServer" wine "$build/standin-player.exe" /RegServer
DRIVE_C="$drive" "$linux/standin/player-library" demo >/dev/null
mkdir -p "$work/linux-drive"
cp -R "$drive/Player" "$work/linux-drive/"
started=$(date +%s)
wine "$build/artwork-batch.exe" >"$work/windows.out" 2>"$work/windows.err"
status=$?
ended=$(date +%s)
DRIVE_C="$work/linux-drive" "$linux/artwork-batch" >"$work/linux.out" 2>/dev/null
check "registered: exit status 0" [ "$status" = 0 ]
check "registered: nothing on standard error" [ ! -s "$work/windows.err" ]
sed 's/$/\r/' "$work/linux.out" >"$work/expected"
check "registered: the console is the Linux build's, with CR LF line ends" \
  cmp -s "$work/windows.out" "$work/expected"
sed 's/$/\r/' "$work/linux-drive/Image/ArtworkSummary.txt" >"$work/expected"
check "registered: C:\\Image\\ArtworkSummary.txt is the Linux build's, with CR LF line ends" \
  cmp -s "$drive/Image/ArtworkSummary.txt" "$work/expected"
check "registered: the temporary image is gone" [ ! -e "$drive/Image/ItunesAlbumImage.jpg" ]

# 3. No reference left across the process boundary: the player exits once the batch has.
# Waiting for the prefix's wineserver waits for every process in the prefix, the player's too.
timeout 20 /usr/lib/wine/wineserver -w
stopped=$?
gone=$(date +%s)
check "the player's process ended within seconds of the batch's" [ "$stopped" = 0 ]
[ "$stopped" = 0 ] || /usr/lib/wine/wineserver -k  # only this prefix's processes
DRIVE_C="$drive" "$linux/standin/player-library" show >"$work/windows.library"
DRIVE_C="$work/linux-drive" "$linux/standin/player-library" show >"$work/linux.library"
check "the library written back is the Linux build's, track by track" \
  cmp -s "$work/windows.library" "$work/linux.library"
echo "     batch under Wine: $((ended - started)) s; everything ended after $((gone - ended)) s more"
finish
