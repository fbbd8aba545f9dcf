#!/usr/bin/env bash
# Makes the short CW test clips in tests/data/cw/ with ebook2cw, a generator independent of
# ours: it starts every element's tone afresh, so elements that are not a whole number of
# cycles long restart the phase. Each clip is NAME.flac (8 kHz, 16-bit mono) with its text in
# NAME.txt. Needs ebook2cw and sox with MP3 support (scripts/install-deps.sh --extra).
#   scripts/make-cw-clips.sh [OUTPUT_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/tests/data/cw}
for tool in ebook2cw sox; do
    if ! command -v "$tool" >/dev/null; then
        echo "make-cw-clips: $tool is missing (scripts/install-deps.sh --extra installs it)" >&2
        exit 1
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# clip NAME TEXT EBOOK2CW-OPTIONS... [-- SOX-EFFECTS...]: MP3 from ebook2cw at 11025 Hz, then
# sox to 8 kHz FLAC with the effects given, after the conversion (sox would put them before
# the rate conversion it adds, where its tremolo came out 3 dB under the recording's level).
clip() {
    local name=$1 text=$2
    shift 2
    local options=() effects=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        options+=("$1")
        shift
    done
    [ $# -gt 0 ] && shift
    [ $# -gt 0 ] && effects=(rate 8000 "$@")
    # An empty separator keeps ebook2cw from splitting chapters and numbering the file.
    (cd "$work" && printf '%s\n' "$text" | ebook2cw -c "" -p -o "$name" "${options[@]}" \
        >/dev/null 2>&1)
    local source
    source=$(find "$work" -maxdepth 1 -name "$name.*" | head -n 1)
    sox -V1 "$source" -r 8000 -b 16 -c 1 "$out/$name.flac" "${effects[@]}"
    printf '%s\n' "$text" >"$out/$name.txt"
}

# Speeds whose elements are not a whole number of cycles of the tone.
clip ebook2cw-13wpm "CQ DE K1ABC" -w 13 -f 700
clip ebook2cw-22wpm "UR RST 579 TNX" -w 22 -f 700
clip ebook2cw-27wpm "QTH BERLIN NAME JO" -w 27 -f 640
clip ebook2cw-38wpm "TEST DL2XYZ 5NN 014" -w 38 -f 820
clip ebook2cw-45wpm "GE OM FB CPY HR" -w 45 -f 600
# Slow, opening on dots only: read as dashes three times as fast until the reading was checked.
clip ebook2cw-8wpm "5 EH 4 SIS" -w 8 -f 658
# Fast, and opening on runs of dots, which near the noise floor once read as a third the speed.
clip ebook2cw-40wpm "66 GOOD BEAM RST CLOSED 123 8977 BUG" -w 40 -f 798
# Fast, and opening on runs of dashes, which near the noise floor once read at half the speed.
clip ebook2cw-40wpm-dashes "1906 TODAY WORK SP8NBQ PA7Z" -w 40 -f 558
# Farnsworth: characters at 25 WPM, gaps at 12.
clip ebook2cw-farnsworth "CQ CQ DE K1ABC K" -w 25 -e 12 -f 700
# Long edges (15 ms at 11025 Hz) and a lossy low-rate MP3 at 16 kbit/s.
clip ebook2cw-slow-edges "HELLO WORLD" -w 20 -f 700 -R 165 -F 165
clip ebook2cw-mp3-16k "PSE QSL VIA BURO" -w 24 -f 750 -b 16 -q 9
# Low-quality Ogg Vorbis.
clip ebook2cw-ogg "73 ES GL" -w 18 -f 680 -O -q 0
# Fading 20 dB deep (sox's tremolo, a fade made by code not ours): fast, and slow enough that
# its bottom lasts seconds.
clip ebook2cw-fade-2hz "154 AND JA5XH LATER QSL 61" -w 25 -f 587 -- tremolo 2 90
clip ebook2cw-fade-0.1hz "VE1XH 890 ZL6ST 91 DIRECT 4116 FER HOME QSL" -w 25 -f 616 -- tremolo 0.1 90
# A slow fade's first bottom, clean: the tracker's threshold stays at the peak's level.
clip ebook2cw-fade-0.1hz-15wpm "EVENING F8B 3 EA0PUQ" -w 15 -f 910 -- tremolo 0.1 90
# And one whose first seconds' few peaks fit a fast fade by chance.
clip ebook2cw-fade-0.1hz-sparse-peaks "OPEN K0II LATER 0210" -w 15 -f 597 -- tremolo 0.1 90
ls -l "$out"
