#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages the project needs that this machine lacks
# (scripts/debian-packages.txt), and nothing when all are there. As root with
# apt-get it installs them; otherwise it prints the command to run. Then the
# npm packages of the editor's page and of the browser tests, as their lock
# files pin them.
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

# The npm packages, pinned by their lock files: the live editor's page's
# (bundled into kvx-host when it is built) and the browser tests'.
top=$(cd "$(dirname "$0")/.." && pwd)
install_npm_packages() {
  local folder
  for folder in editor/page tests/browser; do
    local stamp="$top/$folder/node_modules/.installed-lock.json"
    if cmp -s "$top/$folder/package-lock.json" "$stamp"; then continue; fi
    echo "setup: installing the npm packages of $folder (npm ci)"
    (cd "$top/$folder" && npm ci --no-audit --no-fund --ignore-scripts --loglevel=error)
    cp "$top/$folder/package-lock.json" "$stamp"
  done
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
