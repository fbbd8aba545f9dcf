#!/usr/bin/env bash
# Character error rate of morsetool's FSK demodulator side by side with minimodem, on the same
# recordings from both generators (our synthesizer and minimodem). Writes BUILD_DIR/rtty-cer.tsv,
# prints it, and draws docs/rtty-cer.png when gnuplot is there. Extra arguments go to rtty_cer:
#   scripts/compare-minimodem.sh build --texts 2 --baud 50
set -euo pipefail
build=${1:-build}
shift || true
here=$(cd "$(dirname "$0")/.." && pwd)
command -v minimodem >/dev/null ||
    { echo "compare-minimodem: minimodem is missing (scripts/install-deps.sh --extra)" >&2; exit 1; }
cer="$build/bin/rtty_cer"
[ -x "$cer" ] || { echo "compare-minimodem: $cer is not built (cmake --build $build --target rtty_cer)" >&2; exit 1; }
table="$build/rtty-cer.tsv"
"$cer" --peer "$@" | tee "$table"
"$here/scripts/plot-rtty-cer.sh" "$table" "$here/docs/rtty-cer.png"
