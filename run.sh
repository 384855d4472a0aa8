#!/usr/bin/env bash
# Builds the utility and its library, then starts it on the shipped country file.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/prereqs.sh
prereqs_build
prereqs_report

cmake --preset run >/dev/null
cmake --build --preset run >/dev/null
exec ./build/run/bin/jqcpttst
