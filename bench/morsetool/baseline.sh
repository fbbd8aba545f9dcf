#!/bin/sh
# Builds the morsetool of an earlier commit (text decoding only) against this build's
# libraries, for BM_DecodeCodeFile/1 of bench_morsetool:
#   bench/morsetool/baseline.sh COMMIT BUILD_DIR OUTPUT
#   MORSETOOL_BASELINE=OUTPUT BUILD_DIR/bin/bench_morsetool
# The earlier morsetool's CW front end is left out: its audio API has changed since.
set -eu
commit=$1 build=$(cd "$2" && pwd) output=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
lib=$(dirname "$(find "$build" -name libmorsehandler.so -print -quit)")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git -C "$root" archive "$commit" apps/morsetool | tar -x -C "$work"
cd "$work/apps/morsetool"
rm -f audiosymbolsource.cpp
${CXX:-g++} -std=c++17 -O2 -fPIC -I"$root" -I"$build/tools/morsehandler" -I. \
    $(pkg-config --cflags Qt5Core) \
    -DMORSETOOL_SOURCE_DATA_DIR="\"$root/data\"" \
    -DMORSETOOL_INSTALL_DATA_DIR="\"/usr/share/morsehandler\"" \
    -DMORSETOOL_VERSION="\"$commit\"" \
    ./*.cpp -o "$output" \
    -L"$lib" -lmorsehandler -lmorsehost $(pkg-config --libs Qt5Core) -Wl,-rpath,"$lib"
echo "baseline morsetool of $commit: $output"
