#!/usr/bin/env bash
# Lists: test
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

