#!/usr/bin/env bash
# The Debian package and the install rules as a user meets them: the package builds, lintian
# finds no error, it installs exactly the expected files and the program runs from the PATH,
# removing the package leaves none of them, and cmake --install puts the same files and lists
# every one in its manifest.
#   tests/scripts/package_test.sh BUILD_DIR
# Installs into this machine when that is safe (root, no fotovane package, none of its files
# present); otherwise into a scratch root with dpkg --root.
set -euo pipefail

build=$(realpath "${1:?usage: package_test.sh BUILD_DIR}")
expected="/usr/bin/fotovane
/usr/libexec/xscreensaver/fotovane
/usr/libexec/xsecurelock/saver_fotovane
/usr/share/doc/fotovane/changelog.gz
/usr/share/doc/fotovane/copyright
/usr/share/man/man6/fotovane.6.gz
/usr/share/xscreensaver/config/fotovane.xml"
work=$(mktemp -d /tmp/fotovane-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # message command...
    local message=$1
    shift
    if "$@"; then echo "ok: $message"; else echo "FAILED: $message" >&2; failures=$((failures + 1)); fi
}
same() { [ "$1" = "$2" ] || { diff <(echo "$1") <(echo "$2") >&2; false; }; }
absent() { [ ! -e "$1" ] && [ ! -L "$1" ]; }

cmake --build "$build" --target package >"$work/package.log" 2>&1 || { cat "$work/package.log"; exit 1; }
deb=$(ls -t "$build"/fotovane_*_amd64.deb | head -n 1)
echo "package: $deb"

lint=0
lintian --fail-on error --display-info "$deb" >"$work/lintian.txt" 2>&1 || lint=$?
grep -v 'running with root privileges' "$work/lintian.txt" || true
check "lintian reports no error" [ "$lint" -eq 0 ]
check "the package holds the expected files" \
    same "$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\.||' | sort)" \
    "$(sort <<<"$expected")"
depends=$(dpkg-deb -f "$deb" Depends)
check "Depends names the libraries the program links ($depends)" \
    grep -q 'libjpeg62-turbo.*libx11-6' <<<"$depends"
check "Recommends a host" same "$(dpkg-deb -f "$deb" Recommends)" "xscreensaver | xsecurelock"

# Where to install, and how to remove.
target=""
for path in $expected; do
    absent "$path" || target=$work/root
done
[ "$(id -u)" -eq 0 ] || target=$work/root
known=$(dpkg-query -W -f='${db:Status-Status}' fotovane 2>/dev/null || true)
[ -z "$known" ] || [ "$known" = not-installed ] || target=$work/root
if [ -z "$target" ]; then
    echo "installing into this machine"
    # As the README has users do it; apt waits for another installer rather than failing.
    apt=(apt-get -y -qq -o DPkg::Lock::Timeout=600)
    dpkg=(dpkg)
    install=("${apt[@]}" --no-install-recommends install "$deb")
    remove=("${apt[@]}" remove fotovane)
else
    echo "installing into the scratch root $target"
    mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates"
    touch "$target/var/lib/dpkg/status" "$target/var/lib/dpkg/available"
    # The scratch root has no libraries, so nothing there satisfies Depends.
    dpkg=(dpkg --root="$target" --force-depends --force-not-root)
    install=("${dpkg[@]}" -i "$deb")
    remove=("${dpkg[@]}" --remove fotovane)
fi
logged() { "$@" >"$work/log.txt" 2>&1 || { cat "$work/log.txt" >&2; false; }; }
check "it installs" logged "${install[@]}"
listed=$("${dpkg[@]}" -L fotovane 2>/dev/null | while read -r p; do
    [ -d "$target$p" ] && [ ! -L "$target$p" ] || echo "$p"
done || true)
check "dpkg lists the expected files" same "$(sort <<<"$listed")" "$(sort <<<"$expected")"
for path in $expected; do
    check "installed: $path" [ -e "$target$path" ]
done
if [ -z "$target" ]; then
    # Standing in for a user who has no display: the program must load and say so.
    status=0
    HOME=$work XDG_CONFIG_HOME=$work/config env -u DISPLAY fotovane -window \
        >"$work/run.txt" 2>&1 || status=$?
    loads() { [ "$status" -ne 126 ] && [ "$status" -ne 127 ] && ! grep -q 'librar' "$work/run.txt"; }
    check "fotovane runs from the PATH (status $status: $(cat "$work/run.txt"))" loads
    if command -v man >/dev/null; then
        check "man finds its page" same "$(man -w fotovane)" /usr/share/man/man6/fotovane.6.gz
    fi
fi
check "removing it succeeds" logged "${remove[@]}"
for path in $expected /usr/share/doc/fotovane; do
    check "removed: $path" absent "$target$path"
done
if [ -n "$target" ]; then
    check "nothing but dpkg's records is left in the scratch root" \
        same "$(find "$target" -mindepth 1 -not -path "$target/var*")" ""
fi

# cmake --install puts the same files and lists each in its manifest.
DESTDIR=$work/stage cmake --install "$build" >/dev/null
check "cmake --install puts the package's files" \
    same "$(cd "$work/stage" && find . ! -type d | sed 's|^\.||' | sort)" "$(sort <<<"$expected")"
check "install_manifest.txt lists every one" \
    same "$(sort "$build/install_manifest.txt")" "$(sort <<<"$expected")"

[ "$failures" -eq 0 ]
