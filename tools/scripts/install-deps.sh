#!/usr/bin/env bash
# Installs the build and test dependencies that a fresh Debian 12 machine lacks.
set -euo pipefail

# Prints the packages of the arguments that are not installed.
missing_of() {
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
    done
}

# Installs the given packages (quietly); fails when apt-get does.
install() {
    local SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$@" >/dev/null
}

mapfile -t missing < <(missing_of cmake ninja-build g++ clang libgtest-dev libgmock-dev \
    libbenchmark-dev)
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    install "${missing[@]}"
fi

# The Windows cross build and its tests under Wine. Optional: without them the Windows check
# reports itself skipped, so a failure here only warns.
mapfile -t missing < <(missing_of g++-mingw-w64-x86-64-posix wine wine64 googletest)
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing for the Windows build: ${missing[*]}"
    install "${missing[@]}" ||
        echo "warning: could not install ${missing[*]}; the Windows build will be skipped" >&2
fi
