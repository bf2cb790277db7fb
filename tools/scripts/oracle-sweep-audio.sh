#!/usr/bin/env bash
# Differential sweep of the audio decoders: generates a wide range of streams with the installed
# encoders (lame, twolame, ffmpeg), decodes them with umc-decode and qmdecode and with the
# reference decoders (mpg123, ffmpeg, a52dec), and prints one line per stream: name, samples per
# channel ours/reference, channels ours/reference, the lowest per-channel PSNR against the first
# and the second reference, and a verdict. Run by hand from anywhere after building the release
# preset; needs the tools above and python3. Never run by CI.
#     bash tools/scripts/oracle-sweep-audio.sh [mpa|l2|conf|ac3|lpcm|mux|all] [--keep DIR]
# Verdicts: ok (same length and channels, PSNR at or above the threshold), len (lengths differ),
# diff (PSNR below the threshold), fail (ours gave no output), refused (ours refuses the format on
# purpose: the DVD LPCM filter takes 16-bit stereo only).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
UMC=${UMC_DECODE:-$root/build/release/tools/umc-decode/umc-decode}
QM=${QMDECODE:-$root/build/release/tools/qmdecode/qmdecode}
EDIT=${AC3_EDIT:-$root/build/release/tools/ac3-edit/ac3-edit}
for t in "$UMC" "$QM" "$EDIT"; do
    [ -x "$t" ] || { echo "build $(basename "$t") first (release preset)"; exit 1; }
done
what=${1:-all}
work=$(mktemp -d)
if [ "${2:-}" = --keep ]; then
    work=${3:?--keep DIR}
    mkdir -p "$work"
else
    trap 'rm -rf "$work"' EXIT
fi
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# Reads WAVE files (plain or extensible), matches channels by speaker bit, and prints the line.
cat > "$work/compare.py" <<'PY'
import math, struct, sys

def read_wav(path):
    data = open(path, "rb").read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError("not a WAVE file")
    pos, ch, mask, pcm = 12, 0, 0, b""
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if tag == b"fmt ":
            fmt, ch = struct.unpack("<HH", body[:4])
            if fmt == 0xFFFE and len(body) >= 24:
                mask = struct.unpack("<I", body[20:24])[0]
        elif tag == b"data":
            pcm = body
        pos += 8 + size + (size & 1)
    if not mask:
        mask = {1: 0x4, 2: 0x3, 3: 0x7, 4: 0x33, 5: 0x37, 6: 0x3F}.get(ch, 0)
    n = len(pcm) // (2 * ch)
    s = struct.unpack("<%dh" % (n * ch), pcm[:n * ch * 2])
    return mask, [list(s[c::ch]) for c in range(ch)]

def bits(mask):
    return [1 << b for b in range(32) if mask >> b & 1]

def fold(mask, chans):
    # The two-channel fold our AC-3 decoder applies by default, from the coded channels.
    k = 0.70710677
    by = dict(zip(bits(mask), chans))
    n = len(chans[0])
    z = [0.0] * n
    left, right = list(by.get(1, z)), list(by.get(2, z))
    if 4 in by:
        left = [a + k * c for a, c in zip(left, by[4])]
        right = [a + k * c for a, c in zip(right, by[4])]
    sur = [0.0] * n
    for b in (0x10, 0x20, 0x100, 0x200, 0x400):
        if b in by:
            sur = [a + c for a, c in zip(sur, by[b])]
    left = [a - k * s for a, s in zip(left, sur)]
    right = [a + k * s for a, s in zip(right, sur)]
    clip = lambda v: max(-32768, min(32767, int(math.floor(v + 0.5))))
    return 0x3, [[clip(v) for v in left], [clip(v) for v in right]]

def psnr(a, b, off=0, start=0, count=None):
    lo = max(start, -off)
    hi = min(len(a), len(b) - off)
    if count is not None:
        hi = min(hi, lo + count)
    if hi <= lo:
        return 0.0
    err = sum((a[i] - b[i + off]) ** 2 for i in range(lo, hi)) / (hi - lo)
    return 200.0 if err == 0 else 10 * math.log10(32767.0 ** 2 / err)

