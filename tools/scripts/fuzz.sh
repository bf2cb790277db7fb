#!/usr/bin/env bash
# Runs the libFuzzer targets and keeps what they find:
#     tools/scripts/fuzz.sh [TARGET|all] [MINUTES]     (default: all, 10 minutes each)
# Builds the fuzz preset (clang), runs each target for MINUTES with -fork over the cores
# (FUZZ_JOBS overrides), -rss_limit_mb=2048 and -timeout=10, with its codec's dictionary, then
# merges the new coverage into fuzz/corpus/TARGET (minimised with -set_cover_merge=1, inputs cut
# to the target's longest input; MINUTES=0 only does this) and copies every crash,
# timeout, leak or out-of-memory input into fuzz/regressions/TARGET with a one-line note of what it
# hit. Both folders are replayed by CTest (fuzz_replay.TARGET); commit them, and fix what the
# regressions show before committing those.
# A new target is declared with qm_fuzz_target in its fuzz/ folder and given a line in
# target_setup below (seeds, dictionary, longest input).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
which=${1:-all}
minutes=${2:-10}
jobs=${FUZZ_JOBS:-$(nproc)}
fixtures=$root/tests/fixtures

# Sets seeds (fixture globs), prefixes (option bytes put before each seed, hex; "-" for none),
# dict, max_len (longest input while fuzzing) and keep_len (longest committed input) for a target.
target_setup() {
    # Inputs are kept short so that the committed corpora stay small and replay fast: 4096 bytes
    # hold several small pictures or audio frames, or one AC-3 frame of the largest size;
    # containers take 8192 (twice that added 2% of the edges). The codecs' corpora keep inputs cut to
    # 2048 bytes: after a 95-minute run that kept more coverage edges than 4096 (the cut ends
    # reach the truncation paths) in 40% of the bytes.
    seeds=() prefixes=(-) dict="" max_len=4096 keep_len=2048
    case $1 in
    mpeg2video_fuzz) seeds=("$fixtures"/mpeg2/*.m2v) prefixes=(00 03 41 7c) dict=mpeg2video ;;
    mpeg4video_fuzz) seeds=("$fixtures"/mpeg4/*.m4v "$fixtures"/mpeg4/*.h263) dict=mpeg4video ;;
    mpegaudio_fuzz)
        seeds=("$fixtures"/mpa/*.mp3 "$fixtures"/mpa/*.mp2) prefixes=(00 07 13) dict=mpegaudio ;;
    ac3_fuzz) seeds=("$fixtures"/ac3/*.ac3) prefixes=(0000 1207 4731) dict=ac3 ;;
    ac3_filter_fuzz) seeds=("$fixtures"/ac3/*.ac3) prefixes=(0b 1a) dict=ac3 ;;
    filters_fuzz)
        # Byte 0 picks the filter (0 MPEG-2 video, 1 MPEG audio, 2 LPCM), byte 1 the piece size.
        seeds=("$fixtures"/mpeg2/mpeg1_bframes.m2v "$fixtures"/mpeg2/mpeg2_open_gop.m2v
            "$fixtures"/mpa/l2_44k.mp2 "$fixtures"/mpa/l3_cbr128_joint.mp3)
        prefixes=(000c 0004 010a 0202) dict=mpegaudio
        ;;
    ps_fuzz) seeds=("$fixtures"/containers/*.mpg "$fixtures"/containers/*.vob) prefixes=(03 06)
        dict=systemstreams max_len=8192 keep_len=8192 ;;
    ts_fuzz) seeds=("$fixtures"/containers/*.ts) prefixes=(02 07) dict=systemstreams
        max_len=8192 keep_len=8192 ;;
    avi_fuzz) seeds=("$fixtures"/containers/*.avi) prefixes=(03 05) dict=systemstreams
        max_len=8192 keep_len=8192 ;;
    fuzz_ac_huffman) ;;
    *) echo "fuzz.sh: no setup for $1 (add it to target_setup)" >&2; return 1 ;;
    esac
}

# Fuzz targets of the build, from the CMake declarations.
all_targets() {
    grep -hoE 'qm_fuzz_target\([A-Za-z0-9_]+' fuzz/*/CMakeLists.txt | sed 's/qm_fuzz_target(//' || true
    # Targets declared in a loop (the container parsers).
    grep -hoE '[a-z0-9]+_fuzz:' fuzz/*/CMakeLists.txt | tr -d ':' || true
}

if [[ $which == all ]]; then
    mapfile -t targets < <(all_targets | sort -u)
else
    targets=("$which")
fi

# FUZZ_SKIP_BUILD=1: several runs side by side on one build (build it once first).
if [[ -z ${FUZZ_SKIP_BUILD:-} ]]; then
    cmake --preset fuzz >/dev/null
    nice cmake --build --preset fuzz -j "$jobs" --target "${targets[@]}"
fi

for target in "${targets[@]}"; do
    target_setup "$target"
    exe=$(find build/fuzz/fuzz -type f -name "$target" -perm -u+x | head -n 1)
    [[ -n $exe ]] || { echo "fuzz.sh: $target was not built" >&2; exit 1; }
    corpus=$root/fuzz/corpus/$target
    regressions=$root/fuzz/regressions/$target
    work=$root/build/fuzz/work/$target
    rm -rf "$work"
    mkdir -p "$corpus" "$work/new" "$work/seeds" "$work/artifacts" "$work/merged"

    # Seeds: the first bytes of each fixture behind each option prefix.
    for f in "${seeds[@]}"; do
        [[ -f $f ]] || continue
        for p in "${prefixes[@]}"; do
            out=$work/seeds/$(basename "$f").$p
            { [[ $p == - ]] || printf '%b' "$(sed 's/../\\x&/g' <<<"$p")"
              head -c $((max_len - 4)) "$f"; } >"$out"
        done
    done

    if ((minutes > 0)); then
        options=(-rss_limit_mb=2048 -timeout=10 -max_len="$max_len" -max_total_time=$((minutes * 60))
            -artifact_prefix="$work/artifacts/" -print_final_stats=1)
        [[ -n $dict ]] && options+=(-dict="$root/fuzz/dict/$dict.dict")
        echo "== $target: $minutes min, $jobs jobs"
        # Fork mode goes on past crashes so that one finding does not end the run.
        nice "$exe" "${options[@]}" -fork="$jobs" -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
            "$work/new" "$corpus" "$work/seeds" 2>&1 | tee "$work/log" | grep -E '^#[0-9]+: cov|DONE|ERROR|SUMMARY' || true
    fi

    # The corpus, minimised over what it had and what was found: the smallest set of inputs
    # (greedy set cover) with all their features, each cut to keep_len.
    nice "$exe" -set_cover_merge=1 -rss_limit_mb=2048 -timeout=10 -max_len="$keep_len" \
        "$work/merged" "$corpus" "$work/new" "$work/seeds" >"$work/merge.log" 2>&1
    rm -rf "$corpus"
    mkdir -p "$corpus"
    cp "$work"/merged/* "$corpus"/ 2>/dev/null || true
    echo "   corpus: $(ls "$corpus" | wc -l) inputs, $(du -sh "$corpus" | cut -f1)"

    # Findings, each with the sanitizer's or libFuzzer's summary line. Slow units are no
    # failures; a timeout that does not come back on a second run was the machine's load.
    for a in "$work"/artifacts/*; do
        [[ -f $a ]] || continue
        name=$(basename "$a")
        [[ $name == slow-unit-* ]] && continue
        what=$("$exe" -rss_limit_mb=2048 -timeout=10 "$a" 2>&1 | grep -m1 -E 'SUMMARY|ERROR: libFuzzer' || true)
        if [[ -z $what ]]; then
            echo "   $name did not reproduce (left in $work/artifacts)"
            continue
        fi
        mkdir -p "$regressions"
        cp "$a" "$regressions/$name"
        echo "$target: $what" >"$regressions/$name.txt"
        echo "   finding: $regressions/$name: $what"
    done
done
