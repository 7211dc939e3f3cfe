#!/usr/bin/env bash
# Pictures of both pages of the real window, taken under Xvfb, into docs/.
# Usage: scripts/screenshots.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build/shots}"
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target vantrel-screenshots
# No MAC allocation file, so the MAC controls are hidden as on a fresh machine.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
  "$build/tests/vantrel-screenshots" "$here/docs" "$build/no-mac-file.txt"
