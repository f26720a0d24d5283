#!/usr/bin/env bash
# Takes the README screenshot: Tarsel FTP as a user sees it after a first start and a
# Quick Connect to the local demo server (scripts/demo_server.py, as ./scripts/run.sh
# starts it), in a virtual X display of 1280x800 with a window manager (title bar), no
# saved settings (default placement and pane sizes), three saved profiles, and a home
# folder of its own at /home/alex (a private mount namespace puts an empty /home there,
# so no folder of the build machine shows and nothing of the user's changes). Saves
# docs/screenshot.png (or the path given as argument).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="$(realpath -m "${1:-$root/docs/screenshot.png}")"

if [ "${TARSEL_SCREENSHOT_STAGE:-}" != "capture" ]; then
  bash "$root/scripts/install-deps.sh" "$build" build app screenshot
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target tarselftp
  export TARSEL_SCREENSHOT_STAGE=capture BUILD_DIR="$build"
  if [ "$(id -u)" -eq 0 ]; then
    exec unshare --mount --propagation private bash "$0" "$out"
  fi
  exec unshare --map-root-user --mount bash "$0" "$out"
fi

# Inside the private mount namespace: an empty /home of our own.
mount -t tmpfs tmpfs /home
work="$(mktemp -d)"
xvfb_pid=""; wm_pid=""; app_pid=""; demo_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

home=/home/alex
mkdir -p "$home"/{Documents,Downloads,Music,Pictures,Projects/website/{css,images,scripts}} "$work/run"
chmod 700 "$work/run"
for f in index.html about.html contact.html css/site.css images/logo.png scripts/menu.js; do
  head -c $((RANDOM % 40000 + 800)) /dev/urandom >"$home/Projects/website/$f"
done
head -c 2400000 /dev/urandom >"$home/site-backup.zip"
head -c 180000 /dev/urandom >"$home/Documents/invoice-2026-11.pdf"
printf 'Upload the pages to the server.\n' >"$home/notes.txt"
printf 'Call the hosting company about the new server.\n' >"$home/Documents/todo.txt"
# The demo server writes its profile into the per-user data folder first, so Quick
# Connect offers it; two more profiles follow. No settings file: a first start.
data="$home/.local/share/Quendal/Tarsel FTP"
mkdir -p "$data"
exec 3< <(exec /usr/bin/python3 "$root/scripts/demo_server.py" --root "$work/ftp" \
  --accounts "$data/accounts.dat" --log "$work/server.log")
demo_pid=$!
read -r -t 60 -u 3 _ || { echo "The demo FTP server did not start" >&2; exit 1; }
exec 3<&-
printf '[Quendal Mirror]\r\nHostName=ftp.quendal.example\r\nUserName=anonymous\r\nPort=21\r\n\r\n[Build Server]\r\nHostName=10.0.0.12\r\nPort=2121\r\nPassive=1\r\n\r\n' \
  >>"$data/accounts.dat"

display=":${SCREENSHOT_DISPLAY:-97}"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
DISPLAY="$display" HOME="$home" openbox >"$work/wm.log" 2>&1 &
wm_pid=$!
sleep 1

cd "$home"
DISPLAY="$display" QT_QPA_PLATFORM=xcb HOME="$home" XDG_CONFIG_HOME="$home/.config" \
  XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$work/run" \
  "$build/src/app/tarselftp" 2>"$work/app.log" &
app_pid=$!
for _ in $(seq 100); do grep -q "Tarsel FTP running" "$work/app.log" 2>/dev/null && break; sleep 0.1; done
sleep 2 # let the file lists load and paint
# Connections > Quick Connect, with the demo profile chosen; then wait for its listing.
win="$(DISPLAY="$display" xdotool search --sync --onlyvisible --name '^Tarsel FTP' | head -n 1)"
DISPLAY="$display" xdotool windowactivate --sync "$win"
DISPLAY="$display" xdotool key --clearmodifiers alt+c
sleep 0.5
DISPLAY="$display" xdotool key Return
for _ in $(seq 100); do grep -q "LIST" "$work/server.log" 2>/dev/null && break; sleep 0.1; done
sleep 2
mkdir -p "$(dirname "$out")"
DISPLAY="$display" import -window root "$out"
echo "Saved $out"

# The profile and preference dialogs, filled with sample profiles, beside it.
cmake --build "$build" -j"$(nproc)" --target tarsel-dialog-shots
DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
  "$build/tests/dialogs/tarsel-dialog-shots" "$(dirname "$out")"
