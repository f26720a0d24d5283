#!/usr/bin/env bash
# Checks that the two set-up commands leave the machine's services as they found them:
# with vsftpd installed, enabled and serving on port 21, it runs ./scripts/run.sh (until
# the program is up, then ends it) and ./scripts/test.sh, and fails unless the same
# vsftpd is still running on port 21 and still enabled afterwards. A vsftpd that this
# check had to start is stopped again at the end. Needs root (it starts the service).
# Environment: BUILD_DIR (default build), CHECK_CTEST_ARGS (tests that test.sh runs,
# default "-R lint": the set-up is what is checked here, not the suite).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
work="$(mktemp -d)"
started=""
app_pgid=""
cleanup() {
  [ -n "$app_pgid" ] && kill -- "-$app_pgid" 2>/dev/null || true
  [ -n "$started" ] && service_ctl stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "check-leaves-services: FAIL: $*" >&2; exit 1; }

have_systemd() { [ -d /run/systemd/system ]; }
service_ctl() {
  if have_systemd; then systemctl "$1" vsftpd; else /etc/init.d/vsftpd "$1"; fi
}
enabled() {
  if have_systemd; then systemctl is-enabled --quiet vsftpd; else ls /etc/rc[2-5].d/S*vsftpd >/dev/null 2>&1; fi
}
# The vsftpd that serves port 21 (test fixtures may run others on other ports).
vsftpd_pids() { ss -ltnpH 'sport = :21' | grep '"vsftpd"' | grep -o 'pid=[0-9]*' | sort -u | tr '\n' ' '; }
on_port_21() { ss -ltnH 'sport = :21' | grep -q .; }

[ "$(id -u)" -eq 0 ] || { echo "check-leaves-services: needs root, skipped"; exit 0; }
bash "$root/scripts/install-deps.sh" "$build" build app test
if ! enabled; then
  fail "the vsftpd package is installed but its service is not enabled to begin with"
fi
if ! on_port_21; then
  service_ctl start >/dev/null
  started=1
  for _ in $(seq 50); do on_port_21 && break; sleep 0.1; done
fi
on_port_21 || fail "could not start vsftpd on port 21"
before="$(vsftpd_pids)"
[ -n "$before" ] || fail "something other than vsftpd listens on port 21"

echo "=== ./scripts/run.sh (until the window is up) ==="
mkdir -p "$work/config" "$work/run" "$work/data"
chmod 700 "$work/run"
BUILD_DIR="$build" QT_QPA_PLATFORM=offscreen TARSEL_PROMPTS=log XDG_CONFIG_HOME="$work/config" \
  XDG_RUNTIME_DIR="$work/run" setsid "$root/scripts/run.sh" --data-dir "$work/data" \
  >"$work/run.log" 2>&1 </dev/null &
app_pgid=$!
# run.sh builds first, which may take long on a cold build folder: wait while it runs.
for _ in $(seq 18000); do
  grep -q "Tarsel FTP running" "$work/run.log" && break
  kill -0 "$app_pgid" 2>/dev/null || break
  sleep 0.2
done
grep -q "Tarsel FTP running" "$work/run.log" || { cat "$work/run.log" >&2; fail "./scripts/run.sh did not start the program"; }
kill -- "-$app_pgid" 2>/dev/null || true
wait "$app_pgid" 2>/dev/null || true
app_pgid=""

echo "=== ./scripts/test.sh (CTEST_ARGS=${CHECK_CTEST_ARGS:--R lint}) ==="
BUILD_DIR="$build" CTEST_ARGS="${CHECK_CTEST_ARGS:--R lint}" bash "$root/scripts/test.sh"

after="$(vsftpd_pids)"
on_port_21 || fail "nothing listens on port 21 any more"
[ "$before" = "$after" ] || fail "vsftpd was restarted or stopped (pids before: $before, after: $after)"
enabled || fail "vsftpd is no longer enabled"
echo "check-leaves-services: vsftpd still running on port 21 and enabled"
