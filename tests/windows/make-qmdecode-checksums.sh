#!/usr/bin/env bash
# Writes qmdecode-checksums.txt: the SHA-256 of what Linux qmdecode writes for every bundled
# sample and committed stream fixture. Run by hand after a decoder change, with a release build:
#   tests/windows/make-qmdecode-checksums.sh build/release/tools/qmdecode/qmdecode
set -euo pipefail
qmdecode=$(realpath "${1:?usage: $0 PATH/TO/qmdecode}")
cd "$(dirname "$0")/../.."
out=tests/windows/qmdecode-checksums.txt
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
{
    echo "# sha256 stream [qmdecode options]; output .y4m for video, .wav for audio"
    for f in samples/* tests/fixtures/mpeg2/*.m2v tests/fixtures/mpa/*.mp[23] \
        tests/fixtures/filters/*.mp3; do
        options=()
        ext=wav
        case "$f" in
            *.m1v | *.m2v) ext=y4m ;;
            *.pcm) options=(--type lpcm --rate 48000) ;;
        esac
        "$qmdecode" "${options[@]}" "$f" "$tmp/out.$ext" >/dev/null
        echo "$(sha256sum <"$tmp/out.$ext" | cut -d' ' -f1) $f${options[*]:+ ${options[*]}}"
    done
} >"$out"
echo "wrote $(grep -vc '^#' "$out") checksums to $out"
