#!/usr/bin/env bash
# Differential sweep of the video decoders: makes a wide set of streams with ffmpeg, mjpegtools'
# mpeg2enc and libxvidcore, decodes each with umc-decode (elementary streams) or qmdecode
# (containers: demultiplexer and decoder filters in one graph) and with the oracles (ffmpeg; for
# MPEG-1/2 also libmpeg2's mpeg2dec, for MPEG-4 libxvidcore), and prints one line per stream:
#     name  pictures ours/ffmpeg's  lowest PSNR against ffmpeg  lowest PSNR against the second
#     oracle (its picture count)  verdict  note
# Run by hand from the repository (needs the oracles and a release build; never run by CI):
#     tools/scripts/oracle-sweep-video.sh [-k] [-b BUILD] [-t THREADS] [PATTERN]
# -k keeps the temporary folder (its path is printed); -t decodes the elementary streams on that
# many threads (umc-decode --threads); PATTERN (a grep -E expression) picks the streams by name;
# SWEEP_VERBOSE=1 prints every picture's PSNR. The exit status is the number of streams that
# disagree (at most 125).
#
# A stream agrees when both decoders give the same number of pictures and every picture is within
# its class's threshold of ffmpeg's: 50 dB where the decoding is exact, less where the inverse
# transforms may differ within their accuracy limits: 56 dB for MPEG-4 (as its fixture harness),
# 48 dB for 300-picture prediction chains.
set -uo pipefail
cd "$(dirname "$0")/../.."
repo=$PWD
build=$repo/build/release
keep=0
threads=1
while getopts "kb:t:" opt; do
    case $opt in
        k) keep=1 ;;
        t) threads=$OPTARG ;;
        b) build=$(realpath "$OPTARG") ;;
        *) sed -n '2,20p' "$0"; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
pattern=${1:-.}
umc=$build/tools/umc-decode/umc-decode
qm=$build/tools/qmdecode/qmdecode
for tool in "$umc" "$qm"; do
    [ -x "$tool" ] || { echo "missing $tool: build the release preset first" >&2; exit 2; }
done
for tool in ffmpeg ffprobe mpeg2dec mpeg2enc cc; do
    command -v $tool > /dev/null || { echo "missing $tool" >&2; exit 2; }
done
tmp=$(mktemp -d)
if [ $keep = 1 ]; then echo "keeping $tmp"; else trap 'rm -rf "$tmp"' EXIT; fi
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# The comparator: walks the oracle's pictures (sizes from ffprobe, one "W H" line each) and ours
# in step and prints "ours oracle lowest-PSNR worst-picture". The oracle's pictures are planar
# ("raw") or libmpeg2's PGM layout (chroma rows side by side under the luma, coded size), cropped.
cat > "$tmp/yuvcmp.c" << 'EOF'
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static size_t FrameBytes(int w, int h, int chroma) {
    return (size_t)w * h + 2 * (size_t)((w + 1) / 2) * (chroma == 422 ? h : (h + 1) / 2);
}

