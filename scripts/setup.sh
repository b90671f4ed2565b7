#!/usr/bin/env bash
# Installs the Debian packages the project needs that this machine lacks
# (scripts/debian-packages.txt), and nothing when all are there. As root with
# apt-get it installs them; otherwise it prints the command to run.
set -euo pipefail
list="$(dirname "$0")/debian-packages.txt"
mapfile -t packages < <(sed 's/#.*//' "$list" | tr -s ' \t' '\n' | sed '/^$/d')

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  echo "setup: all ${#packages[@]} packages in $list are installed"
  exit 0
fi

command="apt-get install -y --no-install-recommends ${missing[*]}"
if ((EUID != 0)) || ! command -v apt-get >/dev/null; then
  echo "setup: missing ${#missing[@]} Debian packages; as root, run:" >&2
  echo "  apt-get update && $command" >&2
  exit 1
fi
echo "setup: installing ${#missing[@]} Debian packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