def channel_psnr(ours, ref, fit=False):
    om, oc = ours
    rm, rc = ref
    if len(oc) != len(rc):
        return None, 0
    pairs = list(zip(oc, rc))
    if om != rm and sorted(bits(om)) == sorted(bits(rm)):
        pairs = [(dict(zip(bits(om), oc))[b], dict(zip(bits(rm), rc))[b]) for b in bits(om)]
    off = 0
    if len(oc[0]) != len(rc[0]) and oc[0]:
        # Lengths differ: try the shifts that encoder delays and dropped frames give.
        cands = sorted({0} | {s * d for s in (1, -1) for d in (1, 528, 529, 576, 1105, 1152,
                                                               1536, 1680, 1729, 2304, 3072)})
        start = min(len(oc[0]), len(rc[0])) // 3
        off = max(cands, key=lambda d: (round(psnr(pairs[0][0], pairs[0][1], d, start, 4096), 1),
                                        -abs(d)))
    if fit:
        # Reference scaled by its own level normalisation: fit one gain for all channels.
        num = sum(a * b for o, r in pairs for a, b in zip(o, r))
        den = sum(b * b for o, r in pairs for b in r) or 1
        g = num / den
        pairs = [(o, [int(round(v * g)) for v in r]) for o, r in pairs]
    return min(psnr(o, r, off) for o, r in pairs), off

name, threshold, ours_path = sys.argv[1], float(sys.argv[2]), sys.argv[3]
refs, opts = [], set()
for a in sys.argv[4:]:
    (opts.add(a) if a.startswith("--") else refs.append(a))
try:
    ours = read_wav(ours_path)
except Exception:
    print("%-44s %17s %5s %8s %8s  fail" % (name, "-", "-", "-", "-"))
    sys.exit(0)
results, ref0 = [], None
for i, path in enumerate(refs):
    try:
        ref = read_wav(path)
    except Exception:
        results.append((None, 0))
        continue
    if "--fold" in opts and i == 0:
        ref = fold(*ref)
    if ref0 is None:
        ref0 = ref
    results.append(channel_psnr(ours, ref, fit="--fit2" in opts and i == 1))
r0 = ref0 or (0, [[]])
on, rn = len(ours[1][0]) if ours[1] else 0, len(r0[1][0]) if r0[1] else 0
first = results[0][0] if results else None
verdict = "ok"
if len(ours[1]) != len(r0[1]) or first is None:
    verdict = "channels"
elif first < threshold:
    verdict = "diff"
elif on != rn:
    verdict = "len"
shown = ["%8.2f" % p if p is not None else "%8s" % "-" for p, _ in results]
shown += ["%8s" % ""] * (2 - len(shown))
extra = " shift %d" % results[0][1] if results and results[0][1] else ""
print("%-44s %8d/%-8d %2d/%-2d %s %s  %s%s" % (name, on, rn, len(ours[1]), len(r0[1]),
                                              shown[0], shown[1], verdict, extra))
PY

cmp_line() { python3 "$work/compare.py" "$@"; }
header() {
    echo
    echo "== $1"
    printf '%-44s %17s %5s %8s %8s  %s\n' stream "ours/ref samples" ch "psnr1" "psnr2" verdict
}

# Test signals: tones, a sweep, noise and bursts (the bursts make the encoders switch to short
# blocks); different in each channel, and low enough that no decoded channel saturates (a
# saturated channel makes a fold of the decoded channels differ from a fold before rounding).
signal() {  # rate seconds channels out.wav
    local expr="" i f e
    for ((i = 0; i < $3; i++)); do
        f=$((330 + 210 * i))
        e="0.22*sin(2*PI*$f*t)+0.1*sin(2*PI*($((f * 3))+400*sin(2*PI*0.7*t))*t)"
        e="$e+0.3*sin(2*PI*$((2500 + 700 * i))*t)*lt(mod(t+0.0$i\\,0.25)\\,0.012)"
        e="$e+0.03*(random($i)-0.5)"
        expr="${expr:+$expr|}$e"
    done
    ff -f lavfi -i "aevalsrc=$expr:s=$1:d=$2" -c:a pcm_s16le "$4"
}

# MPEG audio: ours (umc-decode) against mpg123 and ffmpeg.
mpa_check() {  # name stream
    local n=$1 s=$2
    "$UMC" --codec mpa "$s" "$work/$n.ours.wav" 2>/dev/null
    mpg123 -q --no-gapless -w "$work/$n.mpg123.wav" "$s" 2>/dev/null
    ff -i "$s" -c:a pcm_s16le "$work/$n.ff.wav" 2>/dev/null
    cmp_line "$n" 90 "$work/$n.ours.wav" "$work/$n.mpg123.wav" "$work/$n.ff.wav"
}

