#!/usr/bin/env bash
# Decodes every stream of the checksum list with qmdecode.exe under Wine and compares the
# output's SHA-256 with what qmdecode gave on Linux.
set -uo pipefail
exe=$1
list=$2
root=$(cd "$(dirname "$list")/../.." && pwd)
run=$root/tools/scripts/wine-run.sh
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
count=0
while read -r sum file options; do
    [[ -z "$sum" || "$sum" == \#* ]] && continue
    ext=wav
    case "$file" in *.m1v | *.m2v) ext=y4m ;; esac
    # shellcheck disable=SC2086
    if ! "$run" "$exe" $options "$root/$file" "$tmp/out.$ext" >"$tmp/log" 2>&1; then
        echo "FAIL $file: qmdecode.exe failed"
        cat "$tmp/log"
        failed=1
        continue
    fi
    got=$(sha256sum <"$tmp/out.$ext" | cut -d' ' -f1)
    if [ "$got" != "$sum" ]; then
        echo "FAIL $file: $got, Linux gave $sum"
        failed=1
    else
        echo "ok   $file"
    fi
    count=$((count + 1))
done <"$list"
echo "$count streams compared"
exit $failed
