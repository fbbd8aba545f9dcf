#!/usr/bin/env bash
# Draws the plots of the documentation from the benchmarks' tables:
#   docs/cw-cer.png  character error rate against SNR, ours and multimon-ng's, on our
#                    synthesizer's recordings and on ebook2cw's (exact timing; from
#                    BUILD_DIR/cw-cer.tsv, made first with scripts/compare-multimon.sh when it
#                    is missing).
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
command -v gnuplot >/dev/null || { echo "make-plots: gnuplot is missing" >&2; exit 1; }

table="$build/cw-cer.tsv"
if [ ! -s "$table" ]; then
    cmake --build "$build" --target cw_cer >/dev/null
    "$here/scripts/compare-multimon.sh" "$build" >/dev/null
fi

mkdir -p "$here/docs"
plot="$here/docs/cw-cer.png"
gnuplot <<GNUPLOT
set terminal pngcairo size 1300,620 font "sans,10"
set output "$plot"
set datafile separator "\t"
set multiplot layout 1,2 title "CW character error rate against SNR in 2500 Hz (0 is drawn at 0.1 %)"
set xlabel "SNR (dB)"
set ylabel "character error rate"
set logscale y
set yrange [0.0009:8]
set xrange [-12:20]
set grid
set key outside below horizontal maxcols 4 font ",9"
set format y "%g"
colours = "#1b9e77 #d95f02 #7570b3 #e7298a"
speeds = "12 20 30 40"
do for [generator in "ours ebook2cw"] {
    set title (generator eq "ours" ? "our synthesizer" : "ebook2cw (an independent generator)")
    plot for [i=1:4] "$table" using (\$1 == 0 && strcol(8) eq generator && \$2 == word(speeds, i)+0 ? \$3 : 1/0):(\$5 > 0.001 ? \$5 : 0.001) \
            with linespoints lw 2 pt 7 lc rgb word(colours, i) title sprintf("ours %s WPM", word(speeds, i)), \
         for [i=1:4] "$table" using (\$1 == 0 && strcol(8) eq generator && \$2 == word(speeds, i)+0 ? \$3 : 1/0):(\$6 > 0.001 ? \$6 : 0.001) \
            with linespoints lw 1 dt 2 pt 6 lc rgb word(colours, i) title sprintf("multimon-ng %s WPM", word(speeds, i))
}
unset multiplot
GNUPLOT
echo "make-plots: wrote $plot"
"$here/scripts/plot-skim-band.sh" "$build"