// One libmpeg2 PGM picture (coded size) into planar bytes, cropped to w x h; a size that does
// not round up to the coded one (the size list has run out of step) gives way to the coded size.
static int ReadPgm(FILE* f, unsigned char** out, size_t* cap, int* w, int* h, int chroma) {
    int pw, ph, max;
    if (fscanf(f, " P5 %d %d %d", &pw, &ph, &max) != 3) return 0;
    fgetc(f);
    unsigned char* pgm = malloc((size_t)pw * ph);
    if (fread(pgm, 1, (size_t)pw * ph, f) != (size_t)pw * ph) {
        free(pgm);
        return 0;
    }
    int lh = chroma == 422 ? ph / 2 : ph * 2 / 3;
    if ((*w + 15) / 16 * 16 != pw || *h > lh || *h + 32 <= lh) {
        *w = pw;
        *h = lh;
    }
    if (FrameBytes(*w, *h, chroma) > *cap) {
        *cap = FrameBytes(*w, *h, chroma);
        *out = realloc(*out, *cap);
    }
    int cw = (*w + 1) / 2, ch = chroma == 422 ? *h : (*h + 1) / 2;
    unsigned char* p = *out;
    for (int y = 0; y < *h; ++y, p += *w) memcpy(p, pgm + (size_t)y * pw, *w);
    for (int c = 0; c < 2; ++c)
        for (int y = 0; y < ch; ++y, p += cw)
            memcpy(p, pgm + (size_t)(lh + y) * pw + c * (pw / 2), cw);
    free(pgm);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 6) return 2;
    FILE* ours = fopen(argv[1], "rb");
    FILE* ref = fopen(argv[2], "rb");
    FILE* sizes = fopen(argv[4], "r");
    int pgm = strcmp(argv[3], "pgm") == 0, chroma = atoi(argv[5]);
    if (!ours || !ref || !sizes) return 2;
    int w = 0, h = 0, nOurs = 0, nRef = 0, worstAt = -1, oursDone = 0;
    double worst = 99.0;
    size_t capA = 0, capB = 0;
    unsigned char *a = NULL, *b = NULL;
    for (;;) {
        int nw, nh, listed = fscanf(sizes, "%d %d", &nw, &nh) == 2;
        if (listed) {
            w = nw;
            h = nh;
        }
        int gotRef;
        if (pgm) {
            gotRef = ReadPgm(ref, &b, &capB, &w, &h, chroma);
        } else {
            if (FrameBytes(w, h, chroma) > capB) b = realloc(b, capB = FrameBytes(w, h, chroma));
            gotRef = listed && fread(b, 1, FrameBytes(w, h, chroma), ref) == FrameBytes(w, h, chroma);
        }
        if (w == 0) break;
        size_t n = FrameBytes(w, h, chroma);
        if (n > capA) a = realloc(a, capA = n);
        int gotOurs = !oursDone && fread(a, 1, n, ours) == n;
        oursDone |= !gotOurs;
        if (!gotRef && !gotOurs) break;
        nRef += gotRef;
        nOurs += gotOurs;
        if (!gotRef || !gotOurs) continue;
        double se = 0;
        for (size_t i = 0; i < n; ++i) se += (double)(a[i] - b[i]) * (a[i] - b[i]);
        double psnr = se == 0 ? 99.0 : 10.0 * log10(255.0 * 255.0 * (double)n / se);
        if (getenv("SWEEP_VERBOSE") && *getenv("SWEEP_VERBOSE")) fprintf(stderr, "picture %d: %.2f dB\n", nRef - 1, psnr);
        if (psnr < worst) {
            worst = psnr;
            worstAt = nRef - 1;
        }
    }
    printf("%d %d %.2f %d\n", nOurs, nRef, worst, worstAt);
    return 0;
}
EOF
cc -O2 -o "$tmp/yuvcmp" "$tmp/yuvcmp.c" -lm || exit 2

# libxvidcore's decoder as the second MPEG-4 oracle (the harness the MPEG-4 fixtures use), when
# its headers are installed.
xvid=""
if sed -n "/^cat > \"\$tmp\/xviddec.c\" <<'CEOF'/,/^CEOF/p" tests/fixtures/mpeg4/make_fixtures.sh |
    sed '1d;$d' > "$tmp/xviddec.c" && cc -O1 -o "$tmp/xviddec" "$tmp/xviddec.c" -lxvidcore \
    2> /dev/null; then
    xvid=xvid
fi

