#!/usr/bin/env bash
# Usage: install-deps.sh BUILD_DIR LIST...
# Installs the Debian packages of scripts/deps/LIST.txt that are not installed yet, then
# runs the set-up steps of scripts/setup.d that name one of the LISTs in a line
# "# Lists: ..." (each step must be idempotent).
#
# Installing never starts a service: while apt-get runs, a policy-rc.d that answers 101
# ("action forbidden") stands in place, so a server package such as vsftpd is unpacked
# and configured but not started, and nothing has to be stopped afterwards. Services
# that were running before keep running; nothing here stops, disables or reconfigures one.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build_dir="${1:?usage: install-deps.sh BUILD_DIR LIST...}"
shift
[ "$#" -gt 0 ] || { echo "install-deps.sh: name at least one list of scripts/deps" >&2; exit 2; }

files=()
for list in "$@"; do
  [ -f "$here/deps/$list.txt" ] || { echo "install-deps.sh: no list scripts/deps/$list.txt" >&2; exit 2; }
  files+=("$here/deps/$list.txt")
done
mapfile -t wanted < <(cat "${files[@]}" | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  policy=/usr/sbin/policy-rc.d
  saved=""
  restore_policy() {
    if [ -n "$saved" ]; then
      $sudo mv -f "$saved" "$policy"
    else
      $sudo rm -f "$policy"
    fi
  }
  if [ -e "$policy" ] || [ -L "$policy" ]; then
    saved="$policy.tarsel-saved"
    $sudo mv -f "$policy" "$saved"
  fi
  trap restore_policy EXIT
  printf '#!/bin/sh\n# Put here by Tarsel FTP'"'"'s install-deps.sh while it installs packages.\nexit 101\n' |
    $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  restore_policy
  trap - EXIT
fi

mkdir -p "$build_dir"
for s in "$here"/setup.d/*.sh; do
  [ -e "$s" ] || continue
  lists=" $(sed -n 's/^# Lists: *//p' "$s" | head -n1) "
  for list in "$@"; do
    if [[ "$lists" == *" $list "* ]]; then
      bash "$s" "$build_dir"
      break
    fi
  done
done
