#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing, fuzzing and running
# the tool need. Installs only what is missing and says nothing when all is
# there. Run as root or as a user who may use sudo.
set -euo pipefail

packages=(
  # compilers and build
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  # libraries
  qt6-base-dev qt6-base-dev-tools libgl-dev libjpeg-dev
  libgtest-dev libgmock-dev
  # running the windows without a display, and looking at them: Qt's
  # offscreen platform, and its VNC platform, through which a test reads and
  # clicks the screen of the built executable
  qt6-qpa-plugins xvfb xauth imagemagick fonts-dejavu-core fonts-liberation2
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
