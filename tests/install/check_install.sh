#!/usr/bin/env bash
# Installs the build in $1 into a temporary prefix, moves the prefix, and
# checks from there: the layout, a listing by the utility on the shipped
# country file, and a C consumer built with find_package and with pkg-config.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
unset JQCPT_COUNTRY_FILE

cmake --install "$build" --prefix "$tmp/first" >/dev/null
mv "$tmp/first" "$tmp/moved"
prefix=$tmp/moved
libdir=$(dirname "$(find "$prefix" -name libjqcpt.so.2 | head -1)")

for file in bin/jqcpttst include/jqcpt.h include/jqcpttyp.h include/jqsys.h \
    share/jqcpt/countries.txt share/man/man1/jqcpttst.1; do
    [ -e "$prefix/$file" ] || { echo "missing: $file" >&2; exit 1; }
done
for file in libjqcpt.so libjqcpt.so.2 libjqcpt.so.2.50.6.14 pkgconfig/jqcpt.pc \
    cmake/jqcpt/jqcptConfig.cmake; do
    [ -e "$libdir/$file" ] || { echo "missing: $libdir/$file" >&2; exit 1; }
done
[ "$(readlink "$libdir/libjqcpt.so.2")" = libjqcpt.so.2.50.6.14 ] || { echo "SONAME link" >&2; exit 1; }

echo "== the moved utility lists the shipped countries"
out=$(printf '1\n\n99\n' | "$prefix/bin/jqcpttst")
grep -qF "     384                 Côte d'Ivoire" <<<"$out" ||
    { echo "no listing from the moved install:" >&2; echo "$out" >&2; exit 1; }

echo "== find_package(jqcpt)"
cmake -S "$here/consumer" -B "$tmp/with-cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$tmp/with-cmake" >/dev/null
"$tmp/with-cmake/consumer"

echo "== pkg-config jqcpt"
export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion jqcpt)" = 2.50.6.14 ] || { echo "pkg-config version" >&2; exit 1; }
# shellcheck disable=SC2046
cc -std=c11 -Wall -Werror "$here/consumer/consumer.c" -o "$tmp/with-pkg-config" \
    $(pkg-config --cflags --libs jqcpt) -Wl,-rpath,"$(pkg-config --variable=libdir jqcpt)"
"$tmp/with-pkg-config"
echo "install: ok"
