#!/usr/bin/env bash
# Fails when a DLL runs code of ours at load time: every dynamic initialiser (a
# `_GLOBAL__sub_I_<first symbol of its file>` function) must belong to the statically linked C++
# runtime (its key symbol in namespace std or __gnu_cxx). Tables must be constant, state created
# on first use: a host loads the DLL under the loader lock, where such code may deadlock, and
# loads it just to register it.
# Usage: check-static-init.sh NM DLL...
set -euo pipefail
nm=$1
shift
status=0
for dll in "$@"; do
    found=$("$nm" "$dll" | awk '$2 ~ /^[tT]$/ && $3 ~ /(^|\.)_GLOBAL__sub_I_/ {print $3}' |
        sed 's/^.*_GLOBAL__sub_I_//' | sort -u | grep -Ev '^_(ZSt|ZNSt|ZN9__gnu_cxx|ZNK?9__gnu_cxx)' || true)
    if [ -n "$found" ]; then
        echo "$(basename "$dll"): dynamic initialisers of the files defining:"
        echo "$found" | c++filt | sed 's/^/  /'
        status=1
    else
        echo "$(basename "$dll"): no dynamic initialisers of its own"
    fi
done
exit $status