bad=0
count=0
below() { awk -v p="$1" -v t="$2" 'BEGIN { exit !(p < t) }'; }
# A stream agrees with an oracle when the picture counts match and no picture is below the
# threshold. Agreeing with mpeg2dec only is a pass (the oracles differ; the note says so); a
# picture our decoder marked damaged (a cut stream) may be concealed otherwise than the oracles do.
report() {  # report NAME THRESHOLD LOG OURS ORACLE PSNR WORST [OURS2 ORACLE2 PSNR2]
    local name=$1 threshold=$2 log=$3 verdict=ok note="" column=-
    shift 3
    [ $# -gt 4 ] && column="$7($6)"
    if [ "$1" != "$2" ] || below "$3" "$threshold"; then
        if [ $# -gt 4 ] && [ "$5" = "$6" ] && ! below "$7" "$threshold"; then
            note="agrees with $second, not ffmpeg"  # $second: the caller's second oracle
        elif grep -q "damaged" "$log" && [ "$1" = "$2" ]; then
            verdict=damaged
            note="$(grep -o "[0-9]* damaged" "$log") picture(s); worst picture $4"
        else
            verdict=DIFFERS
            note="worst picture $4"
            bad=$((bad + 1))
        fi
    fi
    grep -q "failed" "$log" && note="$note $(grep "failed" "$log" | tail -1)"
    count=$((count + 1))
    printf '%-32s %5s/%-5s %6s dB %10s  %-8s %s\n' "$name" "$1" "$2" "$3" "$column" "$verdict" \
        "$note"
}

# A moving, noisy test pattern (so every prediction mode and many coefficients occur).
source() {  # source SIZE FRAMES PIXFMT OUT.y4m [EXTRA-FILTERS]
    ff -f lavfi -i "testsrc2=size=$1:rate=25,noise=alls=6:allf=t${5:+,$5}" -frames:v "$2" \
        -pix_fmt "$3" "$4"
}

# Decodes $tmp/NAME.STREAM with ours and the oracles and reports it.
compare() {  # compare NAME FILE CHROMA THRESHOLD KIND(es|demux) [mpeg2dec|xvid|self]
    local name=$1 file=$2 chroma=$3 threshold=$4 kind=$5 second=${6:-}
    local pix=yuv420p
    [ "$chroma" = 422 ] && pix=yuv422p
    local ours=$tmp/$name.ours ref=$tmp/$name.ref log=$tmp/$name.log
    rm -f "$ours" "$ref"
    if [ "$kind" = demux ]; then
        "$qm" --output-format raw "$file" "$ours" > "$log" 2>&1 ||
            echo "qmdecode failed: $(tail -1 "$log")" >> "$log"
    else
        "$umc" --threads "$threads" --format "$([ "$chroma" = 422 ] && echo i422 || echo i420)" \
            "$file" "$ours" \
            > "$log" 2>&1 || echo "umc-decode failed: $(tail -1 "$log")" >> "$log"
    fi
    [ -f "$ours" ] || : > "$ours"
    if [ "$second" = self ]; then
        # The MPEG-4 filter deblocks and derings the luma: the container's pictures are compared
        # with the same graph's decode of ffmpeg's copy of the elementary stream instead.
        ff -i "$file" -map 0:v:0 -c copy -f m4v "$tmp/$name.es.m4v"
        "$qm" --output-format raw "$tmp/$name.es.m4v" "$ref" > /dev/null 2>&1
        ffprobe -v error -select_streams v:0 -show_entries frame=width,height -of csv=p=0 \
            "$file" | tr ',' ' ' > "$tmp/$name.sizes"
        local r
        read -r -a r < <("$tmp/yuvcmp" "$ours" "$ref" raw "$tmp/$name.sizes" "$chroma")
        report "$name" "$threshold" "$log" "${r[@]}"
        rm -f "$ours" "$ref" "$tmp/$name.es.m4v"
        return
    fi
    ff -i "$file" -map 0:v:0 -fps_mode passthrough -autoscale 0 -f rawvideo -pix_fmt $pix "$ref"
    ffprobe -v error -select_streams v:0 -show_entries frame=width,height -of csv=p=0 "$file" |
        tr ',' ' ' > "$tmp/$name.sizes"
    local r s=()
    read -r -a r < <("$tmp/yuvcmp" "$ours" "$ref" raw "$tmp/$name.sizes" "$chroma")
    if [ "$second" = xvid ]; then
        "$tmp/xviddec" "$file" "$tmp/$name.x.yuv" 2> /dev/null
        read -r -a s < <("$tmp/yuvcmp" "$ours" "$tmp/$name.x.yuv" raw "$tmp/$name.sizes" "$chroma")
        rm -f "$tmp/$name.x.yuv"
    elif [ -n "$second" ]; then
        local args=()
        [ "$kind" = demux ] && args=(-s)
        [ "${file##*.}" = ts ] && args=(-t "$(ffprobe -v error -select_streams v:0 \
            -show_entries stream=id -of csv=p=0 "$file" | head -1 | cut -d, -f1)")
        # libmpeg2 holds the last pictures back until a sequence end code, which ffmpeg's
        # elementary streams lack: give it one.
        local feed=$file
        if [ "$kind" = es ]; then
            feed=$tmp/$name.ended
            { cat "$file"; printf '\0\0\1\267'; } > "$feed"
        fi
        mpeg2dec "${args[@]}" -o pgmpipe "$feed" > "$tmp/$name.pgm" 2> /dev/null
        [ "$feed" = "$file" ] || rm -f "$feed"
        read -r -a s < <("$tmp/yuvcmp" "$ours" "$tmp/$name.pgm" pgm "$tmp/$name.sizes" "$chroma")
    fi
    report "$name" "$threshold" "$log" "${r[@]}" "${s[@]}"
    rm -f "$ours" "$ref" "$tmp/$name.pgm"
}

selected() { echo "$1" | grep -Eq -- "$pattern"; }

# ---- MPEG-1 and MPEG-2 video through ffmpeg's encoders ---------------------------------------
m12() {  # m12 NAME CODEC SIZE FRAMES PIXFMT THRESHOLD FFMPEG-ARGS...
    local name=$1 codec=$2 size=$3 frames=$4 pix=$5 threshold=$6
    shift 6
    selected "$name" || return 0
    local chroma=420
    [ "$pix" = yuv422p ] && chroma=422
    source "$size" "$frames" "$pix" "$tmp/src.y4m"
    if ! ff -i "$tmp/src.y4m" -c:v "$codec" "$@" -f "$codec" "$tmp/$name.m2v"; then
        echo "$name: encoder refused" >&2
        return 0
    fi
    compare "$name" "$tmp/$name.m2v" "$chroma" "$threshold" es mpeg2dec
    rm -f "$tmp/$name.m2v"
}

for codec in mpeg1video mpeg2video; do
    c=m1
    [ $codec = mpeg2video ] && c=m2
    for size in 16x16 48x32 176x144 352x240 720x480 720x576 350x286 1920x1080 1918x1078; do
        frames=12
        case $size in 1920x*|1918x*) frames=8 ;; esac
        m12 "${c}_${size}_bf2" $codec $size $frames yuv420p 50 -g 6 -bf 2 -q:v 4
    done
    for g in 1 2 15 300; do
        m12 "${c}_g${g}_bf1" $codec 176x144 30 yuv420p 50 -g $g -bf 1 -q:v 5
    done
    for bf in 0 1 2 3; do
        m12 "${c}_bf${bf}_cgop" $codec 176x144 24 yuv420p 50 -g 9 -bf $bf -flags +cgop -sc_threshold 1000000000 -q:v 5
        m12 "${c}_bf${bf}_strategy2" $codec 176x144 24 yuv420p 50 -g 12 -bf $bf -b_strategy 2 \
            -q:v 5
    done
    m12 "${c}_q1" $codec 176x144 12 yuv420p 50 -g 6 -bf 2 -qscale:v 1 -qmin 1
    m12 "${c}_q31" $codec 176x144 12 yuv420p 50 -g 6 -bf 2 -qscale:v 31
    m12 "${c}_40mbit" $codec 352x288 12 yuv420p 50 -g 6 -bf 2 -b:v 40M -maxrate 40M \
        -bufsize 20M
    m12 "${c}_matrices" $codec 176x144 12 yuv420p 50 -g 6 -bf 2 -q:v 3 \
        -intra_matrix "8,9,10,11,12,13,14,15,9,10,11,12,13,14,15,16,10,11,12,13,14,15,16,17,11,12,13,14,15,16,17,18,12,13,14,15,16,17,18,19,13,14,15,16,17,18,19,20,14,15,16,17,18,19,20,21,15,16,17,18,19,20,21,22" \
        -inter_matrix "16,20,24,28,32,36,40,44,20,24,28,32,36,40,44,48,24,28,32,36,40,44,48,52,28,32,36,40,44,48,52,56,32,36,40,44,48,52,56,60,36,40,44,48,52,56,60,64,40,44,48,52,56,60,64,68,44,48,52,56,60,64,68,72"
done
m12 m1_dc8 mpeg1video 176x144 8 yuv420p 50 -g 4 -bf 1 -q:v 2
for dc in 8 9 10 11; do
    m12 "m2_dc${dc}" mpeg2video 176x144 12 yuv420p 50 -g 6 -bf 2 -q:v 2 -dc $dc
done
m12 m2_intra_vlc mpeg2video 176x144 12 yuv420p 50 -g 6 -bf 2 -q:v 3 -intra_vlc 1
m12 m2_nonlinear mpeg2video 176x144 12 yuv420p 50 -g 6 -bf 2 -q:v 10 -qmax 28 -non_linear_quant 1
m12 m2_altscan mpeg2video 176x144 12 yuv420p 50 -g 6 -bf 2 -q:v 4 -alternate_scan 1
m12 m2_everything mpeg2video 352x288 15 yuv420p 50 -g 15 -bf 3 -q:v 3 -intra_vlc 1 -qmax 28 \
    -non_linear_quant 1 -alternate_scan 1 -dc 10 -flags +ildct+ilme -top 1
for top in 0 1; do
    for size in 176x144 720x576 350x286; do
        m12 "m2_il_top${top}_${size}" mpeg2video $size 12 yuv420p 50 -g 6 -bf 2 -q:v 4 \
            -flags +ildct+ilme -top $top
    done
done
m12 m2_422 mpeg2video 176x144 12 yuv422p 50 -g 6 -bf 2 -q:v 4
m12 m2_422_il mpeg2video 720x576 8 yuv422p 50 -g 6 -bf 2 -q:v 3 -flags +ildct+ilme -top 1 \
    -profile:v 0 -level:v 2 -dc 10
m12 m2_422_odd mpeg2video 350x286 8 yuv422p 50 -g 4 -bf 1 -q:v 3 -alternate_scan 1
m12 m2_seq_disp_ext mpeg2video 176x144 12 yuv420p 50 -g 6 -bf 2 -q:v 4 -seq_disp_ext 1 \
    -video_format 2
m12 m2_long_gop mpeg2video 176x144 300 yuv420p 48 -g 300 -bf 2 -q:v 3
m12 m1_long_gop mpeg1video 176x144 300 yuv420p 48 -g 300 -bf 0 -q:v 3

# ---- mjpegtools' mpeg2enc ---------------------------------------------------------------------
enc2() {  # enc2 NAME SIZE FRAMES RATE INTERLACED THRESHOLD MPEG2ENC-ARGS...
    local name=$1 size=$2 frames=$3 rate=$4 il=$5 threshold=$6
    shift 6
    selected "$name" || return 0
    ff -f lavfi -i "testsrc2=size=$size:rate=$rate,noise=alls=6:allf=t" -frames:v "$frames" \
        -pix_fmt yuv420p ${il:+-vf setfield=$il} -f yuv4mpegpipe "$tmp/src.y4m"
    if ! mpeg2enc -v 0 "$@" -o "$tmp/$name.m2v" < "$tmp/src.y4m" 2> "$tmp/$name.enc" ||
        [ ! -s "$tmp/$name.m2v" ]; then
        echo "$name: mpeg2enc refused: $(tail -1 "$tmp/$name.enc")" >&2
        return 0
    fi
    compare "$name" "$tmp/$name.m2v" 420 "$threshold" es mpeg2dec
    rm -f "$tmp/$name.m2v"
}
for f in 0 1 2 3 4 5 6 7 8; do
    size=352x288
    case $f in 0|1) size=352x288 ;; 2|7) size=480x576 ;; 3|4|8) size=720x576 ;; esac
    rate=4000
    [ $f = 0 ] && rate=1150
    enc2 "mpeg2enc_f$f" $size 12 25 "" 50 -f $f -a 2 -b $rate -g 6 -G 12
