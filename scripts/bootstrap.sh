#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine, and cross-builds
# the picture libraries (JPEG, PNG, WebP, HEIF) for MinGW-w64 from Debian's own source packages.
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
  g++ cmake ninja-build dpkg-dev python3 pkg-config libjpeg62-turbo-dev libjpeg-turbo-progs
  libpng-dev libwebp-dev libheif-dev libheif-examples webp netpbm
  libx11-dev libxext-dev libxrandr-dev libxinerama-dev xvfb xdotool imagemagick
)
packages=(
  "${linux_packages[@]}"
  clang libclang-rt-14-dev clang-format file libgtest-dev googletest libbenchmark-dev
  libheif-examples webp netpbm g++-mingw-w64-x86-64-posix mingw-w64-tools nasm lintian
  wine wine64 x11-apps wixl
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
else
  echo "bootstrap: all packages present"
fi

[ "$linux_only" -eq 0 ] || exit 0

# Static libraries for MinGW-w64, each cross-built from the Debian source package the
# native build uses, into .cache/mingw-w64/<name>. One block, so a native-only run can skip it.
srcwork="$cache/src"
aptopts=()
built=0  # how many libraries this run built

# A private apt state serving deb-src lines made from the machine's own sources, in either
# of apt's two formats; set up once, and only when something is to be built.
debian_sources() {
  [ ${#aptopts[@]} -eq 0 ] || return 0
  mkdir -p "$srcwork/apt/lists/partial" "$srcwork/apt/archives/partial"
  local sources="$srcwork/apt/sources.list" f
  : >"$sources"
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
           -o Dir::State::Lists="$srcwork/apt/lists" -o Dir::Cache::Archives="$srcwork/apt/archives")
  apt-get "${aptopts[@]}" update -qq
}

# mingw_build NAME SOURCE-PACKAGE RESULT [--header FILE]... [--expect TEXT] [--configure] [OPTION...]
# Unless .cache/mingw-w64/NAME/RESULT exists: fetches the Debian source (Debian's patches applied),
# configures it for MinGW-w64 with its own CMake (or with its configure script, told the target by
# CHOST and the tool variables), checks the configure output holds TEXT, installs it there and
# adds source-tree headers its install step leaves out. OPTIONs name the dependencies' files.
mingw_build() {
  local name=$1 package=$2 result=$3 headers=() expect="" configure=""
  shift 3
  while [ "${1:-}" = --header ]; do headers+=("$2"); shift 2; done
  [ "${1:-}" != --expect ] || { expect=$2; shift 2; }
  [ "${1:-}" != --configure ] || { configure=1; shift; }
  local prefix="$cache/mingw-w64/$name"
  [ -f "$prefix/$result" ] && return 0
  debian_sources
  local work="$srcwork/$name" start=$SECONDS srcdir
  rm -rf "$work" "$prefix"
  mkdir -p "$work"
  # The newest version first; a mirror that lacks it (security updates are served from another
  # archive) leaves the next one, which is said once, plainly, as nothing is wrong.
  local version versions fetched="" newest=""
  versions=$(apt-cache "${aptopts[@]}" showsrc "$package" | sed -n 's/^Version: //p' | sort -Vru)
  for version in $versions; do
    newest=${newest:-$version}
    if (cd "$work" && apt-get "${aptopts[@]}" source -qq "$package=$version" \
        >"$work/fetch.log" 2>&1); then
      fetched=$version
      break
    fi
    find "$work" -mindepth 1 -maxdepth 1 -type d -exec rm -rf {} +
  done
  if [ -z "$fetched" ]; then
    echo "bootstrap: no source of $package could be fetched (tried ${versions//$'\n'/, }):" >&2
    cat "$work/fetch.log" >&2 2>/dev/null || true
    exit 1
  fi
  if [ "$fetched" != "$newest" ]; then
    echo "bootstrap: $package: source $fetched (the newer $newest is listed but not served" \
      "by this mirror; nothing is wrong)"
  fi
  srcdir=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  [ -n "$srcdir" ] || { echo "bootstrap: $package source not unpacked" >&2; exit 1; }
  # Dependencies are named by the caller; pkg-config sees the earlier prefixes only, never the
  # build machine's own libraries.
  local pcdirs="" dep
  for dep in "$cache"/mingw-w64/*/; do pcdirs="$pcdirs${pcdirs:+:}${dep}lib/pkgconfig"; done
  if [ -n "$configure" ]; then
    (cd "$srcdir" && CHOST=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix \
      AR=x86_64-w64-mingw32-ar RANLIB=x86_64-w64-mingw32-ranlib \
      ./configure --prefix="$prefix" "$@") >"$work/configure.log" 2>&1 ||
      { cat "$work/configure.log" >&2; exit 1; }
    make -C "$srcdir" -j2 install >"$work/build.log" 2>&1 ||
      { tail -n 40 "$work/build.log" >&2; exit 1; }
  else
    PKG_CONFIG_LIBDIR="$pcdirs" PKG_CONFIG_PATH="" PKG_CONFIG_SYSROOT_DIR="" \
      cmake -S "$srcdir" -B "$work/build" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF \
      --no-warn-unused-cli -Wno-dev "$@" >"$work/configure.log" 2>&1 ||
      { cat "$work/configure.log" >&2; exit 1; }
    cmake --build "$work/build" -j2 --target install >"$work/build.log" 2>&1 ||
      { tail -n 40 "$work/build.log" >&2; exit 1; }
  fi
  # A dependency its configure step did not find would only show as a missing codec at run time.
  if [ -n "$expect" ] && ! grep -qF "$expect" "$work/configure.log"; then
    echo "bootstrap: $name configured without \"$expect\"" >&2
    exit 1
  fi
  for dep in "${headers[@]}"; do cp "$srcdir/$dep" "$prefix/include/"; done
  [ -f "$prefix/$result" ] || { echo "bootstrap: $name built without $result" >&2; exit 1; }
  rm -rf "$work"
  built=$((built + 1))
  echo "bootstrap: $name for MinGW-w64 in $prefix ($((SECONDS - start)) s)"
}

mingw_build libjpeg-turbo libjpeg-turbo include/jpegint.h --header jpegint.h \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF
# Debian's zlib source lacks the Windows resources its CMake build wants for the DLL.
mingw_build zlib zlib lib/libz.a --configure --static
zlib="$cache/mingw-w64/zlib"
mingw_build libpng libpng1.6 lib/libpng16.a \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DZLIB_LIBRARY="$zlib/lib/libz.a" -DZLIB_INCLUDE_DIR="$zlib/include"
mingw_build libwebp libwebp lib/libwebpdemux.a \
  -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF \
  -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
  -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_LIBWEBPMUX=OFF -DWEBP_BUILD_WEBPMUX=OFF \
  -DWEBP_BUILD_EXTRAS=OFF
mingw_build libde265 libde265 lib/libde265.a \
  -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF
# HEVC through libde265 only: every encoder and AV1 codec would be one more library.
de265="$cache/mingw-w64/libde265"
mingw_build libheif libheif lib/libheif.a --expect "libde265 (HEIC decoder): found (built-in)" \
  -DLIBDE265_INCLUDE_DIR="$de265/include" -DLIBDE265_LIBRARY="$de265/lib/libde265.a" \
  -DWITH_LIBDE265=ON -DWITH_LIBDE265_PLUGIN=OFF -DWITH_X265=OFF -DWITH_DAV1D=OFF \
  -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF \
  -DENABLE_PLUGIN_LOADING=OFF -DWITH_EXAMPLES=OFF
[ "$built" -gt 0 ] || echo "bootstrap: MinGW-w64 libraries present in $cache/mingw-w64"
rm -rf "$srcwork"
