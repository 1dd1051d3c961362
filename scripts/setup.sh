#!/usr/bin/env bash
# Installs the Debian packages Quillfeed needs to build, test and run, only those missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev qt6-httpserver-dev qt6-websockets-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
  xvfb xauth xdotool openbox wmctrl x11-apps x11-utils
  desktop-file-utils dpkg-dev groff-base socat
  lintian appstream devscripts autopkgtest
  chromium
)
if [ "${QUILLFEED_SETUP_EXTRA:-}" != "" ]; then
  # shellcheck disable=SC2206
  packages+=(${QUILLFEED_SETUP_EXTRA})
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