done
# (Field pictures: mpeg2enc's -I 2 crashes; the decoder's tests build them by hand.)
enc2 mpeg2enc_interlaced 352x288 12 25 tff 50 -f 3 -I 1 -b 4000 -g 6 -G 12
enc2 mpeg2enc_pulldown 352x240 24 24 "" 50 -f 3 -F 1 -p -b 4000 -g 6 -G 12
enc2 mpeg2enc_pulldown_f8 720x480 12 24 "" 50 -f 8 -F 1 -p -b 6000 -g 6 -G 12
enc2 mpeg2enc_mpeg1_q 176x144 24 25 "" 50 -f 0 -q 2 -b 1150 -g 6 -G 12 -R 0

# ---- stream-level oddities ---------------------------------------------------------------------
special() {  # special NAME: builds $tmp/NAME.m2v from two encodes and compares it
    local name=$1
    selected "$name" || return 0
    source 176x144 10 yuv420p "$tmp/a.y4m"
    source 128x96 10 yuv420p "$tmp/b.y4m"
    ff -i "$tmp/a.y4m" -c:v mpeg2video -g 6 -bf 2 -q:v 4 -f mpeg2video "$tmp/a.m2v"
    ff -i "$tmp/b.y4m" -c:v mpeg2video -g 6 -bf 2 -q:v 4 -f mpeg2video "$tmp/b.m2v"
    case $name in
        # ffmpeg ends its elementary streams without a sequence end code.
        seq_sizechange) { cat "$tmp/a.m2v"; printf '\0\0\1\267'; cat "$tmp/b.m2v"; } > "$tmp/$name.m2v" ;;
        seq_samesize) { cat "$tmp/a.m2v"; printf '\0\0\1\267'; cat "$tmp/a.m2v"; } > "$tmp/$name.m2v" ;;
        seq_no_end_code) cat "$tmp/a.m2v" "$tmp/b.m2v" > "$tmp/$name.m2v" ;;
        seq_cut_mid_picture)  # ends inside the seventh picture's slices
            head -c $(($(stat -c %s "$tmp/a.m2v") * 2 / 3)) "$tmp/a.m2v" > "$tmp/$name.m2v" ;;
    esac
    compare "$name" "$tmp/$name.m2v" 420 50 es mpeg2dec
}
for s in seq_sizechange seq_samesize seq_no_end_code seq_cut_mid_picture; do special $s; done

