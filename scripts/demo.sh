#!/usr/bin/env bash
# Decodes the bundled samples with morsetool.
set -euo pipefail
build=${1:-build}
tool="$build/bin/morsetool"
here=$(cd "$(dirname "$0")/.." && pwd)

echo "== morsetool decode data/samples/cq.txt"
"$tool" decode "$here/data/samples/cq.txt"

echo
echo "== morsetool encode \"CQ DE DL1ABC\" | morsetool decode"
"$tool" encode "CQ DE DL1ABC" | "$tool" decode

echo
echo "== morsetool decode --save DIR: session files and report"
save=$(mktemp -d)
trap 'rm -rf "$save"' EXIT
"$tool" decode --save "$save" --frequency 14070000 "$here/data/samples/cq.txt" 2>&1 >/dev/null |
    sed "s|$save/||; s/^/   /"
echo "   the text file begins:"
sed -n '1,3p' "$save"/*__Default.txt | sed 's/^/     /'

if compgen -G "$here/data/alphabets/[Gg]reek.mal" >/dev/null; then
    echo
    echo "== morsetool decode --alphabet Greek data/samples/greek.txt"
    "$tool" decode --alphabet Greek "$here/data/samples/greek.txt"
fi

echo
echo "== morsetool decode data/samples/cq-cw.ogg (a synthesized CW recording)"
"$tool" decode "$here/data/samples/cq-cw.ogg"
