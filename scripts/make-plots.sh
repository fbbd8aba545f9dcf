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
source "$here/scripts/cer-plot-settings.sh"

table="$build/cw-cer.tsv"
if [ ! -s "$table" ]; then
    cmake --build "$build" --target cw_cer >/dev/null
    "$here/scripts/compare-multimon.sh" "$build" >/dev/null
fi

mkdir -p "$here/docs"
plot="$here/docs/cw-cer.png"
gnuplot <<GNUPLOT
$(cer_plot_settings "$plot" CW 8 4 9)
set xrange [-12:20]
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
