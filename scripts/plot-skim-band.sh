#!/usr/bin/env bash
# Draws docs/cw-skim-band.png: the spectrogram of a test band of 8 CW signals at 8 kHz (made
# by cw_skim --write-band), marked with what `morsetool skim` decoded: each signal line at its
# start time and pitch. The true pitches are drawn as dashes on the right.
#   scripts/plot-skim-band.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
command -v gnuplot >/dev/null || { echo "plot-skim-band: gnuplot is missing" >&2; exit 1; }
command -v sox >/dev/null || { echo "plot-skim-band: sox is missing" >&2; exit 1; }
cmake --build "$build" --target cw_skim morsetool >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
band="$work/band.wav"
"$build/bin/cw_skim" --write-band "$band"
"$build/bin/morsetool" skim --quiet "$band" > "$work/skim.tsv"
seconds=$(soxi -D "$band")
# A raw spectrogram (no axes), 0 to 4000 Hz over the whole length; gnuplot adds the axes.
sox "$band" -n rate 8000 spectrogram -r -m -x 1400 -y 700 -z 70 -o "$work/spectrogram.png"

gnuplot <<GNUPLOT
set terminal pngcairo size 1500,800 font "sans,10"
set output "$here/docs/cw-skim-band.png"
set title "A test band of 8 signals (0 to +15 dB, every other one hand-sent) and what morsetool skim decoded"
set xlabel "time (s)"
set ylabel "pitch (Hz)"
set xrange [0:$seconds]
set yrange [0:4000]
set datafile separator "\t"
set key outside below horizontal
plot "$work/spectrogram.png" binary filetype=png dx=$seconds/1400.0 dy=4000.0/700.0 with rgbimage notitle, \
     "$work/skim.tsv" using 1:(\$2+35):(sprintf("%.0f Hz %.0f WPM: %s", \$2, \$3, strcol(4))) with labels left font ",9" tc rgb "#ffd700" notitle, \
     "$work/skim.tsv" using 1:2 with points pt 7 ps 0.8 lc rgb "#ffd700" title "decoded line (start, pitch)", \
     "$band.tsv" using ($seconds-0.3):2 with points pt 5 ps 0.6 lc rgb "#00e5ff" title "true pitch"
GNUPLOT
echo "wrote $here/docs/cw-skim-band.png"