sweep_mpa() {
    header "layer III (lame): psnr1 mpg123, psnr2 ffmpeg"
    local r m b v mode
    for r in 8000 11025 12000 16000 22050 24000 32000 44100 48000; do
        signal $r 1 2 "$work/s$r.wav"
        signal $r 1 1 "$work/m$r.wav"
    done
    # Every rate in every mode.
    for r in 8000 11025 12000 16000 22050 24000 32000 44100 48000; do
        local k
        k=$(awk "BEGIN { print $r / 1000 }")
        for m in s j f m; do
            b=64
            [ $r -le 12000 ] && b=24
            [ $r -ge 32000 ] && b=128
            lame --quiet -t -m $m -b $b --resample "$k" "$work/s$r.wav" "$work/l3_${r}_$m.mp3"
            mpa_check "l3_${r}_${m}_$b" "$work/l3_${r}_$m.mp3"
        done
        lame --quiet -t -m m -b $((b / 2)) --resample "$k" "$work/m$r.wav" "$work/l3_${r}_mono.mp3"
        mpa_check "l3_${r}_mono_in_$((b / 2))" "$work/l3_${r}_mono.mp3"
    done
    # Every bit rate of each version.
    for b in 32 40 48 56 64 80 96 112 128 160 192 224 256 320; do
        lame --quiet -t -m j -b $b --resample 44.1 "$work/s44100.wav" "$work/l3_b$b.mp3"
        mpa_check "l3_44100_j_$b" "$work/l3_b$b.mp3"
    done
    for b in 8 16 24 32 40 48 56 64 80 96 112 128 144 160; do
        lame --quiet -t -m j -b $b --resample 24 "$work/s24000.wav" "$work/l3_lsf_b$b.mp3"
        mpa_check "l3_24000_j_$b" "$work/l3_lsf_b$b.mp3"
    done
    for b in 8 16 32 64; do
        lame --quiet -t -m j -b $b --resample 11.025 "$work/s11025.wav" "$work/l3_25_b$b.mp3"
        mpa_check "l3_11025_j_$b" "$work/l3_25_b$b.mp3"
    done
    # VBR, ABR, free format, CRC, block switching, no reservoir, padding.
    for v in 0 1 2 3 4 5 6 7 8 9; do
        lame --quiet -t -V $v "$work/s44100.wav" "$work/l3_v$v.mp3"
        mpa_check "l3_44100_vbr_V$v" "$work/l3_v$v.mp3"
    done
    lame --quiet -t -V 4 "$work/s22050.wav" "$work/l3_v4_22.mp3"
    mpa_check "l3_22050_vbr_V4" "$work/l3_v4_22.mp3"
    lame --quiet -t -V 6 "$work/s8000.wav" "$work/l3_v6_8.mp3"
    mpa_check "l3_8000_vbr_V6" "$work/l3_v6_8.mp3"
    lame --quiet -t --abr 100 "$work/s44100.wav" "$work/l3_abr.mp3"
    mpa_check "l3_44100_abr100" "$work/l3_abr.mp3"
    for b in 40 200 300 400 450; do
        lame --quiet -t --freeformat -b $b "$work/s44100.wav" "$work/l3_ff$b.mp3"
        mpa_check "l3_44100_free_$b" "$work/l3_ff$b.mp3"
    done
    lame --quiet -t --freeformat -b 100 "$work/s24000.wav" "$work/l3_ff_lsf.mp3"
    mpa_check "l3_24000_free_100" "$work/l3_ff_lsf.mp3"
    lame --quiet -t -p -b 128 -m j "$work/s44100.wav" "$work/l3_crc_j.mp3"
    mpa_check "l3_44100_crc_j" "$work/l3_crc_j.mp3"
    lame --quiet -t -p -b 32 -m m "$work/m16000.wav" "$work/l3_crc_lsf.mp3"
    mpa_check "l3_16000_crc_mono" "$work/l3_crc_lsf.mp3"
    # lame ignores --short/--noshort/--allshort (developer-only): the bursts of every test
    # signal make it switch to short blocks, and mixed blocks never come from it.
    lame --quiet -t --nores -b 128 "$work/s44100.wav" "$work/l3_nores.mp3"
    mpa_check "l3_44100_nores" "$work/l3_nores.mp3"
    lame --quiet -t --strictly-enforce-ISO -b 112 "$work/s32000.wav" "$work/l3_iso.mp3"
    mpa_check "l3_32000_strict_iso" "$work/l3_iso.mp3"
    # Low bit rates in joint stereo make lame use intensity stereo where it can.
    lame --quiet -t -m j -b 32 --lowpass 15000 "$work/s44100.wav" "$work/l3_lowj.mp3"
    mpa_check "l3_44100_j_32_wideband" "$work/l3_lowj.mp3"
    lame --quiet -t -m j -b 8 "$work/s16000.wav" "$work/l3_lowj16.mp3"
    mpa_check "l3_16000_j_8" "$work/l3_lowj16.mp3"
    # Tags: Xing/Info frame, ID3v1, ID3v2 (lame's default writes the Info frame).
    lame --quiet -b 128 "$work/s44100.wav" "$work/l3_info.mp3"
    mpa_check "l3_44100_info_frame" "$work/l3_info.mp3"
    lame --quiet -V 3 "$work/s44100.wav" "$work/l3_xing.mp3"
    mpa_check "l3_44100_xing_vbr" "$work/l3_xing.mp3"
    lame --quiet -t -b 128 --id3v1-only --tt sweep "$work/s44100.wav" "$work/l3_id3v1.mp3"
    mpa_check "l3_44100_id3v1" "$work/l3_id3v1.mp3"
    lame --quiet -t -b 128 --id3v2-only --tt sweep --pad-id3v2-size 5000 "$work/s44100.wav" \
        "$work/l3_id3v2.mp3"
    mpa_check "l3_44100_id3v2" "$work/l3_id3v2.mp3"
    lame --quiet -t -b 128 --add-id3v2 --tt sweep "$work/s44100.wav" "$work/l3_id3v12.mp3"
    mpa_check "l3_44100_id3v1_v2" "$work/l3_id3v12.mp3"
    # Very short files, and files cut mid-frame at either end.
    local frames
    for frames in 1 2 3; do
        ff -i "$work/s44100.wav" -t "$(python3 -c "print($frames*1152/44100)")" \
            "$work/short$frames.wav"
        lame --quiet -t -b 128 "$work/short$frames.wav" "$work/l3_short$frames.mp3"
        mpa_check "l3_44100_${frames}_frames" "$work/l3_short$frames.mp3"
    done
    local src="$work/l3_b128.mp3" size cut
    size=$(stat -c %s "$src")
    tail -c +200 "$src" > "$work/l3_cut_head.mp3"
    mpa_check "l3_start_mid_frame" "$work/l3_cut_head.mp3"
    head -c $((size - 150)) "$src" > "$work/l3_cut_tail.mp3"
    mpa_check "l3_end_mid_frame" "$work/l3_cut_tail.mp3"
    for cut in 1 2 3; do
        local at=$(( (RANDOM * 32768 + RANDOM) % size ))
        head -c "$at" "$src" > "$work/l3_cut$cut.mp3"
        mpa_check "l3_cut_at_$at" "$work/l3_cut$cut.mp3"
    done
}

