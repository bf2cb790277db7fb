#!/usr/bin/env bash
# Whole-stream decoding speed against the oracle decoders, in one run and one table.
#     bash bench/speed.sh [--quick] [--no-build] [--streams DIR]
# Builds the release preset (unless --no-build), makes the streams here from synthetic sources
# (nothing is committed) and runs every decoder RUNS times (7, or 3 with --quick), interleaved,
# comparing medians (--streams DIR keeps the streams in DIR and reuses them on later runs). Times
# are whole processes (start-up and reading the file included) for every decoder, each decoding
# the stream once (umc-decode --passes 1 for audio): wall seconds and CPU seconds (the task clock
# of perf stat, to the microsecond; user+system from /usr/bin/time without perf); on
# a shared machine the CPU figure is the steadier one, the thread speed-up only shows in wall
# time. Streams:
#   MPEG-2 1920x1080, 120 pictures, 25 Hz, about 15 Mbit/s, GOP 12 with two B pictures:
#     detail (testsrc2 with light noise), zoom (mandelbrot: detail that moves), uniform
#     (gradients with noise everywhere); ours on 1 and 2 slice threads into YV12, and through
#     the filter graph (qmdecode) against umc-decode;
#   MPEG audio: 120 s stereo, layer III at 192 kbit/s (lame) and layer II at 256 kbit/s (twolame);
#   AC-3: 120 s of 5.1 at 448 kbit/s, decoded to stereo;
#   MPEG-4 Part 2: 1920x1080, 120 pictures, 8 Mbit/s, two B-VOPs;
#   colour conversions of a 1920x1080 4:2:0 picture: the qm_bench entries (CPU time), against a
#     memcpy of the output bytes (for RGB24 three quarters of the RGB32 copy).
# The last column is a speed: the reference's time over ours, above 1 when ours is faster (for
# conversions it is below 1: the conversion costs 1/speed copies).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-7}
build=1
streams=
while (($#)); do
    case "$1" in
        --quick) runs=3 ;;
        --no-build) build=0 ;;
        --streams) streams=${2:?--streams needs a folder}; shift ;;
        *) echo "usage: bench/speed.sh [--quick] [--no-build] [--streams DIR]" >&2; exit 2 ;;
    esac
    shift
done
bin="$root/build/release"
if ((build)); then
    (cd "$root" && cmake --preset release > /dev/null &&
        nice cmake --build --preset release -j2 --target umc-decode qmdecode qm_bench > /dev/null)
fi
UMC="$bin/tools/umc-decode/umc-decode"
QMD="$bin/tools/qmdecode/qmdecode"
QMB="$bin/bench/qm_bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=${streams:-$work}
mkdir -p "$src"

# ---- streams (each made unless a kept one is there)
echo "making the streams in $src ..." >&2
ff() { ffmpeg -nostdin -hide_banner -loglevel fatal "$@"; }
video() {  # NAME SOURCE CODEC BITRATE
    [[ -s "$src/$1" ]] && return
    ff -f lavfi -i "$2" -frames:v 120 -c:v "$3" -b:v "$4" -maxrate 30M -bufsize 9M -g 12 -bf 2 \
        -y "$src/$1"
}
video detail.m2v "testsrc2=size=1920x1080:rate=25,noise=alls=12:allf=t" mpeg2video 15M
video zoom.m2v "mandelbrot=size=1920x1080:rate=25" mpeg2video 15M
video uniform.m2v "gradients=size=1920x1080:rate=25:speed=0.05,noise=alls=4:allf=t" mpeg2video 15M
video mpeg4.m4v "testsrc2=size=1920x1080:rate=25,noise=alls=8:allf=t" mpeg4 8M
tone="0.3*sin(2*PI*440*t)+0.2*sin(2*PI*(300+200*sin(2*PI*0.5*t))*t)+0.1*sin(2*PI*(3000+2000*sin(2*PI*0.07*t))*t)+0.05*(random(0)-0.5)+0.4*sin(2*PI*2500*t)*gt(mod(t\,0.4)\,0.37)"
if [[ ! -s "$src/l3.mp3" || ! -s "$src/l2.mp2" ]]; then
    ff -f lavfi -i "aevalsrc=$tone|$tone:s=44100:d=120" -y "$work/src.wav"
    lame --quiet -t -b 192 "$work/src.wav" "$src/l3.mp3"
    twolame --quiet -b 256 "$work/src.wav" "$src/l2.mp2"
