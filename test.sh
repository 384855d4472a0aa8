#!/usr/bin/env bash
# Builds everything and runs every test. Under CI (CI=true) warnings are errors.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/prereqs.sh
prereqs_build
prereqs_tests
prereqs_report

preset=default
[ "${CI:-}" = true ] && preset=ci
cmake --preset "$preset"
cmake --build --preset "$preset" --parallel
ctest --preset "$preset" --parallel 2
