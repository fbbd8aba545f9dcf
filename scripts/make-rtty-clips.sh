#!/usr/bin/env bash
# Makes the short RTTY clips that tests/rtty decodes, with two independent generators: our
# synthesizer (morsetool synth --mode rtty) and minimodem. Each clip NAME.flac gets NAME.txt,
# the text it carries. Existing clips are kept; delete one to make it again.
#   scripts/make-rtty-clips.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
morsetool="${1:-build}/bin/morsetool"
out=tests/data/rtty
mkdir -p "$out"
command -v minimodem >/dev/null || { echo "make-rtty-clips: minimodem is missing (scripts/install-deps.sh --extra)" >&2; exit 1; }
[ -x "$morsetool" ] || { echo "make-rtty-clips: no $morsetool; build first" >&2; exit 1; }

# ours NAME TEXT OPTIONS...: a clip from our synthesizer, with some noise.
ours() {
    local name=$1 text=$2
    shift 2
    [ -e "$out/$name.flac" ] && return
    "$morsetool" synth --mode rtty "$text" -o "$out/$name.flac" --snr 10 --seed 7 "$@"
    printf '%s\n' "$text" >"$out/$name.txt"
}

# peer NAME TEXT BAUD MARK SPACE STOPBITS [--inverted]: a clean clip from minimodem.
peer() {
    local name=$1 text=$2 baud=$3 mark=$4 space=$5 stop=$6
    shift 6
    [ -e "$out/$name.flac" ] && return
    printf '%s\n' "$text" | minimodem --tx --quiet --baudot --stopbits "$stop" -R 8000 \
        -M "$mark" -S "$space" "$@" -f "$out/$name.flac" "$baud"
    printf '%s\n' "$text" >"$out/$name.txt"
}

ours ours-45-170 "RYRY CQ CQ DE TEST 599 K" --baud 45.45 --shift 170 --mark 1585
ours ours-50-425-reversed "WX 1013 HPA WIND 270/15" --baud 50 --shift 425 --mark 1000 --reverse
ours ours-75-850-1stop "THE QUICK BROWN FOX JUMPS OVER 13 DOGS" --baud 75 --shift 850 --mark 2125 --stop-bits 1
peer peer-45-170 "RYRY CQ DE PEER 73" 45.45 1585 1415 1.5
peer peer-50-425-2stop "NEWS 12:30 (UTC) ALL OK?" 50 1700 1275 2
peer peer-75-850-reversed "PEER AT 75 BAUD REVERSED" 75 1200 2050 1.5
# Russian weather text in MTK-2: Cyrillic letters on the codes of Latin letters.
peer peer-mtk2-50-425 "POGODA W MOSKWE MINUS 5 WETER 270 GRADUSOW 15 M/S" 50 1585 1160 1.5
