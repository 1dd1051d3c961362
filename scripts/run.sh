#!/usr/bin/env bash
# Sets up, builds and starts Quillfeed. Arguments go to the program (for example /C=radio2.ini).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run: no display found; starting Quillfeed offscreen (it still listens, relays and spots)."
  export QT_QPA_PLATFORM=offscreen
fi
exec "${QUILLFEED_BUILD_DIR:-$root/build}/quillfeed" "$@"
