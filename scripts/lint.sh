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
    jqcpt/src/jqcpttst/jqcpttst.cpp tests/fake/fakejqcpt.c

echo "== cppcheck"
cppcheck --enable=warning,style,performance,portability --inline-suppr --error-exitcode=1 \
    --quiet --std=c++17 -I jqcpt/include -I build/default/jqcpt/generated \
    -DJQCPT_BUILDING -DJQCPT_DATA_RELPATH='"../share/jqcpt/countries.txt"' \
    jqcpt/src tests/fake
echo "lint: clean"
