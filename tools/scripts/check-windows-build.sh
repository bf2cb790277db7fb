#!/usr/bin/env bash
# Cross-builds the `windows` preset (every library, qm_MPEGDecoderFilters.dll, qmdecode.exe and
# the test programs) with mingw-w64 and runs the tests under Wine: the DLL registered with
# regsvr32 and used from Wine's graph manager, and the GoogleTest programs. Skips (exit 0) with
# a message when mingw-w64 or Wine is missing; install them with tools/scripts/install-deps.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
for tool in x86_64-w64-mingw32-g++-posix wine; do
    if ! command -v "$tool" >/dev/null; then
        echo "check-windows-build: SKIPPED, $tool is not installed" \
            "(Debian packages g++-mingw-w64-x86-64-posix, wine, wine64)"
        exit 0
    fi
done
if [ ! -f /usr/src/googletest/CMakeLists.txt ]; then
    echo "check-windows-build: SKIPPED, GoogleTest sources missing (Debian package googletest)"
    exit 0
fi
jobs=${JOBS:-$(nproc)}
start=$SECONDS
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
built=$SECONDS
# Create the Wine prefix once before tests start in parallel in it.
prefix=$PWD/build/windows/wineprefix
WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winealsa.drv=" wineboot -i >/dev/null 2>&1
WINEPREFIX=$prefix wineserver -w
ctest --preset windows -j "$jobs"
# The budget of this part of CI is 10 minutes on 2 cores.
echo "check-windows-build: build $((built - start)) s, tests under Wine $((SECONDS - built)) s"
