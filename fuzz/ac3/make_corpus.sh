#!/usr/bin/env bash
# Builds seed corpora for ac3_fuzz and ac3_filter_fuzz from the committed fixtures: each stream
# behind a few option bytes. Usage:
#     bash fuzz/ac3/make_corpus.sh CORPUS_DIR
#     build/fuzz/fuzz/ac3/ac3_fuzz CORPUS_DIR/codec -max_total_time=600 -max_len=32768
#     build/fuzz/fuzz/ac3/ac3_filter_fuzz CORPUS_DIR/filter -max_total_time=600 -max_len=32768
set -euo pipefail
out=${1:?corpus directory}
mkdir -p "$out/codec" "$out/filter"
fixtures="$(dirname "$0")/../../tests/fixtures/ac3"
for f in "$fixtures"/*.ac3; do
    for opt in "00 00" "08 01" "12 07" "20 1b" "47 31" "80 03"; do
        set -- $opt
        { printf "\\x$1\\x$2"; head -c 24576 "$f"; } > "$out/codec/$(basename "$f").$1$2"
    done
    for opt in 0b 0c 1a 2b; do
        { printf "\\x$opt"; head -c 24576 "$f"; } > "$out/filter/$(basename "$f").$opt"
    done
done
ls "$out/codec" "$out/filter" | wc -l
