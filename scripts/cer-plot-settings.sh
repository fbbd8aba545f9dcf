# Sourced by the scripts that draw a character error rate against SNR (CW and RTTY), so that
# both plots share one look: two panels side by side, a log scale that draws 0 at 0.1 %, the
# key below.
#   cer_plot_settings OUT.png MODE Y_MAX KEY_COLUMNS KEY_FONT_SIZE
# prints the gnuplot settings that open OUT.png; the caller adds its own and plots.
cer_plot_settings() {
    local plot=$1 mode=$2 ymax=$3 columns=$4 font=$5
    cat <<GNUPLOT
set terminal pngcairo size 1300,620 font "sans,10"
set output "$plot"
set datafile separator "\t"
set multiplot layout 1,2 title "$mode character error rate against SNR in 2500 Hz (0 is drawn at 0.1 %)"
set xlabel "SNR (dB)"
set ylabel "character error rate"
set logscale y
set yrange [0.0009:$ymax]
set grid
set key outside below horizontal maxcols $columns font ",$font"
set format y "%g"
GNUPLOT
}
