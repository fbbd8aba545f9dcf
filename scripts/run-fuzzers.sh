#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a while, each from its seed corpus.
# Usage: run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
build=$1
seconds=${2:-60}
here=$(cd "$(dirname "$0")/.." && pwd)
status=0
for target in "$build"/bin/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name=$(basename "$target")
    seeds="$here/fuzz/corpus/$name"
    work="$build/fuzz-corpus/$name"
    mkdir -p "$work" "$seeds"
    echo "== $name ($seconds s)"
    if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$build/fuzz-artifacts-$name-" "$work" "$seeds" 2>"$build/$name.log"; then
        echo "$name found a problem; see $build/$name.log"
        status=1
    fi
    grep -E '^(#[0-9]+\s+DONE|Done [0-9]+ runs)' "$build/$name.log" | tail -n 1 || true
done
exit $status
