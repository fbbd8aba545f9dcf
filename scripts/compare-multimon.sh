#!/usr/bin/env bash
# Character error rate of morsetool's CW demodulator side by side with multimon-ng's
# MORSE_CW decoder, on the same recordings (converted to its raw 22050 Hz input with sox),
# from our synthesizer (exact timing and 20 % jitter) and from ebook2cw. Writes
# BUILD_DIR/cw-cer.tsv and prints it. Extra arguments go to cw_cer, e.g.
#   scripts/compare-multimon.sh build --texts 5 --wpm 20
set -euo pipefail
build=${1:-build}
shift || true
here=$(cd "$(dirname "$0")/.." && pwd)
for tool in multimon-ng sox ebook2cw; do
    if ! command -v "$tool" >/dev/null; then
        echo "compare-multimon: $tool is missing (scripts/install-deps.sh --extra installs it)" >&2
        exit 1
    fi
done
cer="$build/bin/cw_cer"
if [ ! -x "$cer" ]; then
    echo "compare-multimon: $cer is not built (cmake --build $build --target cw_cer)" >&2
    exit 1
fi
cd "$here"
{
    "$cer" --peer "$@"
    "$cer" --peer --jitter 0 --generator ebook2cw "$@" | tail -n +2
} | tee "$build/cw-cer.tsv"
