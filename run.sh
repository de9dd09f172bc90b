#!/usr/bin/env bash
# Sets up, builds and starts Kelvara; its data files live in the directory you start it from
# (another --data given after it wins).
set -euo pipefail
here=$(pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$root/scripts/setup.sh"
cd "$here"
exec "$root/build/src/app/Kelvara" --data "$here" "$@"
