#!/usr/bin/env bash
# Builds and runs every test: the release and asan builds in full (with the fuzz corpus replays,
# label "fuzz", and the damaged-stream tests, label "damage"), the concurrency tests under
# ThreadSanitizer, then the Windows cross build with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/scripts/install-deps.sh
jobs=$(nproc)
for preset in release asan; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done
echo "== tsan (concurrency tests)"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target concurrency_tests
ctest --preset tsan -j "$jobs"
echo "== windows (mingw-w64 cross build, tests under Wine)"
bash tools/scripts/check-windows-build.sh
