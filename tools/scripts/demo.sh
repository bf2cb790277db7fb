#!/usr/bin/env bash
# Installs what is missing, builds the release preset and decodes every bundled sample through
# the filter graph with qmdecode, writing the results to out/.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target qmdecode
mkdir -p out
q=build/release/tools/qmdecode/qmdecode
$q samples/sample-mpeg2.m2v out/sample-mpeg2.y4m
$q samples/sample-mpeg1.m1v out/sample-mpeg1.y4m
$q samples/sample-layer3.mp3 out/sample-layer3.wav
$q samples/sample-layer2.mp2 out/sample-layer2.wav
$q --type lpcm --rate 48000 samples/sample-lpcm-48k.pcm out/sample-lpcm.wav
