#!/usr/bin/env bash
# The project's test command: installs what is missing, builds every preset and runs every
# test: natively, the Debian package (installed and removed again), under the sanitizers, a
# short fuzzing run, the Windows build under Wine on a private X server at each display depth
# the tests care about, and last the check that the Windows and Linux savers draw the same
# first frame.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/bootstrap.sh

passed=0
failed=0
log=$(mktemp /tmp/fotovane-test.XXXXXX)
trap 'rm -f "$log"' EXIT

# Runs one ctest invocation, shows its output and adds its counts to the totals.
run_ctest() {
    local status=0
    "$@" 2>&1 | tee "$log" || status=$?
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
    if [ -n "$line" ]; then
        local total bad
        total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
        bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
        passed=$((passed + total - bad))
        failed=$((failed + bad))
    elif [ "$status" -ne 0 ]; then
        failed=$((failed + 1))
    fi
    [ "$status" -eq 0 ] || echo "test.sh: '$*' failed" >&2
}

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

echo "== Native build and tests"
build linux
run_ctest ctest --preset linux -j2

echo "== The Debian package: build, lintian, install, remove"
if bash tests/scripts/package_test.sh build/linux; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
    echo "test.sh: the package check failed" >&2
fi

echo "== Sanitizer build and tests"
build linux-asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest ctest --preset linux-asan -j2

echo "== Fuzzing, briefly"
build linux-fuzz
run_ctest ctest --test-dir build/linux-fuzz/tools/fuzz --output-on-failure

echo "== Windows build, tests under Wine"
build windows
run_ctest scripts/with-wine.sh --size 1024x768x24 ctest --preset windows
# Programs labelled screen-depths run again at 16 and 8 bits.
for depth in 16 8; do
    if ctest --preset windows -N -L screen-depths | grep -q 'Total Tests: [1-9]'; then
        run_ctest scripts/with-wine.sh --size 1024x768x$depth \
            ctest --preset windows -L screen-depths
    fi
done

echo "== The Windows and Linux savers draw the same first frame"
# Needs both builds; the Linux saver runs on the Wine test's X server after Fotovane.scr.
for depth in 24 16; do
    status=0
    scripts/with-wine.sh --size 1024x768x$depth /usr/bin/python3 -B tests/x11/cross_test.py \
        build/windows/Fotovane.scr build/linux/fotovane build/cross-front-end-$depth || status=$?
    case $status in
        0) passed=$((passed + 1)) ;;
        77) echo "test.sh: the cross-front-end check at depth $depth was skipped" ;;
        *) failed=$((failed + 1)); echo "test.sh: the cross-front-end check at depth $depth failed" >&2 ;;
    esac
done

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
