#!/usr/bin/env bash
# Installs the Debian packages a command needs and lacks, saying first which
# and why: as root directly, as another user through sudo when it is there;
# otherwise names them and fails.
#   scripts/prereqs.sh WHO SET...   e.g. scripts/prereqs.sh ./test.sh build tests
# WHO names the command in the messages; each SET picks the lines of the
# table below: build (run.sh), tests (test.sh), package (scripts/package.sh),
# windows (tests/windows/check.sh), package-check (tests/package/check.sh),
# ci (the rest of .ci/run). A line may belong to several: package,windows.
set -euo pipefail

# One line a package: its set, the Debian package (NAME:ARCH for another
# architecture), what shows it is there (a command, an /absolute/path, a
# check_ function below, or - to ask dpkg; a|b for either), what it is for.
table() {
    cat <<'EOF'
build cmake                  check_cmake            CMake 3.25 or later
build make                   make                   make, which the presets' generator runs
build g++                    check_cxx17            a C++17 compiler
tests libgtest-dev           /usr/include/gtest/gtest.h|/usr/local/include/gtest/gtest.h GoogleTest
tests pkgconf                pkg-config             pkg-config, for the install test
ci    clang                  clang                  clang, for the fuzzers
ci    libclang-rt-14-dev     /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a libFuzzer
ci    clang-format           clang-format           the style check
ci    clang-tidy             clang-tidy             the static checks
ci    cppcheck               cppcheck               the static checks
ci    musl-dev               -                      musl's C headers, for the static checks
ci    strace                 strace                 the benchmark's counts
ci    valgrind               valgrind               the benchmark's instruction counts
package,windows g++-mingw-w64-i686 i686-w64-mingw32-g++ the Windows build (i686)
windows g++-mingw-w64-x86-64 x86_64-w64-mingw32-g++ the Windows build (x86-64)
windows wine64               /usr/lib/wine/wine64   the Windows tests
windows libimage-exiftool-perl exiftool             the Windows image checks
ci    debootstrap            debootstrap            the bare Debian stage
windows wine32:i386          /usr/lib/wine/wine     the Windows tests (i686)
windows wine32-preloader:i386 /usr/lib/wine/wine-preloader the Windows tests (i686)
windows qemu-user-static     qemu-i386-static       the i686 tests where the kernel runs no 32-bit code
package dpkg-dev            dpkg-shlibdeps         the Debian package's dependencies and build flags
package file                 file                   CPack's look at the binaries
package groff-base           groff                  the zip's man pages as text
package-check lintian          lintian                the package checks
package-check man-db           man                    the package checks
package-check unzip            unzip                  the Windows zip's check
EOF
}

check_cmake() {
    command -v cmake >/dev/null 2>&1 || return 1
    local version
    version=$(cmake --version | sed -n '1s/[^0-9]*\([0-9][0-9.]*\).*/\1/p')
    printf '3.25\n%s\n' "$version" | sort -V -C
}

check_cxx17() {
    printf 'int main() { if constexpr (true) return 0; }\n' |
        "${CXX:-c++}" -std=c++17 -x c++ - -o /dev/null >/dev/null 2>&1
}

present() { # package check
    local alt alts
    IFS='|' read -ra alts <<<"$2"
    for alt in "${alts[@]}"; do
        case $alt in
        -) dpkg-query -W -f '${db:Status-Abbrev}' "$1" 2>/dev/null | grep -q '^ii' ;;
        /*) [ -e "$alt" ] ;;
        check_*) "$alt" ;;
        *) command -v "$alt" >/dev/null 2>&1 ;;
        esac && return 0
    done
    return 1
}

who=$1
shift
missing=() # Debian packages
reasons=() # what each is for
find_missing() {
    missing=() reasons=()
    local set pkg check what
    while read -r set pkg check what; do
        local one wanted=false
        for one in ${set//,/ }; do
            [[ " $* " == *" $one "* ]] && wanted=true
        done
        $wanted || continue
        present "$pkg" "$check" || { missing+=("$pkg") reasons+=("$what"); }
    done < <(table)
}

new_archs() { # the architectures of the missing packages dpkg does not know yet
    local known pkg
    known=" $(dpkg --print-architecture 2>/dev/null) $(dpkg --print-foreign-architectures 2>/dev/null | tr '\n' ' ') "
    for pkg in "${missing[@]}"; do
        if [[ $pkg == *:* && $known != *" ${pkg##*:} "* ]]; then echo "${pkg##*:}"; fi
    done | sort -u
}

give_up() {
    echo "Missing prerequisites:" >&2
    for i in "${!missing[@]}"; do
        echo "  - ${reasons[$i]} (Debian package: ${missing[$i]})" >&2
    done
    local archs
    archs=$(new_archs | sed 's/^/dpkg --add-architecture /; s/$/ \&\& /' | tr -d '\n')
    echo "On Debian: ${archs}apt-get update && apt-get install ${missing[*]}" >&2
    exit 1
}

find_missing "$@"
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    give_up
fi
command -v apt-get >/dev/null 2>&1 || give_up

echo "$who needs these Debian packages, which are missing; installing them${as_root[*]:+ through sudo}:" >&2
for i in "${!missing[@]}"; do
    printf '  %-24s %s\n' "${missing[$i]}" "${reasons[$i]}" >&2
done
# sudo asks for a password once at most, here; when it cannot, say so once.
if [ ${#as_root[@]} -gt 0 ] && ! sudo -n true 2>/dev/null && ! sudo -v; then
    give_up
fi

apt_get() { "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -q "$@" >&2; }

# The package lists are fetched once: when there are none, when the newest is
# over a day old, when an architecture is added, or when one of the packages
# is not in them; or after an install that failed on lists the mirror has
# moved past.
updated=false
update() { apt_get update && updated=true; }
for arch in $(new_archs); do
    "${as_root[@]}" dpkg --add-architecture "$arch"
    updated=pending
done
if [ "$updated" = pending ] ||
    [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*_Packages*' -mmin -1440 2>/dev/null)" ] ||
    ! apt-get -s -q install "${missing[@]}" >/dev/null 2>&1; then
    update || true
fi
install_missing() { apt_get install -y --no-install-recommends "$@" "${missing[@]}"; }
if ! install_missing && [ "$updated" != true ]; then
    update && install_missing || true
fi
# A mirror caught mid-sync may serve one architecture's security updates and
# not the other's; a package built for both (libwine's dependencies) then has
# two versions and cannot be installed. The release's own versions match.
codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
find_missing "$@"
if [ ${#missing[@]} -gt 0 ] && [ -n "$codename" ]; then
    echo "Installing from $codename itself, without its later updates:" >&2
    install_missing -t "$codename" || true
fi

find_missing "$@"
[ ${#missing[@]} -eq 0 ] || give_up
