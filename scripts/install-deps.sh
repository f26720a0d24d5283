#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/deps/*.txt that are not installed yet,
# then runs the set-up steps in scripts/setup.d (each must be idempotent).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build_dir="${1:-$root/build}"

mapfile -t wanted < <(cat "$here"/deps/*.txt | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
mkdir -p "$build_dir"
for s in "$here"/setup.d/*.sh; do
  [ -e "$s" ] || continue
  bash "$s" "$build_dir"
done