# ---- MPEG-4 Part 2 and H.263 -------------------------------------------------------------------
m4() {  # m4 NAME FORMAT(m4v|h263|avi) SIZE FRAMES THRESHOLD ENCODER-ARGS...
    local name=$1 ext=$2 size=$3 frames=$4 threshold=$5
    shift 5
    selected "$name" || return 0
    source "$size" "$frames" yuv420p "$tmp/src.y4m" "${extra_filter:-}"
    if ! ff -i "$tmp/src.y4m" "$@" -f $ext "$tmp/$name.$ext" 2> "$tmp/$name.enc"; then
        echo "$name: encoder refused" >&2
        return 0
    fi
    case $ext in
        avi) compare "$name" "$tmp/$name.$ext" 420 99 demux self ;;
        h263) compare "$name" "$tmp/$name.$ext" 420 "$threshold" es ;;
        *) compare "$name" "$tmp/$name.$ext" 420 "$threshold" es $xvid ;;
    esac
    rm -f "$tmp/$name.$ext"
}
mp4v="-c:v mpeg4 -q:v 4"
for bf in 0 1 2 3; do m4 "m4_bf$bf" m4v 176x144 20 56 $mp4v -g 12 -bf $bf; done
for g in 1 12 250; do m4 "m4_g$g" m4v 176x144 30 56 $mp4v -g $g -bf 1; done
m4 m4_qpel m4v 176x144 16 56 $mp4v -g 12 -bf 2 -flags +qpel
m4 m4_4mv m4v 176x144 16 56 $mp4v -g 12 -bf 2 -flags +mv4
m4 m4_aic m4v 176x144 16 56 $mp4v -g 12 -bf 1 -flags +aic
m4 m4_interlaced m4v 176x144 16 56 $mp4v -g 12 -bf 2 -flags +ildct+ilme
m4 m4_mpeg_quant m4v 176x144 16 56 $mp4v -g 12 -bf 2 -mpeg_quant 1
m4 m4_partitioned m4v 176x144 16 56 $mp4v -g 12 -bf 0 -data_partitioning 1 -ps 300
m4 m4_resync m4v 352x288 12 56 $mp4v -g 12 -bf 2 -ps 300
m4 m4_qpel_4mv_b3 m4v 176x144 20 56 $mp4v -g 12 -bf 3 -flags +qpel+mv4
m4 m4_q1 m4v 176x144 8 56 -c:v mpeg4 -q:v 1 -qmin 1 -g 4 -bf 1
m4 m4_q31 m4v 176x144 8 56 -c:v mpeg4 -q:v 31 -g 4 -bf 1
m4 m4_obmc_free m4v 176x144 16 56 $mp4v -g 12 -bf 2 -flags +mv4+aic -mbd rd -trellis 1
for size in 16x16 48x32 90x62 350x286 720x576; do
    m4 "m4_${size}" m4v $size 10 56 $mp4v -g 6 -bf 2
