#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the WBXML parse fuzz target with clang and libFuzzer (installing clang when it is
# missing) and runs it over a copy of the seed corpus (tests/fuzz/corpus) for SECONDS, 10 by default. Any crash,
# sanitizer report, leak or hang fails the run; the input that caused it is left in the build folder.
# The build folder is build/fuzz, or $VANTREL_FUZZ_DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
dir=${VANTREL_FUZZ_DIR:-$root/build/fuzz}

SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
if ! command -v clang++ >/dev/null 2>&1 || ! dpkg-query -W libclang-rt-dev >/dev/null 2>&1; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends clang libclang-rt-dev
fi
"$root/scripts/setup.sh"

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTREL_FUZZ=ON -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF >/dev/null
cmake --build "$dir" --target wbxml_parse_fuzz

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
cp "$root/tests/fuzz/corpus/"* "$corpus/"
echo "== fuzzing the WBXML parse for ${seconds} s"
"$dir/bin/wbxml_parse_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$dir/" "$corpus"
