#!/usr/bin/env bash
# Builds TarnPilot when needed and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/ensure-packages.sh" app
if [ ! -f "$root/build/run/build.ninja" ]; then
  cmake -S "$root" -B "$root/build/run" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARN_BUILD_ZANBIT32=OFF >/dev/null
fi
cmake --build "$root/build/run" --target TarnPilot
exec "$root/build/run/TarnPilot" "$@"
