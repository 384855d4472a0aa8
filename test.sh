#!/usr/bin/env bash
# Installs the Debian packages the tests need (scripts/prereqs.sh), builds
# everything and runs every test. Under CI (CI=true) warnings are errors.
set -euo pipefail
cd "$(dirname "$0")"
scripts/prereqs.sh ./test.sh build tests

preset=default
[ "${CI:-}" = true ] && preset=ci
cmake --preset "$preset"
cmake --build --preset "$preset" --parallel
ctest --preset "$preset" --parallel 2
