#!/usr/bin/env bash
# MPEG-2 slice-thread scaling: umc-decode (release build) on 1, 2 and 3 threads into YV12, medians
# of interleaved runs: wall and CPU (task clock) milliseconds, context switches, and the wall
# speed-up over one thread.
#     bash bench/thread-speed.sh [--runs N] [--rt] --streams DIR
# DIR holds detail.m2v, zoom.m2v and uniform.m2v (`bench/speed.sh --streams DIR` makes them).
# --rt runs each decode under SCHED_FIFO (needs root): on a machine busy with other work the
# decoder then has both processors as on an idle one, and the wall speed-up means something.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=7
rt=()
streams=
while (($#)); do
    case "$1" in
        --runs) runs=${2:?--runs needs a count}; shift ;;
        --rt) rt=(chrt -f 1) ;;
        --streams) streams=${2:?--streams needs a folder}; shift ;;
        *) echo "usage: bench/thread-speed.sh [--runs N] [--rt] --streams DIR" >&2; exit 2 ;;
    esac
    shift
done
[[ -n "$streams" ]] || { echo "bench/thread-speed.sh: --streams DIR is needed" >&2; exit 2; }
UMC="$root/build/release/tools/umc-decode/umc-decode"
[[ -x "$UMC" ]] || { echo "bench/thread-speed.sh: build the release preset first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for ((i = 0; i < runs; ++i)); do
    for s in detail zoom uniform; do
        for t in 1 2 3; do
            "${rt[@]}" perf stat -x, -e task-clock,duration_time,context-switches -o "$work/p" \
                "$UMC" --codec mpeg2 --threads "$t" --format yv12 --bench "$streams/$s.m2v" \
                > /dev/null 2>&1
            awk -F, '$3 == "task-clock" { c = $1 } $3 == "duration_time" { w = $1 / 1e6 }
                $3 == "context-switches" { x = $1 } END { print w, c, x }' "$work/p" \
                >> "$work/$s.$t"
        done
    done
done

median() {  # FILE COLUMN
    awk -v c="$2" '{ print $c }' "$1" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
printf "%-8s %7s %9s %9s %7s %8s\n" stream threads "wall ms" "cpu ms" switches speed-up
for s in detail zoom uniform; do
    one=$(median "$work/$s.1" 1)
    for t in 1 2 3; do
        w=$(median "$work/$s.$t" 1)
        printf "%-8s %7d %9.1f %9.1f %7d %7.2fx\n" "$s" "$t" "$w" "$(median "$work/$s.$t" 2)" \
            "$(median "$work/$s.$t" 3)" "$(echo "$one / $w" | bc -l)"
    done
done
