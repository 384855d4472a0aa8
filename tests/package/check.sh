#!/usr/bin/env bash
# The package stage: builds the Debian package and the Windows zip
# (scripts/package.sh) and uses them as a tester would. The Debian package:
# lintian, installed with apt, the utility lists the shipped countries from
# another folder, man pages and README, pkg-config, a C consumer built
# against it both ways, then purged and checked that nothing of it is left. The zip: unpacked
# into an empty folder, its text files checked, the countries listed from
# there under 32-bit Wine, and Wine's line shown when jqcpt.dll is missing.
#
# It installs into /usr: run it as root, last, while nothing else builds on
# this machine; the package is purged on every way out. Installs what it
# needs and lacks through scripts/prereqs.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
pkg=jqcpt
apt=(apt-get -o DPkg::Lock::Timeout=600 -y -q)
export DEBIAN_FRONTEND=noninteractive
unset JQCPT_COUNTRY_FILE LD_LIBRARY_PATH PKG_CONFIG_PATH CMAKE_PREFIX_PATH

fail() { echo "package: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || fail "installs a package into /usr: run it as root"
scripts/prereqs.sh tests/package/check.sh build tests package package-check windows
installed() { dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q '^install ok installed'; }
if installed; then
    fail "$pkg is installed on this machine already; remove it first (apt-get purge $pkg)"
fi

scripts/package.sh
deb=$(echo "dist/${pkg}_"*"_$(dpkg --print-architecture).deb")
zip=$(echo dist/*-win32.zip)
if ! [ -f "$deb" ] || ! [ -f "$zip" ]; then
    fail "scripts/package.sh left no .deb or no win32 zip in dist/"
fi

tmp=$(mktemp -d)
cleanup() {
    if installed; then "${apt[@]}" purge "$pkg" >/dev/null || true; fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The rows of a listing as "ID NAME", and those of the shipped country file.
rows() { tr -d '\r' | sed -n 's/^ *\(-\{0,1\}[0-9]\{1,\}\)  *\(.*[^ ]\) *$/\1 \2/p'; }
shipped=$(sed -e 's/^\xef\xbb\xbf//' -e 's/\r$//' jqcpt/src/jqcpt/countries.txt |
    awk '!/^[ \t]*(#|$)/ { id = $1 + 0; sub(/^[ \t]*[^ \t]+[ \t]+/, ""); sub(/[ \t]+$/, ""); print id " " $0 }')
lists_shipped() { # label transcript-file
    diff <(echo "$shipped") <(rows <"$2") >"$tmp/diff" ||
        { cat "$2" >&2; echo >&2; cat "$tmp/diff" >&2; fail "$1: the listing is not the shipped country file"; }
    echo "$1: lists the $(echo "$shipped" | wc -l) shipped countries"
}

echo "== lintian"
# Warnings kept, and why:
# - package-name-doesnt-match-sonames (libjqcpt2) and
#   link-to-shared-library-in-wrong-package (libjqcpt.so): one package holds
#   the utility, the library and what a developer builds against it, so that
#   a tester installs one file; Debian's own split would be three packages,
#   jqcpttst, libjqcpt2 and libjqcpt-dev.
# - maintscript-calls-ldconfig (postinst, postrm): the scripts CPack writes
#   and cannot leave out (cmake/packaging.cmake). With the trigger lintian
#   asks for, ldconfig merely runs twice; empty scripts of our own would
#   trade the warning for maintainer-script-empty.
kept=link-to-shared-library-in-wrong-package,package-name-doesnt-match-sonames,maintscript-calls-ldconfig
lintian --fail-on error,warning --suppress-tags "$kept" "$deb"

echo "== install with apt"
dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | grep -v '/$' >"$tmp/contents"
while read -r file; do
    if [ -e "$file" ] || [ -L "$file" ]; then
        fail "$file exists before the install: not overwriting it"
    fi
done <"$tmp/contents"
"${apt[@]}" install "./$deb" >/dev/null
installed || fail "$pkg is not installed after apt-get install"
dpkg -L "$pkg" >"$tmp/files"
version=$(dpkg-query -W -f='${Version}' "$pkg")
depends=$(dpkg-query -W -f='${Depends}' "$pkg")
[[ $depends == libc6* ]] || fail "Depends is '$depends', not from dpkg-shlibdeps"
apt-cache show "$pkg" >"$tmp/show"
while IFS= read -r line; do
    [ -z "$line" ] || grep -qxF " $line" "$tmp/show" || fail "apt shows no description line '$line'"
done <packaging/description.txt

echo "== /usr/bin/jqcpttst from another folder"
mkdir "$tmp/elsewhere"
cd "$tmp/elsewhere"
printf '1\n\n99\n' | /usr/bin/jqcpttst >"$tmp/native.txt" || fail "jqcpttst exited with $?"
lists_shipped "/usr/bin/jqcpttst" "$tmp/native.txt"
lib=$(ldd /usr/bin/jqcpttst | sed -n 's/^[[:space:]]*libjqcpt\.so\.2 => \([^ ]*\).*/\1/p')
grep -qxF "$(realpath -ms "$lib")" "$tmp/files" || fail "jqcpttst loads '$lib', not the package's library"
page=$(man -w jqcpttst) || fail "man finds no page for jqcpttst"
[ "$page" = /usr/share/man/man1/jqcpttst.1.gz ] || fail "man -w jqcpttst: $page"
zcat "$page" | grep -q '^\.TH JQCPTTST 1' || fail "$page is not the page"
[ "$(man -w jqcpt)" = /usr/share/man/man3/jqcpt.3.gz ] || fail "man -w jqcpt: $(man -w jqcpt)"
MANPAGER=cat MANWIDTH=200 man JQcpt_CountryList 2>&1 | grep -q '^ *int32_t JQcpt_CountryList(CountryEntry' ||
    fail "man JQcpt_CountryList does not show the library's page"
[ -s /usr/share/doc/$pkg/README ] || fail "no /usr/share/doc/$pkg/README"

echo "== a C consumer built against the package"
[ "$(pkg-config --modversion jqcpt)" = "$version" ] || fail "pkg-config --modversion jqcpt: not $version"
# /usr's own folders are the compiler's: pkg-config names none of them.
[ -z "$(pkg-config --cflags jqcpt | tr -d ' ')" ] || fail "pkg-config --cflags jqcpt: $(pkg-config --cflags jqcpt)"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Werror "$src/tests/install/consumer/consumer.c" -o "$tmp/with-pkg-config" \
    $(pkg-config --cflags --libs jqcpt)
"$tmp/with-pkg-config"
cmake -S "$src/tests/install/consumer" -B "$tmp/with-cmake" >/dev/null
cmake --build "$tmp/with-cmake" >/dev/null
"$tmp/with-cmake/consumer"
cd "$src"

echo "== purge"
"${apt[@]}" purge "$pkg" >/dev/null
! dpkg-query -W "$pkg" >/dev/null 2>&1 || fail "dpkg still knows $pkg after the purge"
left=0
while read -r path; do
    if [ -L "$path" ] || [ -f "$path" ]; then
        echo "left: $path" >&2; left=1
    elif [ -d "$path" ] && [ -z "$(ls -A "$path")" ] && ! dpkg -S "$path" >/dev/null 2>&1; then
        echo "left, empty: $path" >&2; left=1
    fi
done <"$tmp/files"
[ $left = 0 ] || fail "the purge left files of $pkg"
! ldconfig -p | grep -q libjqcpt || fail "ldconfig's cache still holds libjqcpt"
echo "purged: none of the $(wc -l <"$tmp/files") paths of $pkg is left"

echo "== the zip, unpacked into an empty folder, under 32-bit Wine"
mkdir "$tmp/unpacked"
unzip -q "$zip" -d "$tmp/unpacked"
top=$(ls "$tmp/unpacked")
[ "$(echo "$top" | wc -l)" = 1 ] || fail "the zip does not hold one folder: $top"
dir=$tmp/unpacked/$top
for file in bin/jqcpttst.exe bin/jqcpt.dll share/jqcpt/countries.txt include/jqcpt.h \
    include/jqcpttyp.h include/jqsys.h lib/libjqcpt.dll.a README.txt doc/jqcpttst.txt doc/jqcpt.txt; do
    [ -f "$dir/$file" ] || fail "the zip holds no $file"
done
for file in README.txt doc/jqcpttst.txt doc/jqcpt.txt share/jqcpt/countries.txt; do
    ! grep -qv $'\r$' "$dir/$file" || fail "$file has lines without CRLF"
done
grep -q 'JQCPTTST(1) *User Commands' "$dir/doc/jqcpttst.txt" || fail "doc/jqcpttst.txt is not the man page's text"
# The Windows text of the manuals, not the POSIX one.
if grep -n 'LD_LIBRARY_PATH\|/usr/' "$dir/README.txt" "$dir"/doc/*; then
    fail "the zip's documentation speaks of LD_LIBRARY_PATH or /usr/"
fi
cd "$dir"
printf '1\n\n99\n' | "$src/tests/windows/wine32.sh" bin/jqcpttst.exe >"$tmp/win32.txt" ||
    fail "bin/jqcpttst.exe under 32-bit Wine exited with $?"
mv bin/jqcpt.dll "$tmp/jqcpt.dll"
status=0
printf '99\n' | "$src/tests/windows/wine32.sh" bin/jqcpttst.exe >/dev/null 2>"$tmp/win32-nodll.txt" ||
    status=$?
mv "$tmp/jqcpt.dll" bin/jqcpt.dll
cd "$src"
lists_shipped "the unpacked bin/jqcpttst.exe" "$tmp/win32.txt"
[ $status != 0 ] || fail "bin/jqcpttst.exe without jqcpt.dll exited with 0"
grep -q 'jqcpt\.dll.*not found' "$tmp/win32-nodll.txt" ||
    fail "wine32.sh without jqcpt.dll says nothing of it: $(cat "$tmp/win32-nodll.txt")"
echo "without jqcpt.dll: status $status, $(grep -m1 'jqcpt\.dll' "$tmp/win32-nodll.txt")"
