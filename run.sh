#!/usr/bin/env bash
# Installs the Debian packages building needs (scripts/prereqs.sh), builds the
# utility and its library, then starts it on the shipped country file.
set -euo pipefail
cd "$(dirname "$0")"
scripts/prereqs.sh ./run.sh build

cmake --preset run >/dev/null
cmake --build --preset run >/dev/null
exec ./build/run/bin/jqcpttst
