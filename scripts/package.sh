#!/usr/bin/env bash
# Builds Kelvara for release in build-package/ and makes its Debian package there
# (kelvara_<version>_<arch>.deb), whose path it prints. Install it with
#   sudo apt install ./build-package/kelvara_*.deb
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-package"

"$root/scripts/packages.sh"
# Only the program goes into the package: the tests and benchmarks are not built, and CPack is
# kept from building everything before it installs.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    -DKELVARA_WERROR="${KELVARA_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j2 --target Kelvara
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/kelvara_*.deb