done
m4 m4_avi avi 176x144 16 56 -c:v mpeg4 -vtag XVID -q:v 4 -g 12 -bf 2
m4 m4_avi_unpacked avi 176x144 16 56 -c:v mpeg4 -vtag DX50 -q:v 4 -g 12 -bf 2 -bsf:v mpeg4_unpack_bframes
if ffmpeg -hide_banner -encoders 2> /dev/null | grep -q libxvid; then
    xv="-c:v libxvid -q:v 4"
    m4 xvid_bf0 m4v 176x144 16 56 $xv -g 12 -bf 0
    m4 xvid_bf2 m4v 176x144 20 56 $xv -g 12 -bf 2
    m4 xvid_qpel m4v 176x144 16 56 $xv -g 12 -bf 2 -flags +qpel
    m4 xvid_mpeg_quant m4v 176x144 16 56 $xv -g 12 -bf 1 -mpeg_quant 1
    m4 xvid_interlaced m4v 176x144 16 56 $xv -g 12 -bf 1 -flags +ildct
    extra_filter="scroll=h=0.01:v=0.004" m4 xvid_gmc_scroll m4v 176x144 16 56 $xv -g 12 -bf 0 -gmc 1
    m4 xvid_odd m4v 90x62 12 56 $xv -g 6 -bf 1