sweep_l2() {
    header "layer II (twolame, ffmpeg mp2): psnr1 mpg123, psnr2 ffmpeg"
    local r m b e
    for r in 16000 22050 24000 32000 44100 48000; do
        [ -f "$work/s$r.wav" ] || signal $r 1 2 "$work/s$r.wav"
        [ -f "$work/m$r.wav" ] || signal $r 1 1 "$work/m$r.wav"
        b=192
        [ $r -le 24000 ] && b=96
        for m in s j d; do
            twolame --quiet -m $m -b $b "$work/s$r.wav" "$work/l2_${r}_$m.mp2"
            mpa_check "l2_${r}_${m}_$b" "$work/l2_${r}_$m.mp2"
        done
        twolame --quiet -m m -b $((b / 2)) "$work/m$r.wav" "$work/l2_${r}_mono.mp2"
        mpa_check "l2_${r}_mono_$((b / 2))" "$work/l2_${r}_mono.mp2"
        ff -i "$work/s$r.wav" -c:a mp2 -b:a ${b}k "$work/l2_${r}_ffmpeg.mp2"
        mpa_check "l2_${r}_ffmpeg_mp2_$b" "$work/l2_${r}_ffmpeg.mp2"
        twolame --quiet -m j -b $b -p -d "$work/s$r.wav" "$work/l2_${r}_crcpad.mp2"
        mpa_check "l2_${r}_crc_padding" "$work/l2_${r}_crcpad.mp2"
    done
    # Every bit rate: MPEG-1 layer II allows 32 to 56 and 80 kbit/s in mono only and 224 kbit/s
    # and above in stereo only (joint stereo lets twolame pick the bound it needs at each).
    for b in 64 96 112 128 160 192 224 256 320 384; do
        twolame --quiet -m j -b $b "$work/s48000.wav" "$work/l2_b$b.mp2"
        mpa_check "l2_48000_j_$b" "$work/l2_b$b.mp2"
    done
    for b in 32 48 56 64 80 96 112 128 160 192; do
        twolame --quiet -m m -b $b "$work/m32000.wav" "$work/l2_m32_b$b.mp2"
        mpa_check "l2_32000_mono_$b" "$work/l2_m32_b$b.mp2"
    done
    for b in 8 16 24 32 40 48 56 64 80 96 112 128 144 160; do
        twolame --quiet -m j -b $b "$work/s22050.wav" "$work/l2_lsf_b$b.mp2"
        mpa_check "l2_22050_j_$b" "$work/l2_lsf_b$b.mp2"
    done
    for b in 32 48 56 64 80 96 112 128 160 192; do
        ff -i "$work/s44100.wav" -c:a mp2fixed -b:a ${b}k "$work/l2_fx_b$b.mp2"
        mpa_check "l2_44100_mp2fixed_$b" "$work/l2_fx_b$b.mp2"
    done
    for e in 5 c; do
        twolame --quiet -b 192 -e $e "$work/s44100.wav" "$work/l2_emph$e.mp2"
        mpa_check "l2_44100_emphasis_$e" "$work/l2_emph$e.mp2"
    done
    twolame --quiet -b 256 --freeformat "$work/s48000.wav" "$work/l2_free.mp2" 2>/dev/null &&
        mpa_check "l2_48000_free_format" "$work/l2_free.mp2"
    twolame --quiet -v -V 5 "$work/s44100.wav" "$work/l2_vbr.mp2"
    mpa_check "l2_44100_vbr" "$work/l2_vbr.mp2"
    # A lone frame gives no output from any of the three: a first frame is taken only when the
    # next header follows it. Two frames give one.
    twolame --quiet -b 192 -S "$work/s44100.wav" "$work/l2_one.mp2"
    cat "$work/l2_one.mp2" "$work/l2_one.mp2" > "$work/l2_two.mp2"
    mpa_check "l2_44100_two_single_frames" "$work/l2_two.mp2"
}

