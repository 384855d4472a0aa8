#!/usr/bin/env bash
# Static checks of our own code: the clang-format style, clang-tidy (checks
# in .clang-tidy), cppcheck (checks chosen below) and the product's POSIX
# sources against musl's C headers. Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in clang-format clang-tidy cppcheck; do
    command -v $tool >/dev/null 2>&1 || { echo "$tool is missing (Debian package: $tool)" >&2; exit 1; }
done

echo "== clang-format"
git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

echo "== clang-tidy"
cmake --preset default >/dev/null # for compile_commands.json
clang-tidy -p build/default --quiet jqcpt/src/jqcpt/jqcpt.cpp jqcpt/src/jqcpt/jqcpt_posix.cpp \
    jqcpt/src/jqcpttst/jqcpttst.cpp jqcpt/src/jqcpttst/console.cpp \
    jqcpt/src/jqcpttst/console_posix.cpp jqcpt/src/jqcpttst/guard.cpp \
    jqcpt/src/jqcpttst/guard_posix.cpp tests/fake/fakejqcpt.c

# Both configurations; the Windows code is in files of its own, checked
# without windows.h either way.
echo "== cppcheck"
for config in "--platform=unix64" "--platform=win32W -D_WIN32"; do
    # shellcheck disable=SC2086
    cppcheck --enable=warning,style,performance,portability --inline-suppr --error-exitcode=1 \
        --quiet --std=c++17 $config -I jqcpt/include -I build/default/jqcpt/generated \
        -DJQCPT_BUILDING -DJQCPT_DATA_RELPATH='"../share/jqcpt/countries.txt"' \
        jqcpt/src tests/fake
done
# Every non-Windows source of the product, compiled by the build's own
# command (compile_commands.json) against musl's C headers (Debian's
# musl-dev) instead of glibc's. The compiler's C++ headers stay, over
# musl's; their configuration is glibc's and asks __GLIBC_PREREQ, which
# musl lacks: it is told that no glibc is there.
echo "== musl"
musl=/usr/include/$(gcc -dumpmachine | sed 's/-gnu$/-musl/')
[ -f "$musl/stdio.h" ] || { echo "musl's C headers are missing (Debian package: musl-dev)" >&2; exit 1; }
commands=build/default/compile_commands.json
for source in $(git ls-files 'jqcpt/src/*.cpp' | grep -v '_windows\.cpp$'); do
    entry=$(grep -B2 "^  \"file\": \"$PWD/$source\",\?\$" $commands) ||
        { echo "musl: $source is not in $commands" >&2; exit 1; }
    directory=$(sed -n 's/^  "directory": "\(.*\)",$/\1/p' <<<"$entry")
    command=$(sed -n 's/^  "command": "\(.*\)",$/\1/p' <<<"$entry" | sed 's/\\\(.\)/\1/g')
    eval "set -- $command"
    compiler=$1 flags=()
    shift
    while [ $# -gt 0 ]; do
        case $1 in
        -o) shift ;;
        -c) ;;
        *) flags+=("$1") ;;
        esac
        shift
    done
    dirs=() # the compiler's own, less glibc's
    while read -r dir; do
        case $dir in /usr/include | /usr/local/include | /usr/include/*-linux-gnu) ;; *) dirs+=(-isystem "$dir") ;; esac
    done < <("$compiler" -xc++ -E -v /dev/null 2>&1 | sed -n '/^#include <\.\.\.>/,/^End of search list/p' | grep '^ ')
    (cd "$directory" && "$compiler" "${flags[@]}" -fsyntax-only -Werror -nostdinc "${dirs[@]}" \
        -isystem "$musl" '-D__GLIBC_PREREQ(major, minor)=0')
    echo "musl: $source"
done
echo "lint: clean"
