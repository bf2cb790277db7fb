#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix of its own next to the build (created on first
# use) and Wine's own messages silenced. WINEPREFIX from the environment wins.
set -euo pipefail
exe=$1
shift
if [ -z "${WINEPREFIX:-}" ]; then
    dir=$(cd "$(dirname "$exe")" && pwd)
    while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
    [ "$dir" = / ] && dir=$(cd "$(dirname "$exe")" && pwd)
    export WINEPREFIX="$dir/wineprefix"
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winealsa.drv=}
exec wine "$exe" "$@"
