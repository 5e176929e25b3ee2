#!/usr/bin/env bash
# Cross-builds libjpeg for 64-bit Windows: Debian 12's libjpeg-turbo source
# package, with Debian's patches, as a static library (lib/libjpeg.a and the
# four public headers) built with the project's MinGW-w64 toolchain, for the
# Windows executable's About picture. Does nothing when the prefix holds a
# finished build of this recipe, so it is cheap to call on every configure
# (cmake/MinGWJpeg.cmake does).
#
#   scripts/mingw-libjpeg.sh [PREFIX]     default: build/mingw-deps/libjpeg
#
# The source package comes from the Debian mirror that this machine's own
# apt sources name (http://deb.debian.org/debian when none does, or
# $CARDPUSH_DEBIAN_MIRROR), through a private apt set-up under
# PREFIX/../downloads: its own sources list with one deb-src line for
# bookworm, its own package lists and caches. Nothing under /etc/apt or
# /var/lib/apt is written. The fetched files are kept there, so a rebuild
# needs no network.
#
# No SIMD: the tool decodes one small picture, once, and the portable code
# needs no assembler. Needs cmake, ninja, dpkg-source (dpkg-dev), apt-get and
# the MinGW-w64 C compiler (scripts/install-deps.sh installs them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-$root/build/mingw-deps/libjpeg}
case $prefix in /*) ;; *) prefix=$PWD/$prefix ;; esac
deps=$(dirname "$prefix")
downloads=$deps/downloads
package=libjpeg-turbo
suite=bookworm
# Raise when the build below changes: a prefix of an older recipe is rebuilt.
recipe="libjpeg recipe 1: $package from Debian $suite, static, no SIMD, no TurboJPEG"
stamp=$prefix/cardpush-recipe.txt

say() { echo "mingw-libjpeg: $*" >&2; }

finished() { [ -f "$stamp" ] && [ "$(head -n 1 "$stamp")" = "$recipe" ]; }

finished && exit 0
mkdir -p "$deps" "$downloads"
# One build at a time: two build folders may configure at once.
exec {lock}>"$deps/libjpeg.lock"
flock "$lock"
finished && exit 0

# The mirror that the machine uses for Debian itself (not its security
# archive), from a one-line sources list or a deb822 .sources file.
machine_mirror() {
  local file line uri
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -r "$file" ] || continue
    while read -r line; do
      case $line in
        URIs:*) uri=${line#URIs:} ;;
        deb\ *) uri=$(sed -E 's/^deb +(\[[^]]*\] +)?([^ ]+).*/\2/' <<<"$line") ;;
        *) continue ;;
      esac
      for uri in $uri; do
        case ${uri%/} in
          */debian) echo "${uri%/}"; return ;;
        esac
      done
    done <"$file"
  done
  echo http://deb.debian.org/debian
}

# Fetches the source package into $downloads/, unless it is there.
fetch_source() {
  local dsc
  dsc=$(find "$downloads" -maxdepth 1 -name "${package}_*.dsc" | sort | tail -n 1)
  if [ -n "$dsc" ]; then
    echo "$dsc"
    return
  fi
  local mirror=${CARDPUSH_DEBIAN_MIRROR:-$(machine_mirror)}
  local apt=$downloads/apt
  rm -rf "$apt"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d" \
    "$apt/preferences.d"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main" \
    >"$apt/sources.list"
  : >"$apt/status"
  # The machine's apt.conf.d is still read (a proxy, say); everything that
  # apt writes or that chooses packages is private.
  local options=(
    -o "Dir::Etc::SourceList=$apt/sources.list"
    -o "Dir::Etc::SourceParts=$apt/sources.list.d"
    -o "Dir::Etc::Preferences=$apt/preferences"
    -o "Dir::Etc::PreferencesParts=$apt/preferences.d"
    -o "Dir::State=$apt"
    -o "Dir::State::Lists=$apt/lists"
    -o "Dir::State::status=$apt/status"
    -o "Dir::Cache=$apt/cache"
    -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
  )
  # As root apt hands downloads to its _apt user, who may not write here.
  [ "$(id -u)" -eq 0 ] && options+=(-o APT::Sandbox::User=root)
  say "fetching $package's source package for $suite from $mirror"
  apt-get "${options[@]}" -qq update >&2
  (cd "$downloads" && apt-get "${options[@]}" -qq source --download-only "$package" >/dev/null)
  rm -rf "$apt"
  dsc=$(find "$downloads" -maxdepth 1 -name "${package}_*.dsc" | sort | tail -n 1)
  if [ -z "$dsc" ]; then
    say "no $package source package came from $mirror"
    exit 1
  fi
  echo "$dsc"
}

start=$(date +%s)
dsc=$(fetch_source)
version=$(sed -n 's/^Version: //p' "$dsc")
work=$deps/libjpeg-work
rm -rf "$work" "$prefix.new"
mkdir -p "$work"
trap 'rm -rf "$work" "$prefix.new"' EXIT
# The archive's checksums were checked by apt against the signed index.
dpkg-source --no-check -x "$dsc" "$work/src" >/dev/null

say "building $package $version for MinGW-w64"
cmake -S "$work/src" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD="debian-${version#*:}" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DWITH_JAVA=OFF \
  >"$work/configure.log" 2>&1 || {
  cat "$work/configure.log" >&2
  exit 1
}
cmake --build "$work/build" --target jpeg-static --parallel "${JOBS:-$(nproc)}" \
  >"$work/build.log" 2>&1 || {
  tail -n 40 "$work/build.log" >&2
  exit 1
}

# What an application needs: the library, the public headers, and the
# licence texts that a binary distribution has to carry.
new=$prefix.new
mkdir -p "$new/lib" "$new/include" "$new/share/doc"
cp "$work/build/libjpeg.a" "$new/lib/"
cp "$work/build/jconfig.h" "$work/src/jerror.h" "$work/src/jmorecfg.h" "$work/src/jpeglib.h" \
  "$new/include/"
cp "$work/src/LICENSE.md" "$work/src/README.ijg" "$new/share/doc/"
{
  echo "$recipe"
  echo "source: $(basename "$dsc") ($version)"
  echo "compiler: $(x86_64-w64-mingw32-gcc-posix --version | head -n 1)"
} >"$new/cardpush-recipe.txt"
rm -rf "$prefix"
mv "$new" "$prefix"
say "installed $package $version in $prefix ($(($(date +%s) - start)) s)"
