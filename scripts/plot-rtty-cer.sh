#!/usr/bin/env bash
# Draws the RTTY character error rate against SNR from a table of rtty_cer --peer:
#   scripts/plot-rtty-cer.sh TABLE.tsv OUT.png
# one panel per generator, ours solid and minimodem dashed, one colour per speed and shift.
set -euo pipefail
table=$1
plot=$2
command -v gnuplot >/dev/null || { echo "plot-rtty-cer: gnuplot is missing; no plot" >&2; exit 0; }
source "$(dirname "$0")/cer-plot-settings.sh"
gnuplot <<GNUPLOT
$(cer_plot_settings "$plot" RTTY 1.5 6 8)
colours = "#1b9e77 #d95f02 #7570b3"
bauds = "45.45 50.00 75.00"
shifts = "170 425 850"
do for [generator in "ours minimodem"] {
    set title sprintf("recordings from %s", generator eq "ours" ? "our synthesizer" : "minimodem")
    plot for [b=1:3] for [s=1:3] "$table" using (strcol(1) eq generator && \$2 == word(bauds, b)+0 && \$3 == word(shifts, s)+0 ? \$4 : 1/0):(\$6 > 0.001 ? \$6 : 0.001) \
            with linespoints lw 2 pt (4+s) lc rgb word(colours, b) title sprintf("ours %s Bd %s Hz", word(bauds, b), word(shifts, s)), \
         for [b=1:3] for [s=1:3] "$table" using (strcol(1) eq generator && \$2 == word(bauds, b)+0 && \$3 == word(shifts, s)+0 ? \$4 : 1/0):(\$7 > 0.001 ? \$7 : 0.001) \
            with linespoints lw 1 dt 2 pt (4+s) lc rgb word(colours, b) title sprintf("minimodem %s Bd %s Hz", word(bauds, b), word(shifts, s))
}
GNUPLOT
echo "plot-rtty-cer: wrote $plot" >&2
