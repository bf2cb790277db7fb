#!/usr/bin/env bash
# Builds a seed corpus for mpegaudio_fuzz from the committed fixtures: the first 12 KiB of each
# stream behind each of a few option bytes. Usage:
#     bash fuzz/mpegaudio/make_corpus.sh CORPUS_DIR
#     build/fuzz/fuzz/mpegaudio/mpegaudio_fuzz CORPUS_DIR -max_total_time=600 -max_len=16384
set -euo pipefail
out=${1:?corpus directory}
mkdir -p "$out"
fixtures="$(dirname "$0")/../../tests/fixtures/mpa"
for f in "$fixtures"/*.mp3 "$fixtures"/*.mp2; do
    for opt in 00 01 07 0a 13; do
        { printf "\\x$opt"; head -c 12288 "$f"; } > "$out/$(basename "$f").$opt"
    done
done
ls "$out" | wc -l