fi
[[ -s "$src/s51.ac3" ]] ||
    ff -f lavfi -i "aevalsrc=$tone|$tone|$tone|$tone|$tone|$tone:s=48000:d=120" \
        -filter_complex "[0]aformat=channel_layouts=5.1" -c:a ac3 -b:a 448k -y "$src/s51.ac3"

# ---- timing: each job appends "wall cpu" per run to $work/t.NAME
jobs=()
job() {  # NAME COMMAND...
    local name=$1
    shift
    jobs+=("$name")
    printf '%s\0' "$@" > "$work/cmd.$name"
}
for s in detail zoom uniform; do
    f="$src/$s.m2v"
    job "$s.x1" "$UMC" --codec mpeg2 --threads 1 --format yv12 --bench "$f"
    job "$s.x2" "$UMC" --codec mpeg2 --threads 2 --format yv12 --bench "$f"
    job "$s.graph" "$QMD" --format yv12 --bench "$f"
    job "$s.mpeg2dec" mpeg2dec -o null "$f"
    job "$s.ffmpeg" ffmpeg -nostdin -hide_banner -threads 1 -i "$f" -f null -
done
for a in l3.mp3 l2.mp2; do
    job "$a.ours" "$UMC" --codec mpa --bench --passes 1 "$src/$a"
    job "$a.mpg123" mpg123 -q -t "$src/$a"
    job "$a.ffmpeg" ffmpeg -nostdin -hide_banner -threads 1 -i "$src/$a" -f null -
done
job ac3.ours "$UMC" --codec ac3 --bench --passes 1 "$src/s51.ac3"
job ac3.a52dec a52dec -o null "$src/s51.ac3"
job ac3.ffmpeg ffmpeg -nostdin -hide_banner -threads 1 -i "$src/s51.ac3" -ac 2 -f null -
job mpeg4.ours "$UMC" --codec mpeg4 --bench "$src/mpeg4.m4v"
job mpeg4.ffmpeg ffmpeg -nostdin -hide_banner -threads 1 -i "$src/mpeg4.m4v" -f null -

# CPU time in milliseconds from the task clock (all threads and children) where perf may count
# it: /usr/bin/time's 10 ms steps would decide the audio rows, whose streams decode in well under
# 100 ms; the wall time is perf's duration of the command.
if perf stat -x, -e task-clock -o "$work/probe" true > /dev/null 2>&1 &&
    grep -q task-clock "$work/probe"; then
    clock=perf
else
    clock=time
    echo "perf stat unavailable: CPU times in 10 ms steps" >&2
fi
timed() {  # OUT-FILE COMMAND...: appends "wall cpu" in seconds
    local out=$1
    shift
    if [[ $clock == perf ]]; then
        perf stat -x, -e task-clock,duration_time -o "$work/time" "$@" < /dev/null > /dev/null \
            2>&1 || return 1
        awk -F, '$3 == "task-clock" { c = $1 / 1000 } $3 == "duration_time" { w = $1 / 1e9 }
            END { if (c == "" || w == "") exit 1; printf "%.4f %.4f\n", w, c }' "$work/time" \
            >> "$out"
    else
        /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" < /dev/null > /dev/null 2>&1 || return 1
        awk '{ printf "%s %.3f\n", $1, $2 + $3 }' "$work/time" >> "$out"
    fi
}
echo "timing $runs interleaved runs of ${#jobs[@]} commands ($clock CPU clock) ..." >&2
for ((i = 0; i < runs; ++i)); do
    for name in "${jobs[@]}"; do
        mapfile -d '' cmd < "$work/cmd.$name"
        if ! timed "$work/t.$name" "${cmd[@]}"; then
            echo "failed: ${cmd[*]}" >&2
            exit 1
        fi
    done
