#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing, fuzzing and running
# the tool need: the one list of them. Installs only what is missing and says
# nothing when all is there. Run as root or as a user who may use sudo (it
# asks for sudo only when something is missing).
#
#   scripts/install-deps.sh          everything the test command needs
#   scripts/install-deps.sh --run    only what building and running the tool needs
set -euo pipefail

# Building and running the tool.
run_packages=(
  # compilers and build
  build-essential cmake ninja-build pkg-config git ccache
  # libraries
  qt6-base-dev qt6-base-dev-tools libgl-dev libjpeg-dev libx11-dev
  libgtest-dev libgmock-dev
  # the command line's argument parsing and JSON lines (header-only; the
  # Windows build takes the same headers)
  libcli11-dev nlohmann-json3-dev
  # running the windows without a display, and looking at them: Qt's
  # offscreen platform, and its VNC platform, through which a test reads and
  # clicks the screen of the built executable
  qt6-qpa-plugins xvfb xauth imagemagick fonts-dejavu-core fonts-liberation2
)
# Testing besides: the fuzz targets (clang, libFuzzer), the formatting check,
# and the Windows build (MinGW-w64, GoogleTest's sources) run under Wine with
# a Russian locale. The Windows executable's build also needs Python (its
# window tables are generated from the layouts) and Debian's libjpeg-turbo
# source package, fetched with apt-get source and unpacked with dpkg-source
# (scripts/mingw-libjpeg.sh); its black-box test runs on Xvfb (above) and
# takes its screenshots with ImageMagick.
test_packages=(
  clang libclang-rt-14-dev clang-format
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix googletest
  wine wine64 locales
  python3 dpkg-dev debian-archive-keyring fonts-wine
)

packages=("${run_packages[@]}")
case ${1:-} in
  --run) ;;
  "") packages+=("${test_packages[@]}") ;;
  *) echo "usage: $0 [--run]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
# The Windows build's tests run with the ANSI code page 1251.
need_locale=0
if [ -z "${1:-}" ] && ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf-\?8'; then
  need_locale=1
fi
[ ${#missing[@]} -eq 0 ] && [ "$need_locale" -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ "$need_locale" -eq 1 ]; then
  echo "install-deps: generating the ru_RU.UTF-8 locale"
  "${as_root[@]}" localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
