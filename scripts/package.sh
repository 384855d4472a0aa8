#!/usr/bin/env bash
# Builds the packages a tester installs into dist/: the Debian package for
# this machine's architecture (workflow preset deb) and the zip of the i686
# Windows build (workflow preset win32), each configured afresh.
#
# Installs what it needs and lacks through scripts/prereqs.sh (set package).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/prereqs.sh scripts/package.sh build package

rm -rf dist
(
    # The Debian package is compiled with the flags Debian builds its own
    # packages with, hardening included.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cppflags=$(dpkg-buildflags --get CPPFLAGS)
    CFLAGS="$cppflags $(dpkg-buildflags --get CFLAGS)"
    CXXFLAGS="$cppflags $(dpkg-buildflags --get CXXFLAGS)"
    LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
    export CFLAGS CXXFLAGS LDFLAGS
    cmake --workflow --preset deb --fresh
)
cmake --workflow --preset win32 --fresh
rm -rf dist/_CPack_Packages
ls -l dist
