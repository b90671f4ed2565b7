#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the library alone in a fresh Debian 12 root that has only a C++
# compiler, CMake and make (mmdebstrap, as root): the library preset's
# workflow, then its installation, then the example C host compiled against
# the installed headers and run on both installed plug-ins, and the wavefront
# host on the installed batch library. What a packager or
# an integrator who wants only the library needs, and nothing more.
#
#   scripts/library_alone.sh [ROOT]        default build/library-root
set -euo pipefail
cd "$(dirname "$0")/.."
root=${1:-build/library-root}
if ((EUID != 0)) || ! command -v mmdebstrap >/dev/null; then
  echo "library_alone: needs root and mmdebstrap (scripts/setup.sh installs it)" >&2
  exit 2
fi

rm -rf "$root"
sources=/etc/apt/sources.list.d/debian.sources
[ -f "$sources" ] || sources=/etc/apt/sources.list
mmdebstrap --quiet --variant=essential --include=g++,cmake,make --mode=root bookworm "$root" "$sources"

# The sources as a checkout has them, nothing built.
mkdir -p "$root/src"
git ls-files -z | tar --null -cf - -T - | tar -xf - -C "$root/src"

chroot "$root" /bin/sh -euc '
  cd /src
  for tool in node npm esbuild python3 pkg-config ninja; do
    ! command -v $tool >/dev/null || { echo "library_alone: the root has $tool" >&2; exit 1; }
  done
  cmake --workflow --preset library
  cmake --install build/library --prefix /opt/kvx
  ls /opt/kvx/lib/kvx_base/libkvx_base.so /opt/kvx/lib/kvx_base/checked/libkvx_base.so \
     /opt/kvx/lib/cmake/kvx_base/kvx_baseConfig.cmake /opt/kvx/lib/pkgconfig/kvx_base.pc \
     /opt/kvx/include/kvx_base/bridge/interface/c_host.h
  examples=/opt/kvx/share/doc/kvx-base-dev/examples/hosts
  cc -std=c11 -pedantic -Wall -Wextra -Werror -I/opt/kvx/include $examples/c/host.c -ldl \
     -Wl,--dynamic-list=/opt/kvx/share/kvx_base/host_functions.list -o /tmp/c_host
  /tmp/c_host /opt/kvx/lib/kvx_base/libkvx_base.so
  KVX_CHECK=abort /tmp/c_host /opt/kvx/lib/kvx_base/checked/libkvx_base.so
  cc -std=c11 -O2 -pedantic -Wall -Wextra -Werror -I/opt/kvx/include $examples/wavefront/wavefront.c \
     -L/opt/kvx/lib -lkvx_base_batch -o /tmp/wavefront
  LD_LIBRARY_PATH=/opt/kvx/lib /tmp/wavefront /tmp/rings.raw
'
echo "library_alone: built, installed and hosted in a root with only g++, cmake and make"
