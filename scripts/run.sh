#!/usr/bin/env bash
# Installs what is missing, builds and starts Tarsel FTP. Arguments go to the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh" "$build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target tarselftp

# ---- Local demo server ------------------------------------------------------------
# Unless --no-demo is given: an FTP server (scripts/demo_server.py, pyftpdlib) on a free
# 127.0.0.1 port for as long as the program runs, serving a sample tree in a scratch
# folder, and the profile "Local demo server" in accounts.dat pointing at it. The port
# is a new one on every run; the script updates the profile's port each time.
demo=1
args=()
for a in "$@"; do
  if [ "$a" = "--no-demo" ]; then demo=0; else args+=("$a"); fi
done
if [ "$demo" = 1 ]; then
  # accounts.dat lives where the program looks for it: --data-dir, else the
  # executable's folder when writable, else the per-user data folder.
  data_dir=""
  for ((i = 0; i < ${#args[@]}; i++)); do
    case "${args[$i]}" in
      --data-dir) data_dir="${args[$((i + 1))]:-}" ;;
      --data-dir=*) data_dir="${args[$i]#--data-dir=}" ;;
    esac
  done
  if [ -z "$data_dir" ]; then
    if [ -w "$build/src/app" ]; then
      data_dir="$build/src/app"
    else
      data_dir="${XDG_DATA_HOME:-$HOME/.local/share}/Quendal/Tarsel FTP"
    fi
  fi
  demo_scratch="$(mktemp -d "${TMPDIR:-/tmp}/tarsel-demo.XXXXXX")"
  demo_pid=""
  stop_demo() {
    [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null && wait "$demo_pid" 2>/dev/null || true
    rm -rf "$demo_scratch"
  }
  trap stop_demo EXIT
  trap 'exit 130' INT TERM
  exec 3< <(exec /usr/bin/python3 "$root/scripts/demo_server.py" --root "$demo_scratch/ftp" \
    --accounts "$data_dir/accounts.dat" --log "$demo_scratch/server.log")
  demo_pid=$!
  if read -r -t 60 -u 3 demo_port; then
    echo "Demo FTP server on 127.0.0.1:$demo_port (profile \"Local demo server\"); --no-demo skips it."
  else
    echo "The demo FTP server did not start; going on without it." >&2
  fi
  exec 3<&-
  "$build/src/app/tarselftp" ${args[@]+"${args[@]}"}
  exit $?
fi
# ---- end of the local demo server -------------------------------------------------

exec "$build/src/app/tarselftp" ${args[@]+"${args[@]}"}
