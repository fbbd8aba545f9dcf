#!/usr/bin/env bash
# Checks the build that is shipped: builds it as `make package` does (Release, no tests),
# installs it into a temporary prefix, then against that prefix builds and runs the consumer
# checks (the README example, every installed header alone, a probe of each library's public
# classes, pkg-config), runs the installed morsetool, and lists what the libraries export.
# Usage: scripts/check-package.sh [BUILD_DIR]   (default build-package, which make package shares)
set -euo pipefail
cd "$(dirname "$0")/.."
here=$(pwd)
build=${1:-build-package}
jobs=${JOBS:-$(nproc)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

# shellcheck disable=SC2086 # CMAKE_ARGS holds several arguments
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_INSTALL_PREFIX=/usr ${CMAKE_ARGS:-}
cmake --build "$build" -j "$jobs"
cmake --install "$build" --prefix "$prefix" >/dev/null

cmake -DCONSUMER_DIR="$here/tests/install/consumer" -DWORK_DIR="$work" -DPREFIX="$prefix" \
    -P tests/install/RunConsumer.cmake

fail() {
    echo "check-package: $*" >&2
    exit 1
}

# The installed morsetool decodes, and with the data of its own prefix, not of this tree.
tool="$prefix/bin/morsetool"
decoded=$(cd "$work" && echo "0 1 3 1 0 0 0 3 4" | "$tool" decode - | sed 's/[[:space:]]*$//')
[ "$decoded" = "AB" ] || fail "installed morsetool decoded '$decoded', expected 'AB'"
printf 'E\t.\n' >"$prefix/share/morsehandler/alphabets/PrefixOnly.mal"
# The whole listing is read first: grep -q would stop reading at the match, and morsetool then
# fails on its next write to the closed pipe.
listed=$(cd "$work" && "$tool" alphabets) || fail "installed morsetool alphabets failed"
grep -q '^PrefixOnly ' <<<"$listed" ||
    fail "installed morsetool does not list the alphabets of $prefix"
(cd "$work" && "$tool" decode --alphabet Greek "$here/data/samples/greek.txt" >/dev/null) ||
    fail "installed morsetool cannot decode with its installed Greek alphabet"

# Exported symbols: only the classes and functions the installed headers mark for export, and
# the template instantiations the compiler emits for them (std containers of public types, the
# host's value templates).
exported=$(
    grep -rhoE '(class|struct) [A-Z]+_EXPORT [A-Za-z_][A-Za-z0-9_]*' "$prefix/include" | awk '{print $3}'
    grep -rhoE '^[A-Z]+_EXPORT [^(]*[ *&][A-Za-z_][A-Za-z0-9_]*\(' "$prefix/include" | sed -E 's/.*[ *&]([A-Za-z_][A-Za-z0-9_]*)\($/\1/'
)
public="\\b($(sort -u <<<"$exported" | paste -sd'|'))\\b"
libdir=$(dirname "$(find "$prefix" -name libmorsehandler.so | head -n 1)")
for library in "$libdir"/libmorsehandler.so "$libdir"/libcwdemodulator.so "$libdir"/libfskdemodulator.so; do
    [ -f "$library" ] || continue
    symbols=$(nm -D --defined-only -C "$library" | cut -d' ' -f3-)
    # A public class's private implementation (its d-pointer's class) is internal too.
    strays=$(
        grep -Ev "$public|^((void|vtable for|typeinfo (name )?for) )?(std|__gnu_cxx|values)::" <<<"$symbols"
        grep -E '::Private\b' <<<"$symbols"
    ) || true
    [ -z "$strays" ] || fail "$(basename "$library") exports internal symbols:"$'\n'"$strays"
    echo "$(basename "$library"): $(wc -l <<<"$symbols") exported symbols, none internal"
done
echo "check-package: the shipped build installs, and its consumers build and run"
