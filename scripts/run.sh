#!/usr/bin/env bash
# Sets up the machine, builds the tool and starts it.
# With --demo it starts vantrel-demo, the same window talking to a simulated unit.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_BENCH=OFF
cmake --build "$here/build/release" -j "$(nproc 2>/dev/null || echo 2)"
program="$here/build/release/src/app/vantrel"
if [ "${1:-}" = "--demo" ]; then program="$here/build/release/src/app/vantrel-demo"; fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No desktop session found (DISPLAY is not set); starting on a virtual screen under Xvfb." >&2
  exec xvfb-run -a "$program"
fi
exec "$program"
