# Checks what building needs and names the Debian package for anything missing.
# Sourced by run.sh and test.sh: prereqs_build, then prereqs_tests for the tests.

prereqs_missing=()

prereqs_build() {
    if ! command -v cmake >/dev/null 2>&1; then
        prereqs_missing+=("CMake 3.25 or later (Debian package: cmake)")
    else
        local version
        version=$(cmake --version | sed -n '1s/[^0-9]*\([0-9][0-9.]*\).*/\1/p')
        if ! printf '3.25\n%s\n' "$version" | sort -V -C; then
            prereqs_missing+=("CMake 3.25 or later, found $version (Debian package: cmake)")
        fi
    fi
    if ! command -v make >/dev/null 2>&1 && ! command -v ninja >/dev/null 2>&1; then
        prereqs_missing+=("a build tool (Debian package: make)")
    fi
    local cxx=${CXX:-c++}
    if ! printf 'int main() { if constexpr (true) return 0; }\n' |
        "$cxx" -std=c++17 -x c++ - -o /dev/null >/dev/null 2>&1; then
        prereqs_missing+=("a C++17 compiler (Debian package: g++)")
    fi
}

prereqs_tests() {
    if [ ! -f /usr/include/gtest/gtest.h ] && [ ! -f /usr/local/include/gtest/gtest.h ]; then
        prereqs_missing+=("GoogleTest (Debian package: libgtest-dev)")
    fi
    if ! command -v pkg-config >/dev/null 2>&1; then
        prereqs_missing+=("pkg-config, for the install test (Debian package: pkgconf)")
    fi
}

prereqs_report() {
    if [ ${#prereqs_missing[@]} -gt 0 ]; then
        echo "Missing prerequisites:" >&2
        printf '  - %s\n' "${prereqs_missing[@]}" >&2
        echo "On Debian: apt-get install cmake make g++ libgtest-dev pkgconf" >&2
        exit 1
    fi
}
