#!/usr/bin/env bash
# Installs the Debian packages the build, tests and demo need; does nothing when all are present.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    qtbase5-dev
    libgtest-dev libgmock-dev
    libbenchmark-dev
    libsndfile1-dev libliquid-dev libkissfft-dev
)
if [ "${1:-}" = "--extra" ]; then
    # Tools for fuzzing, sanitizers, plots, documentation and packaging; CW recordings from
    # an independent generator and a peer decoder for the CW bench; minimodem generates and
    # decodes the RTTY comparison recordings.
    packages+=(clang libclang-rt-dev gnuplot-nox doxygen dpkg-dev multimon-ng sox
        libsox-fmt-mp3 ebook2cw minimodem)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
