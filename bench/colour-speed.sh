#!/usr/bin/env bash
# Colour conversion of one 1920x1080 4:2:0 picture into each layout the decoders hand out: our
# dispatched kernel, a memcpy of the same output bytes, and ffmpeg's swscale on the same
# conversion, in one table. Builds the release preset, then run by hand:
#     bash bench/colour-speed.sh [runs]
# Our figures are the medians of `runs` (default 7) interleaved repetitions of the kernel
# benchmarks (CPU time). ffmpeg converts a raw 400-picture clip on one thread; its cost per
# picture is the user CPU time with `-vf format=X` minus that with `-vf format=yuv420p` (no
# conversion), medians of `runs` interleaved runs each.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
cmake --preset release >/dev/null
cmake --build --preset release --target qm_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

./build/release/bench/qm_bench --benchmark_filter='^(Memcpy/|Yuv420To[A-Za-z0-9]+(/-1)?$)' \
    --benchmark_min_time=0.05 --benchmark_repetitions="$runs" \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    --benchmark_format=csv 2>/dev/null | grep '_median' >"$work/ours.csv"

ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v 50 \
    -pix_fmt yuv420p -f rawvideo -y "$work/clip.yuv"
ff_user() {  # FORMAT: user seconds for 400 pictures
    /usr/bin/time -f %U ffmpeg -loglevel error -threads 1 -stream_loop 7 -f rawvideo \
        -pix_fmt yuv420p -s 1920x1080 -i "$work/clip.yuv" -vf "format=$1" -f null - 2>&1 | tail -1
}
for ((i = 0; i < runs; i++)); do
    for f in yuv420p bgra bgr24 yuyv422 uyvy422 nv12; do echo "$f $(ff_user "$f")"; done
done >"$work/ffmpeg.txt"

python3 - "$work/ours.csv" "$work/ffmpeg.txt" <<'PY'
import csv, statistics, sys
ours = {}
for row in csv.reader(open(sys.argv[1])):
    name = row[0].strip('"').replace('_median', '')
    ours[name] = float(row[3])  # CPU time, microseconds
ff = {}
for line in open(sys.argv[2]):
    k, v = line.split()
    ff.setdefault(k, []).append(float(v))
base = statistics.median(ff['yuv420p'])
def ffms(fmt):
    return (statistics.median(ff[fmt]) - base) / 400 * 1000 if fmt else None
rows = [('YV12 (planar)', 'Yuv420ToYv12', 'Memcpy/planar_bytes/3110400', None),
        ('NV12', 'Yuv420ToNv12/-1', 'Memcpy/nv12_bytes/3110400', 'nv12'),
        ('YUY2', 'Yuv420ToYuy2/-1', 'Memcpy/yuy2_bytes/4147200', 'yuyv422'),
        ('UYVY', 'Yuv420ToUyvy/-1', 'Memcpy/yuy2_bytes/4147200', 'uyvy422'),
        ('RGB24', 'Yuv420ToRgb24/-1', 'Memcpy/rgb24_bytes/6220800', 'bgr24'),
        ('RGB32', 'Yuv420ToRgb32/-1', 'Memcpy/rgb32_bytes/8294400', 'bgra')]
print(f"{'conversion':14} {'ours ms':>8} {'memcpy ms':>9} {'x memcpy':>8} {'ffmpeg ms':>9} {'ffmpeg/ours':>11}")
for label, k, m, f in rows:
    o, c = ours[k] / 1000, ours[m] / 1000
    fm = ffms(f)
    fs = f"{fm:9.3f} {fm / o:11.2f}" if fm is not None else f"{'-':>9} {'-':>11}"
    print(f"{label:14} {o:8.3f} {c:9.3f} {o / c:8.2f} {fs}")
PY
