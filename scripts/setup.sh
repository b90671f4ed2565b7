#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages the project needs that this machine lacks
# (scripts/debian-packages.txt), and nothing when all are there. As root with
# apt-get it installs them; otherwise it prints the command to run. Then the
# browser tests' npm packages, as tests/browser/package-lock.json pins them.
set -euo pipefail
list="$(dirname "$0")/debian-packages.txt"
mapfile -t packages < <(sed 's/#.*//' "$list" | tr -s ' \t' '\n' | sed '/^$/d')

# What the installed packages provide besides themselves: a machine whose
# nodejs comes with its own npm has npm, and cannot take Debian's beside it.
provided=" $(dpkg-query -W -f='${db:Status-Abbrev}|${Provides}\n' 2>/dev/null | sed -n 's/^ii *|//p' |
  tr ',' '\n' | sed 's/(.*)//; s/:any//' | tr -s ' \n' ' ') "

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && continue
  [[ "$provided" == *" $p "* ]] && continue
  missing+=("$p")
done

# The browser tests' npm packages, pinned by tests/browser/package-lock.json.
browser=$(cd "$(dirname "$0")/../tests/browser" && pwd)
install_npm_packages() {
  local stamp="$browser/node_modules/.installed-lock.json"
  if cmp -s "$browser/package-lock.json" "$stamp"; then return; fi
  echo "setup: installing the browser tests' npm packages (npm ci in tests/browser)"
  (cd "$browser" && npm ci --no-audit --no-fund --ignore-scripts --loglevel=error)
  cp "$browser/package-lock.json" "$stamp"
}

if ((${#missing[@]} == 0)); then
  echo "setup: all ${#packages[@]} packages in $list are installed"
  install_npm_packages
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
install_npm_packages
