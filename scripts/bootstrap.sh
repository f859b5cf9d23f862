#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine, and
# cross-builds libjpeg-turbo for MinGW-w64 from Debian's own source package.
#   scripts/bootstrap.sh [--linux]
#   --linux   only what building, packaging and running the Linux saver needs: no MinGW, no
#             Wine, no source download
# Work already done is skipped; the machine's apt configuration is never edited. Wine is
# installed with its recommended libraries: without them its input and display differ.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache="$root/.cache"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

linux_only=0
case "${1:-}" in
  --linux) linux_only=1 ;;
  "") ;;
  *) echo "usage: bootstrap.sh [--linux]" >&2; exit 2 ;;
esac

# The Linux saver's build and package, and what run-saver.sh uses to show it: sample
# pictures, a private X server and screenshots.
linux_packages=(
  g++ cmake ninja-build dpkg-dev python3 libjpeg62-turbo-dev libjpeg-turbo-progs
  libx11-dev libxext-dev libxrandr-dev libxinerama-dev xvfb xdotool imagemagick
)
packages=(
  "${linux_packages[@]}"
  clang libclang-rt-14-dev clang-format file libgtest-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools nasm lintian
  wine wine64 x11-apps
  xscreensaver xsecurelock python3-xlib x11-utils x11-xserver-utils xauth procps passwd
)
[ "$linux_only" -eq 0 ] || packages=("${linux_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  $sudo apt-get update -qq
  # Another installer may hold dpkg's lock for a while: wait for it rather than fail.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=600 \
    "${missing[@]}" >/dev/null
fi

[ "$linux_only" -eq 0 ] || exit 0

# libjpeg-turbo for MinGW-w64, static, from the same Debian source the native build uses.
prefix="$cache/mingw-w64/libjpeg-turbo"
if [ ! -f "$prefix/lib/libjpeg.a" ] || [ ! -f "$prefix/include/jpegint.h" ]; then
  work="$cache/src"
  rm -rf "$work"
  mkdir -p "$work/apt/lists/partial" "$work/apt/archives/partial"
  sources="$work/apt/sources.list"
  : >"$sources"
  # deb-src lines from the machine's own sources, in either of apt's two formats.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '
      function flush() { if (uris != "" && deb) { n = split(suites, s, " "); for (i = 1; i <= n; i++) print "deb-src " opts uris " " s[i] " " comps } uris=""; suites=""; comps=""; deb=0; opts="" }
      /^[[:space:]]*$/ { flush(); next }
      /^Types:/ { deb = ($0 ~ /deb([[:space:]]|$)/) }
      /^URIs:/ { sub(/^URIs:[[:space:]]*/, ""); uris=$0 }
      /^Suites:/ { sub(/^Suites:[[:space:]]*/, ""); suites=$0 }
      /^Components:/ { sub(/^Components:[[:space:]]*/, ""); comps=$0 }
      /^Signed-By:/ { sub(/^Signed-By:[[:space:]]*/, ""); opts="[signed-by=" $0 "] " }
      END { flush() }' "$f" >>"$sources"
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >>"$sources"
  fi
  aptopts=(-o Dir::Etc::SourceList="$sources" -o Dir::Etc::SourceParts=/nonexistent
           -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache::Archives="$work/apt/archives")
  apt-get "${aptopts[@]}" update -qq
  (cd "$work" && apt-get "${aptopts[@]}" source -qq libjpeg-turbo >/dev/null)
  srcdir=$(find "$work" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
  [ -n "$srcdir" ] || { echo "bootstrap: libjpeg-turbo source not unpacked" >&2; exit 1; }
  cmake -S "$srcdir" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF -Wno-dev >/dev/null
  cmake --build "$work/build" -j2 --target install >/dev/null
  cp "$srcdir/jpegint.h" "$prefix/include/"
  rm -rf "$work"
  echo "bootstrap: libjpeg-turbo for MinGW-w64 in $prefix"
fi
