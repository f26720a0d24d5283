#!/usr/bin/env bash
# Takes the README screenshot: starts Tarsel FTP in a virtual X display of 1280x800
# with a throw-away configuration and a few sample profiles, and saves the screen to
# docs/screenshot.png (or the path given as the first argument).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="${1:-$root/docs/screenshot.png}"
bash "$root/scripts/install-deps.sh" "$build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target tarselftp

work="$(mktemp -d)"
xvfb_pid=""; app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/config/Quendal" "$work/run" "$work/data"
# A folder that looks like a user's, so the picture shows files a user would have.
sample="$work/home/Projects/website"
mkdir -p "$sample"/{css,images,scripts,downloads}
for f in index.html about.html contact.html css/site.css images/logo.png scripts/menu.js; do
  head -c $((RANDOM % 40000 + 800)) /dev/urandom >"$sample/$f"
done
head -c 2400000 /dev/urandom >"$sample/site-backup.zip"
printf 'Upload the pages to the server.\n' >"$sample/README.txt"
chmod 700 "$work/run"
printf '[Quendal Mirror]\r\nHostName=ftp.quendal.example\r\nUserName=anonymous\r\nPort=21\r\n\r\n[Build Server]\r\nHostName=10.0.0.12\r\nPort=2121\r\nPassive=1\r\n\r\n' \
  >"$work/data/accounts.dat"
cat >"$work/config/Quendal/Tarsel FTP.ini" <<INI
[FormMain]
MaxState=0
Left=0
Top=0
Width=1280
Height=800

[Settings]
LastDir=$sample
LocalListSize=300
LocalDirSize=260
LastShortcut=0
INI

display=":${SCREENSHOT_DISPLAY:-97}"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
  "$build/src/app/tarselftp" --data-dir "$work/data" 2>"$work/app.log" &
app_pid=$!
for _ in $(seq 100); do grep -q "Tarsel FTP running" "$work/app.log" 2>/dev/null && break; sleep 0.1; done
sleep 2 # let the file lists load and paint
mkdir -p "$(dirname "$out")"
DISPLAY="$display" import -window root "$out"
echo "Saved $out"

# The profile and preference dialogs, filled with sample profiles, beside it.
cmake --build "$build" -j"$(nproc)" --target tarsel-dialog-shots
DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
  "$build/tests/dialogs/tarsel-dialog-shots" "$(dirname "$out")"
