#!/usr/bin/env bash
# Compiles every library source of the project for 64-bit Windows with mingw-w64, so that the
# _WIN32 branches (the SDK headers in place of platform/'s own declarations) keep building.
# Tests, tools and the Linux-only host graph are not part of the Windows library.
set -euo pipefail
cd "$(dirname "$0")/../.."
CXX=${MINGW_CXX:-x86_64-w64-mingw32-g++-posix}
if ! command -v "$CXX" >/dev/null; then
    echo "check-windows-build: $CXX not found (Debian package g++-mingw-w64-x86-64-posix)" >&2
    exit 1
fi
mapfile -t sources < <(git ls-files 'platform/*.cpp' 'diagnostics/*.cpp' 'primitives/*.cpp' \
    'SDKs/*.cpp' 'VideoIO/*.cpp' | grep -v '^platform/graph/')
failed=0
for f in "${sources[@]}"; do
    if ! "$CXX" -std=c++20 -Wall -Wextra -Werror -ffp-contract=off -DUNICODE -D_UNICODE -I. \
        -fsyntax-only "$f"; then
        echo "check-windows-build: $f does not build for Windows" >&2
        failed=1
    fi
done
[ $failed -eq 0 ] && echo "check-windows-build: ${#sources[@]} sources build for Windows"
exit $failed