fi
h263="-c:v h263 -q:v 4"
for size in 128x96 176x144 352x288 704x576; do m4 "h263_$size" h263 $size 12 56 $h263 -g 6; done
m4 h263_gob h263 176x144 12 56 $h263 -g 6 -ps 200
m4 h263_q1 h263 176x144 8 56 -c:v h263 -q:v 1 -qmin 1 -g 4
# (ffmpeg's -obmc sets H.263's advanced prediction mode, whose bit the MPEG-4 short header
# reserves: not a stream this decoder takes.)

# ---- containers through qmdecode's graph --------------------------------------------------------
mux() {  # mux NAME EXT VIDEO-CODEC CHROMA FFMPEG-OUTPUT-ARGS...
    local name=$1 ext=$2 second=""
    shift 2
    selected "$name" || return 0
    ff -f lavfi -i "testsrc2=size=352x288:rate=25,noise=alls=6:allf=t" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000" -t 1.2 "$@" "$tmp/$name.$ext" ||
        { echo "$name: muxer refused" >&2; return 0; }
    case $ext in vob|mpg|ts) second=mpeg2dec ;; esac
    case " $* " in *" mpeg4 "*) compare "$name" "$tmp/$name.$ext" 420 99 demux self ;;
        *) compare "$name" "$tmp/$name.$ext" 420 50 demux $second ;;
    esac
    rm -f "$tmp/$name.$ext"
}
m2="-c:v mpeg2video -g 12 -bf 2 -q:v 4"
mux ps_vob_ac3_lpcm_mp2 vob -map 0:v -map 1:a -map 1:a -map 1:a $m2 -c:a:0 ac3 -c:a:1 pcm_dvd \
    -c:a:2 mp2 -f vob
mux ps_dvd_ac3 vob -map 0:v -map 1:a $m2 -c:a ac3 -f dvd
mux ps_mpeg1_system mpg -map 0:v -map 1:a -c:v mpeg1video -g 12 -bf 2 -q:v 4 -c:a mp2 -f mpeg
mux ps_mpeg2_il vob -map 0:v -map 1:a $m2 -flags +ildct+ilme -c:a mp2 -f vob
mux ts_mpeg2_ac3_mp2 ts -map 0:v -map 1:a -map 1:a $m2 -c:a:0 ac3 -c:a:1 mp2 -f mpegts
mux ts_resend_headers ts -map 0:v -map 1:a $m2 -c:a mp2 -mpegts_flags +resend_headers+pat_pmt_at_frames -f mpegts
mux ts_two_programs ts -map 0:v -map 1:a -map 0:v -map 1:a $m2 -c:a mp2 \
    -program title=a:st=0:st=1 -program title=b:st=2:st=3 -f mpegts
mux ts_mpeg1 ts -map 0:v -map 1:a -c:v mpeg1video -g 12 -bf 2 -q:v 4 -c:a mp2 -f mpegts
mux m2ts_lpcm m2ts -map 0:v -map 1:a $m2 -c:a pcm_bluray -mpegts_m2ts_mode 1 -f mpegts
mux avi_mpeg4_mp3 avi -map 0:v -map 1:a -c:v mpeg4 -vtag XVID -q:v 4 -g 12 -bf 2 \
    -c:a libmp3lame -f avi
mux avi_mpeg4_ac3 avi -map 0:v -map 1:a -c:v mpeg4 -vtag DIVX -q:v 4 -g 12 -bf 0 -c:a ac3 -f avi
mux avi_mpeg2 avi -map 0:v -map 1:a $m2 -c:a mp2 -f avi

echo "$count streams, $bad disagree"
exit $((bad > 125 ? 125 : bad))
