#!/usr/bin/env bash
# Sets up, builds and starts Quillfeed. Arguments go to the program (for example /C=radio2.ini).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
program="${QUILLFEED_BUILD_DIR:-$root/build}/quillfeed"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run: no display found; starting Quillfeed without a window (--no-window): it listens, relays and"
  echo "run: spots with the settings in ~/.config/Quillfeed/config.ini; Ctrl+C ends it."
  exec "$program" --no-window "$@"
fi
exec "$program" "$@"
