#!/usr/bin/env bash
# Installs the Debian packages Kelvara needs when they are missing, then configures and builds it.
# KELVARA_WERROR=ON (as CI sets it) makes every compiler warning an error.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

"$root/scripts/packages.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVARA_WERROR="${KELVARA_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j2
