#!/bin/bash
# Builds Velmora and starts the editor. Extra arguments are files to open.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
export CCACHE_BASEDIR=$(dirname "$root") CCACHE_NOHASHDIR=1
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target velmora velmora-cli
exec "$root/build/app/velmora" "$@"
