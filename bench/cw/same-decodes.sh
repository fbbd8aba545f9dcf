#!/usr/bin/env bash
# Decodes the committed test clips and a set of synthesized recordings with impairments, skims
# those recordings and a band of several signals, and writes each decode (text and JSON lines)
# into OUTDIR, so that two builds can be compared with `diff -r`: a change that is only meant
# to make decoding faster must leave every file alike.
#
#   bench/cw/same-decodes.sh MORSETOOL OUTDIR [RECORDINGS]
#
# RECORDINGS (default OUTDIR/../recordings) keeps the synthesized recordings; they are made once,
# by MORSETOOL, so that both builds decode the very same samples.
set -euo pipefail

if [[ $# -lt 2 ]]; then
    echo "usage: $0 MORSETOOL OUTDIR [RECORDINGS]" >&2
    exit 2
fi
morsetool=$(realpath "$1")
out=$2
recordings=${3:-$out/../recordings}
root=$(cd "$(dirname "$0")/../.." && pwd)
start=2026-01-01T00:00:00
mkdir -p "$out" "$recordings"

text="CQ CQ DE K1ABC K1ABC PSE K UR RST 599 599 QTH BOSTON NAME JOE HW CPY"
# name, then synth options: one impairment each, at +6 dB unless said otherwise.
cases=(
    "clean-25 --wpm 25 --snr 10"
    "noise-minus6 --wpm 30 --snr -6"
    "crashes --wpm 20 --snr 6 --crashes 3 --crash-level 40"
    "crashes-agc --wpm 28 --snr 6 --crashes 2 --crash-level 30 --agc 0.3"
    "fading --wpm 22 --snr 6 --qsb 0.5 --qsb-depth 20"
    "drift --wpm 18 --snr 6 --drift 2"
    "chirp --wpm 35 --snr 6 --chirp 20"
    "phase-restart --wpm 22 --snr 6 --phase-restart --phase-noise 0.5"
    "weighting --wpm 40 --snr 6 --weight 1.4 --rise 2 --jitter 10"
    "farnsworth --wpm 25 --farnsworth 12 --snr 6"
    "neighbour --wpm 24 --snr 6 --neighbour-pitch 600 --neighbour-level 20 --neighbour-wpm 30"
    "leakage --wpm 20 --snr 6 --pitch 820 --neighbour-pitch 700 --neighbour-level 10 --neighbour-text 'QRL? QRL? TEST TEST TEST TEST TEST TEST TEST TEST'"
    "speed-change --wpm 12 --wpm-end 45 --snr 3 --rate 11025"
)
for entry in "${cases[@]}"; do
    eval "words=($entry)"
    file=$recordings/${words[0]}.flac
    [[ -f $file ]] || "$morsetool" synth --seed 7 "${words[@]:1}" -o "$file" "$text" >/dev/null
done

decode() { # name, input, decode options...
    local name=$1 input=$2
    shift 2
    "$morsetool" decode --quiet --start-time $start "$@" -o "$out/$name.txt" -- "$input" \
        2>"$out/$name.err.txt" || echo "exit $?" >>"$out/$name.err.txt"
    "$morsetool" decode --quiet --start-time $start --format jsonl "$@" \
        -o "$out/$name.jsonl" -- "$input" 2>/dev/null || true
}

rm -f "$out"/*.txt "$out"/*.jsonl
for clip in "$root"/tests/data/cw/*.flac; do
    decode "clip-$(basename "$clip" .flac)" "$clip"
done
for clip in "$root"/tests/data/rtty/*.flac; do
    name=rtty-$(basename "$clip" .flac)
    "$morsetool" decode --mode rtty --quiet --start-time $start "$clip" >"$out/$name.txt" \
        2>"$out/$name.err.txt" || echo "exit $?" >>"$out/$name.err.txt"
done
for file in "$recordings"/*.flac; do
    name=$(basename "$file" .flac)
    decode "synth-$name" "$file"
done
# The skimmer, on every recording and on a band of six signals (mixed when sox is there).
band=$recordings/band.wav
if [[ ! -f $band ]] && command -v sox >/dev/null; then
    parts=()
    for i in 0 1 2 3 4 5; do
        part=$recordings/band-part-$i.wav
        "$morsetool" synth --seed $((11 + i)) --wpm $((16 + 5 * i)) --pitch $((500 + 430 * i)) \
            --snr $((12 - 3 * i)) -o "$part" "$text" >/dev/null
        parts+=("$part")
    done
    sox -m "${parts[@]}" "$band"
fi
[[ -f $band ]] || echo "same-decodes: sox is missing, the band of six signals is left out" >&2
for file in "$recordings"/*.flac "$recordings"/band.wav; do
    [[ -f $file ]] || continue
    name=skim-$(basename "${file%.*}")
    "$morsetool" skim --quiet "$file" >"$out/$name.txt" 2>"$out/$name.err.txt" ||
        echo "exit $?" >>"$out/$name.err.txt"
done
decode "pitch-neighbour" "$recordings/neighbour.flac" --pitch 700
decode "pitch-leakage" "$recordings/leakage.flac" --pitch 820
echo "$(ls "$out" | wc -l) files in $out"
