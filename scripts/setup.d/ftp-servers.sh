#!/usr/bin/env bash
# pure-ftpd and proftpd conflict with the installed vsftpd (each provides ftp-server),
# so their packages are unpacked into the build folder and run from there by the test
# fixtures; their packaged services are never installed or started.
set -euo pipefail
build="$(mkdir -p "${1:?build dir}" && cd "$1" && pwd)"
dest="$build/ftp-servers"
mkdir -p "$dest/debs" "$dest/root"
cd "$dest/debs"
for pkg in pure-ftpd proftpd-core; do
  if ! ls "${pkg}"_*.deb >/dev/null 2>&1; then
    apt-get download "$pkg" >/dev/null 2>&1 || echo "ftp-servers: cannot download $pkg; its tests will be skipped"
  fi
done
for deb in ./*.deb; do
  [ -e "$deb" ] || continue
  stamp="$dest/root/.$(basename "$deb").unpacked"
  [ -e "$stamp" ] && continue
  dpkg -x "$deb" "$dest/root" && touch "$stamp"
done

# The tests start their own servers on free ports; the packaged services that an
# installation may have started must not stay on the standard ports.
for svc in vsftpd ftp-proxy; do
  if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet "$svc" 2>/dev/null; then
    systemctl stop "$svc" || true
    systemctl disable "$svc" >/dev/null 2>&1 || true
  elif [ -x "/etc/init.d/$svc" ] && "/etc/init.d/$svc" status >/dev/null 2>&1; then
    "/etc/init.d/$svc" stop >/dev/null 2>&1 || true
  fi
done