sweep_conf() {
    header "layer I/II/III conformance streams (read-only): psnr1 the stream's own reference, psnr2 mpg123"
    echo "(the layer I/II references are padded to a power-of-two size and the l3-he/si ones hold"
    echo "back the last frame: len is expected there; the ILL ones are damaged, only one frame long)"
    local c=${SHARED_DIR:-$root/../shared}/conformance/mpeg-audio f n
    [ -d "$c" ] || c=$root/../../shared/conformance/mpeg-audio
    if [ -d "$c" ]; then
        for f in "$c"/*.bit; do
            n=$(basename "$f" .bit)
            "$UMC" --codec mpa "$f" "$work/$n.ours.wav" 2>/dev/null
            mpg123 -q --no-gapless -w "$work/$n.mpg123.wav" "$f" 2>/dev/null
            python3 - "$f" "$work/$n.ours.wav" "$work/$n.ref.wav" <<'PY'
# The conformance references are raw 16-bit little-endian PCM; channels as ours decoded.
import struct, sys
bit, ours, out = sys.argv[1:4]
raw = open(bit[:-4] + ".pcm", "rb").read()
try:
    ch = struct.unpack("<H", open(ours, "rb").read()[22:24])[0]
except Exception:
    ch = 2
body = raw[:len(raw) // (2 * ch) * 2 * ch]
hdr = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(body), b"WAVE", b"fmt ", 16, 1, ch,
                  48000, 48000 * 4, 2 * ch, 16, b"data", len(body))
open(out, "wb").write(hdr + body)
PY
            if [ -f "$work/$n.ours.wav" ] || [ -f "$work/$n.mpg123.wav" ]; then
                cmp_line "$n" 90 "$work/$n.ours.wav" "$work/$n.ref.wav" "$work/$n.mpg123.wav"
            else
                printf '%-44s %17s %5s %8s %8s  none (nor from mpg123)\n' "$n" - - - -
            fi
        done
    else
        echo "conformance streams absent: skipped"
    fi
}

# AC-3: every channel as coded (umc-decode --channels coded) against ffmpeg (psnr1) and a52dec's
# six-channel float output... (psnr2), on no-dither copies, and the default two-channel fold
# against the fold of ffmpeg's channels (psnr1) and a52dec's Dolby-compatible downmix scaled to
# its level (psnr2).
ac3_check() {  # name stream [a52dec gain-fit]
    local n=$1 s=$2 note="" t=90
    # When ac3-edit cannot rewrite every frame, the stream is compared as encoded, dither and
    # all, at the dithered threshold.
    if ! "$EDIT" undither "$s" "$work/$n.nd.ac3" > "$work/$n.edit.log" 2>&1; then
        note=" (dithered: ac3-edit $(grep -o '[0-9]* left as they were' "$work/$n.edit.log"))"
        cp "$s" "$work/$n.nd.ac3"
        t=40
    fi
    "$UMC" --codec ac3 --channels coded "$work/$n.nd.ac3" "$work/$n.coded.wav" 2>/dev/null
    ff -i "$work/$n.nd.ac3" -c:a pcm_s16le "$work/$n.ff.wav" 2>/dev/null
    echo "$(cmp_line "$n coded" $t "$work/$n.coded.wav" "$work/$n.ff.wav")$note"
    "$UMC" --codec ac3 "$work/$n.nd.ac3" "$work/$n.fold.wav" 2>/dev/null
    a52dec -a -o wavdolby "$work/$n.nd.ac3" > "$work/$n.a52.wav" 2>/dev/null
    echo "$(cmp_line "$n fold" $t "$work/$n.fold.wav" "$work/$n.ff.wav" "$work/$n.a52.wav" \
        --fold --fit2)$note"
}

sweep_ac3() {
    header "AC-3 (ffmpeg ac3/ac3_fixed): coded psnr1 ffmpeg; fold psnr1 ffmpeg folded, psnr2 a52dec dolby (gain fitted)"
    local layouts="mono:FC stereo:FL+FR 30:FL+FR+FC 21:FL+FR+BC 31:FL+FR+FC+BC 22:FL+FR+BL+BR"
    layouts="$layouts 32:FL+FR+FC+BL+BR 10lfe:FC+LFE 20lfe:FL+FR+LFE 30lfe:FL+FR+FC+LFE"
    layouts="$layouts 21lfe:FL+FR+LFE+BC 31lfe:FL+FR+FC+LFE+BC 22lfe:FL+FR+LFE+BL+BR"
    layouts="$layouts 32lfe:FL+FR+FC+LFE+BL+BR"
    local l name lay ch r b enc
    for l in $layouts; do
        name=${l%%:*} lay=${l#*:}
        ch=$(($(tr -cd + <<< "$lay" | wc -c) + 1))
        signal 48000 0.5 $ch "$work/a$name.wav"
        ff -i "$work/a$name.wav" -af "aformat=channel_layouts=$lay" -c:a ac3 -b:a $((ch * 64))k \
            "$work/ac3_$name.ac3"
        ac3_check "ac3_${name}_48k" "$work/ac3_$name.ac3"
    done
    for r in 32000 44100 48000; do
        signal $r 0.5 6 "$work/a6_$r.wav"
        for enc in ac3 ac3_fixed; do
            ff -i "$work/a6_$r.wav" -af "aformat=channel_layouts=5.1" -c:a $enc -b:a 384k \
                "$work/ac3_${enc}_$r.ac3"
            ac3_check "${enc}_51_$r" "$work/ac3_${enc}_$r.ac3"
            ff -i "$work/a6_$r.wav" -ac 2 -c:a $enc -b:a 128k "$work/ac3_${enc}_st_$r.ac3"
            ac3_check "${enc}_stereo_$r" "$work/ac3_${enc}_st_$r.ac3"
        done
    done
    [ -f "$work/a6_48000.wav" ] || signal 48000 0.5 6 "$work/a6_48000.wav"
    for b in 32 40 48 56 64 80 96 112 128 160 192 224 256 320 384 448 512 576 640; do
        ff -i "$work/a6_48000.wav" -ac 2 -c:a ac3 -b:a ${b}k "$work/ac3_b$b.ac3"
        ac3_check "ac3_stereo_48k_$b" "$work/ac3_b$b.ac3"
    done
    for b in 192 448 640; do
        ff -i "$work/a6_48000.wav" -af aformat=channel_layouts=5.1 -c:a ac3 -b:a ${b}k \
            "$work/ac3_51b$b.ac3"
        ac3_check "ac3_51_48k_$b" "$work/ac3_51b$b.ac3"
    done
    local opt
    for opt in "-dialnorm -31" "-dialnorm -1" "-dmix_mode 1" "-dmix_mode 2" "-center_mixlev 0.5" \
        "-surround_mixlev 0" "-channel_coupling 0" "-channel_coupling 1 -cpl_start_band 1" \
        "-channel_coupling 1 -cpl_start_band 15" "-stereo_rematrixing 0" "-dsur_mode 2" \
        "-room_type 1 -mixing_level 100"; do
        ff -i "$work/a6_48000.wav" -af aformat=channel_layouts=5.1 -c:a ac3 -b:a 384k $opt \
            "$work/ac3_opt.ac3"
        ac3_check "ac3_51 ${opt// /}" "$work/ac3_opt.ac3"
        ff -i "$work/a6_48000.wav" -ac 2 -c:a ac3 -b:a 160k $opt "$work/ac3_opt2.ac3" 2>/dev/null &&
            ac3_check "ac3_stereo ${opt// /}" "$work/ac3_opt2.ac3"
    done
    # Dual mono (no encoder writes it: a 2/0 stream without coupling rewritten as 1+1).
    ff -i "$work/a6_48000.wav" -ac 2 -c:a ac3 -b:a 192k -channel_coupling 0 "$work/dm_src.ac3"
    "$EDIT" dualmono "$work/dm_src.ac3" "$work/dm.ac3" >/dev/null 2>&1
    ac3_check "ac3_dual_mono" "$work/dm.ac3"
    # Dynamic range words, applied in full by default by both sides.
    ff -i "$work/a6_48000.wav" -ac 2 -c:a ac3 -b:a 192k "$work/drc_src.ac3"
    "$EDIT" gain 1024 "$work/drc_src.ac3" "$work/drc.ac3" >/dev/null 2>&1
    ac3_check "ac3_dynrng" "$work/drc.ac3"
    # Dithered streams as encoded: only the noise fill may differ.
    "$UMC" --codec ac3 --channels coded "$work/ac3_51b448.ac3" "$work/dith.wav" 2>/dev/null
    ff -i "$work/ac3_51b448.ac3" -c:a pcm_s16le "$work/dith.ff.wav"
    cmp_line "ac3_51_dithered (40 dB)" 40 "$work/dith.wav" "$work/dith.ff.wav"
    # Cut streams (from the no-dither copy). ffmpeg outputs the incomplete last frame, ours
    # waits for the rest of it.
    local nd=$work/ac3_51_48k_448.nd.ac3 size
    size=$(stat -c %s "$nd")
    tail -c +1000 "$nd" > "$work/cut_head.ac3"
    ac3_check "ac3_51_start_mid_frame" "$work/cut_head.ac3"
    head -c $((size - 700)) "$nd" > "$work/cut_tail.ac3"
    ac3_check "ac3_51_end_mid_frame" "$work/cut_tail.ac3"
}

sweep_lpcm() {
    header "DVD LPCM in VOB (ffmpeg pcm_dvd) through qmdecode: psnr1 ffmpeg"
    local r ch bits n
    for r in 48000 96000; do
        for ch in 1 2 6 8; do
            for bits in 16 20 24; do
                n=lpcm_${r}_${ch}ch_$bits
                signal $r 0.5 $ch "$work/$n.wav"
                local fmt=s16
                [ $bits -gt 16 ] && fmt=s32
                ff -i "$work/$n.wav" -sample_fmt $fmt -c:a pcm_dvd \
                    $([ $bits = 20 ] && echo -bits_per_raw_sample 20) -f vob "$work/$n.vob" \
                    2>/dev/null ||
                    { printf '%-44s encoder refused\n' "$n"; continue; }
                ff -i "$work/$n.vob" -c:a pcm_s16le "$work/$n.ff.wav"
                if "$QM" "$work/$n.vob" "$work/$n.ours.wav" >/dev/null 2>"$work/$n.log"; then
                    cmp_line "$n" 90 "$work/$n.ours.wav" "$work/$n.ff.wav"
                elif [ $ch != 2 ] || [ $bits != 16 ]; then
                    printf '%-44s %17s %5s %8s %8s  refused (%s)\n' "$n" - - - - \
                        "$(tail -1 "$work/$n.log" | cut -c1-60)"
                else
                    printf '%-44s %17s %5s %8s %8s  fail (%s)\n' "$n" - - - - \
                        "$(tail -1 "$work/$n.log" | cut -c1-60)"
                fi
            done
        done
    done
}

sweep_mux() {
    header "MPEG audio and AC-3 in VOB/TS/AVI through qmdecode: psnr1 umc-decode on the elementary stream"
    [ -f "$work/s48000.wav" ] || signal 48000 1 2 "$work/s48000.wav"
    [ -f "$work/a6_48000.wav" ] || signal 48000 0.5 6 "$work/a6_48000.wav"
    ff -i "$work/s48000.wav" -c:a libmp3lame -b:a 128k -write_xing 0 "$work/mux.mp3"
    ff -i "$work/s48000.wav" -c:a mp2 -b:a 192k "$work/mux.mp2"
    ff -i "$work/a6_48000.wav" -af aformat=channel_layouts=5.1 -c:a ac3 -b:a 448k "$work/mux.ac3"
    local es c n ext codec
    for es in mp3 mp2 ac3; do
        codec=mpa
        [ $es = ac3 ] && codec=ac3
        "$UMC" --codec $codec "$work/mux.$es" "$work/mux.$es.wav" 2>/dev/null
        for c in vob ts avi mpg; do
            n=mux_${es}_in_$c
            ff -f lavfi -i "testsrc=s=176x144:r=25:d=1" -i "$work/mux.$es" -c:v mpeg2video \
                -c:a copy -shortest "$work/$n.$c" 2>/dev/null ||
                ff -i "$work/mux.$es" -c:a copy "$work/$n.$c"
            "$QM" "$work/$n.$c" "$work/$n.y4m" "$work/$n.wav" >/dev/null 2>"$work/$n.log"
            mux_line "$n" "$work/$n.$c" "$work/$n.wav" "$work/mux.$es.wav" "$work/$n.log"
            ff -i "$work/mux.$es" -c:a copy "$work/${n}_audio_only.$c" 2>/dev/null &&
                "$QM" "$work/${n}_audio_only.$c" "$work/${n}_ao.wav" >/dev/null 2>"$work/$n.ao.log"
            mux_line "${n}_audio_only" "$work/${n}_audio_only.$c" "$work/${n}_ao.wav" \
                "$work/mux.$es.wav" "$work/$n.ao.log"
        done
    done
    # 5.1 at 640 kbit/s: frames longer than a 2 KiB pack, so some packets carry no time stamp.
    ff -i "$work/a6_48000.wav" -af aformat=channel_layouts=5.1 -c:a ac3 -b:a 640k "$work/big.ac3"
    "$UMC" --codec ac3 "$work/big.ac3" "$work/big.ac3.wav" 2>/dev/null
    for c in vob ts; do
        ff -i "$work/big.ac3" -c:a copy "$work/big.$c" 2>/dev/null
        "$QM" "$work/big.$c" "$work/big.$c.wav" >/dev/null 2>"$work/big.$c.log"
        mux_line "mux_ac3_640k_in_${c}_audio_only" "$work/big.$c" "$work/big.$c.wav" \
            "$work/big.ac3.wav" "$work/big.$c.log"
    done
}

# The elementary stream's decode cut to the audio frames that ffmpeg finds in the container
# (-shortest drops the last ones), and qmdecode's complaint when it gave up.
mux_line() {  # name container ours.wav es.wav qmdecode.log
    local frames per=1152
    [[ $4 == *ac3* ]] && per=1536
    frames=$(ffprobe -v error -count_frames -select_streams a -show_entries \
        stream=nb_read_frames -of csv=p=0 "$2" | grep -m1 -o '[0-9]\+')
    python3 - "$4" "$work/cut.wav" $((frames * per)) <<'PY'
import struct, sys
src, out, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
d = open(src, "rb").read()
i = d.find(b"data")
ch = struct.unpack("<H", d[22:24])[0]
body = d[i + 8:i + 8 + n * 2 * ch]
hdr = bytearray(d[:i + 8])
struct.pack_into("<I", hdr, 4, len(hdr) - 8 + len(body))
struct.pack_into("<I", hdr, i + 4, len(body))
open(out, "wb").write(bytes(hdr) + body)
PY
    local line
    line=$(cmp_line "$1" 90 "$3" "$work/cut.wav")
    [ -s "$5" ] && line="$line ($(grep -v '^stream\|^decoded' "$5" | head -1 | cut -c1-70))"
    echo "$line"
}

case $what in
mpa) sweep_mpa ;;
l2) sweep_l2 ;;
conf) sweep_conf ;;
ac3) sweep_ac3 ;;
lpcm) sweep_lpcm ;;
mux) sweep_mux ;;
all) sweep_mpa; sweep_l2; sweep_conf; sweep_ac3; sweep_lpcm; sweep_mux ;;
*) echo "usage: $0 [mpa|l2|conf|ac3|lpcm|mux|all] [--keep DIR]"; exit 2 ;;
esac