done

median() {  # FILE COLUMN
    awk -v c="$2" '{ print $c }' "$1" | sort -g |
        awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
printf "%-20s %8s %8s   %-18s %8s %8s %8s %8s\n" item "wall" "cpu" reference "wall" "cpu" \
    "speed" "cpu spd"
row() {  # LABEL OURS-JOB REFERENCE-LABEL REFERENCE-JOB
    local w1 c1 w2 c2
    w1=$(median "$work/t.$2" 1); c1=$(median "$work/t.$2" 2)
    w2=$(median "$work/t.$4" 1); c2=$(median "$work/t.$4" 2)
    printf "%-20s %7.4fs %7.4fs   %-18s %7.4fs %7.4fs %7.2fx %7.2fx\n" "$1" "$w1" "$c1" "$3" \
        "$w2" "$c2" "$(echo "$w2 / $w1" | bc -l)" "$(echo "$c2 / $c1" | bc -l)"
}
for s in detail zoom uniform; do
    row "mpeg2 $s" "$s.x1" "mpeg2dec" "$s.mpeg2dec"
    row "mpeg2 $s" "$s.x1" "ffmpeg -threads 1" "$s.ffmpeg"
    row "mpeg2 $s x2" "$s.x2" "ours x1" "$s.x1"
    row "mpeg2 $s graph" "$s.graph" "umc-decode" "$s.x1"
done
for a in l3.mp3 l2.mp2; do
    row "audio $a" "$a.ours" "mpg123 -t" "$a.mpg123"
    row "audio $a" "$a.ours" "ffmpeg -threads 1" "$a.ffmpeg"
done
row "ac3 5.1" ac3.ours "a52dec" ac3.a52dec
row "ac3 5.1" ac3.ours "ffmpeg -threads 1" ac3.ffmpeg
row "mpeg4 1080p" mpeg4.ours "ffmpeg -threads 1" mpeg4.ffmpeg

# ---- colour conversions (kernel benchmarks, microseconds per picture)
if [[ -x "$QMB" ]]; then
    # Medians need at least three repetitions.
    "$QMB" --benchmark_filter='^(Memcpy/|Yuv420To)' --benchmark_repetitions=$((runs < 3 ? 3 : runs)) \
        --benchmark_report_aggregates_only=true --benchmark_format=csv 2> /dev/null |
        awk -F, '$1 ~ /_median"?$/ { n = $1; gsub(/"|_median/, "", n); print n, $4 }' \
            > "$work/colour"
    copy() { awk -v n="Memcpy/$1" 'index($1, n) == 1 { print $2 }' "$work/colour"; }
    while read -r name us; do
        case "$name" in
            Memcpy/* | */[0-9]*) continue ;;  # single variants: the dispatched one is "/-1"
            *Yv12* | *I420*) ref=$(copy planar_bytes) ;;
            *Nv12*) ref=$(copy nv12_bytes) ;;
            *Yuy2* | *Uyvy*) ref=$(copy yuy2_bytes) ;;
            *Rgb32*) ref=$(copy rgb32_bytes) ;;
            *Rgb24*) ref=$(echo "$(copy rgb32_bytes) * 0.75" | bc -l) ;;
            *) continue ;;
        esac
        [[ -n "$ref" ]] || continue
        printf "%-20s %8s %6.0fus   %-18s %8s %6.0fus %8s %7.2fx\n" "colour ${name#Yuv420To}" "" \
            "$us" "memcpy of output" "" "$ref" "" "$(echo "$ref / $us" | bc -l)"
    done < "$work/colour"
fi
