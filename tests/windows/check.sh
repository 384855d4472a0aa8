#!/usr/bin/env bash
# The Windows stage: builds the mingw-x86 and mingw-x64 presets, checks both
# images' headers, imports, exports and version record, and runs the
# dialogue tests with the real jqcpt.dll and with the test double on the
# x86-64 build under wine64 and on the i686 build under 32-bit Wine
# (wine32.sh): where the kernel runs 32-bit code, both natively and under
# qemu-user, as on a machine where it does not. The expected transcripts are
# the native tests' own, each CR LF read as LF (an LF alone fails them).
#
# Installs what it needs and lacks through scripts/prereqs.sh (set windows);
# runs the native tests (NATIVE_PRESET: by default the preset test.sh uses).
# Under CI (CI=true) warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/prereqs.sh tests/windows/check.sh build tests windows

wine_dir=/usr/lib/wine
native=${NATIVE_PRESET:-default}
werror=OFF
if [ "${CI:-}" = true ]; then
    native=${NATIVE_PRESET:-ci}
    werror=ON
fi
for preset in "$native" mingw-x86 mingw-x64; do
    cmake --preset "$preset" -DJQCPT_WERROR=$werror >/dev/null
    cmake --build --preset "$preset" --parallel >/dev/null
done

echo "== i686 image"
tests/windows/check_image.sh build/mingw-x86/bin
echo "== x86-64 image"
tests/windows/check_image.sh build/mingw-x64/bin

echo "== dialogue tests under wine64 (x86-64 build)"
export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A persistent server saves a second of start-up on each of the runs. It is
# started once the prefix is there (made on first use), in place of any
# server already running for it; then a first run starts Wine's services
# with their output away from the tests' pipes, which they would hold open.
"$wine_dir/wine64" cmd /c exit >/dev/null 2>&1 || true
"$wine_dir/wineserver" -k >/dev/null 2>&1 || true
"$wine_dir/wineserver" -p >/dev/null 2>&1 </dev/null ||
    echo "No persistent wineserver: each run starts its own." >&2
trap '"$wine_dir/wineserver" -k >/dev/null 2>&1 || true' EXIT
"$wine_dir/wine64" cmd /c exit >/dev/null 2>&1 </dev/null || true

dialogue_tests() { # runner, build folder
    JQCPT_TEST_RUNNER=$1 \
    JQCPT_TEST_UTILITY="$PWD/build/$2/bin/jqcpttst.exe" \
    JQCPT_TEST_FAKE_UTILITY="$PWD/build/$2/tests/fake/bin/jqcpttst.exe" \
        "build/$native/tests/jqcpt_tests" --gtest_brief=1 \
        --gtest_filter='Menu.*:Pause.*:Report.*:Shipped.*:Pipes.*'
}
failed=()
dialogue_tests "$wine_dir/wine64" mingw-x64 || failed+=(x86-64)

# The i686 tests run as 32-bit Wine runs here by itself; where that is as the
# kernel starts it, they run once more with every 32-bit program under
# qemu-user, as they run where the kernel cannot. A binfmt_misc handler for
# qemu-i386, which the kernel consults before its own loader, is disabled
# for the first run, registered or enabled for the second, and put back as
# it was at the end.
handler=/proc/sys/fs/binfmt_misc/qemu-i386
was=$(sed -n 1p "$handler" 2>/dev/null || true)
restore() { case $was in enabled) echo 1 ;; disabled) echo 0 ;; *) echo -1 ;; esac; }
trap '{ [ ! -e "$handler" ] || restore >"$handler"; } 2>/dev/null || true
    "$wine_dir/wineserver" -k >/dev/null 2>&1 || true' EXIT
if [ "$was" = enabled ] && ! echo 0 2>/dev/null >"$handler"; then
    echo "The qemu-i386 handler cannot be disabled: the first i686 run goes through it." >&2
fi

echo "== dialogue tests under 32-bit Wine (i686 build)"
how=$(tests/windows/wine32.sh --setup)
echo "$how"
dialogue_tests "$PWD/tests/windows/wine32.sh" mingw-x86 || failed+=(i686)

if [[ $how == *"as the kernel"* ]]; then
    echo "== dialogue tests under 32-bit Wine through qemu-user (i686 build)"
    if [ "$(id -u)" != 0 ]; then
        echo "Not run: only root can register a binfmt_misc handler." >&2
    elif WINE32_MODE=binfmt tests/windows/wine32.sh --setup; then
        WINE32_MODE=binfmt dialogue_tests "$PWD/tests/windows/wine32.sh" mingw-x86 ||
            failed+=("i686 through qemu-user")
    else
        failed+=("i686 through qemu-user (no handler)")
    fi
fi

if [ ${#failed[@]} -gt 0 ]; then
    echo "Dialogue tests failed under Wine: ${failed[*]}" >&2
    exit 1
fi
