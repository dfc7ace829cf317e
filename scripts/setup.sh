# Sourced by the run and test commands: installs what is missing from Debian's packages.
# shellcheck shell=bash

quillrun_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# ensure_packages PACKAGE...: apt-get installs those not yet installed (sudo when not root).
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    ((${#missing[@]} == 0)) && return 0
    local sudo=()
    ((EUID == 0)) || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
        "${missing[@]}" >/dev/null
}

# What building quillrun.exe and running it under Wine need (locales: see ensure_japanese_locale;
# the Japanese font renders the browse button's caption, see cmake/wine-session.sh).
windows_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix wine wine64 fonts-wine xvfb locales
    fonts-ipafont-gothic)
# What the run command's screenshots need.
screenshot_packages=(imagemagick)
# What the native unit tests need besides.
native_packages=(cmake ninja-build g++ libgtest-dev googletest clang-tidy)
# The fuzz targets: clang with libFuzzer and the sanitizer runtimes.
fuzz_packages=(clang libclang-rt-14-dev)

build_preset() {  # build_preset NAME [TARGET...]
    local preset=$1
    shift
    cmake --preset "$preset" -S "$quillrun_root" >/dev/null
    local targets=()
    (($# > 0)) && targets=(--target "$@")
    cmake --build --preset "$preset" "${targets[@]}"
}

# Wine takes a program's ANSI code page from the Linux locale it starts in; the tests that type
# Shift_JIS files run Quillrun in ja_JP.UTF-8, which must therefore exist.
ensure_japanese_locale() {
    locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' && return 0
    local sudo=()
    ((EUID == 0)) || sudo=(sudo)
    "${sudo[@]}" localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
}
