#!/usr/bin/env bash
# Builds the packages a tester installs into dist/: the Debian package for
# this machine's architecture (workflow preset deb) and the zip of the i686
# Windows build (workflow preset win32), each configured afresh.
#
# Needs, besides what building needs: dpkg-dev and file (dpkg-shlibdeps,
# dpkg-buildflags, and CPack's look at the binaries), g++-mingw-w64-i686.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/prereqs.sh
prereqs_build
command -v dpkg-shlibdeps >/dev/null 2>&1 ||
    prereqs_missing+=("dpkg-shlibdeps and dpkg-buildflags (Debian package: dpkg-dev)")
command -v file >/dev/null 2>&1 || prereqs_missing+=("file (Debian package: file)")
command -v i686-w64-mingw32-g++ >/dev/null 2>&1 ||
    prereqs_missing+=("MinGW-w64 for i686 (Debian package: g++-mingw-w64-i686)")
prereqs_report

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
