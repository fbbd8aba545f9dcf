#!/usr/bin/env bash
# Decodes the bundled samples with morsetool.
set -euo pipefail
build=${1:-build}
tool="$build/apps/morsetool/morsetool"
here=$(cd "$(dirname "$0")/.." && pwd)
echo "== morsetool decode data/samples/cq.txt"
"$tool" decode "$here/data/samples/cq.txt"
echo
echo "== morsetool decode data/samples/cq-cw.ogg (a synthesized CW recording)"
"$tool" decode "$here/data/samples/cq-cw.ogg"
