#!/usr/bin/env bash
# Static checks of our own code: the clang-format style, clang-tidy (checks
# in .clang-tidy) and cppcheck (checks chosen below). Fails on any finding.
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
    jqcpt/src/jqcpttst/console_posix.cpp tests/fake/fakejqcpt.c

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
echo "lint: clean"
