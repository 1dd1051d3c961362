#!/usr/bin/env bash
# Sets up, builds into build/ and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
cd "${QUILLFEED_BUILD_DIR:-$root/build}"
ctest --output-on-failure -j 2 --timeout 300
