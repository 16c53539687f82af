#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds every fuzz target with clang and libFuzzer (installing clang when it is missing) and
# runs each over a copy of its seed corpus (tests/fuzz/corpus_<name>, the WBXML parse's tests/fuzz/corpus).
# SECONDS (10 by default) is the whole run's fuzzing time, shared evenly by the targets with at least 2 s each,
# so that the short run at the end of scripts/test.sh stays short. Any crash, sanitizer report (UBSan included),
# leak or hang fails the run, after the other targets have run; the input that caused it is left in the build
# folder as <target>-crash-... (or -leak-, -timeout-). The build folder is build/fuzz, or $VANTREL_FUZZ_DIR.
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

# The targets: those of tests/fuzz, the sync answer's only where its source is there.
targets=(wbxml_parse_fuzz policy_document_fuzz record_database_fuzz mime_fuzz)
[ -f "$root/tests/fuzz/sync_answer_fuzz.cpp" ] && targets+=(sync_answer_fuzz)

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTREL_FUZZ=ON -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF >/dev/null
cmake --build "$dir" --target "${targets[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
each=$(( seconds / ${#targets[@]} ))
[ "$each" -ge 2 ] || each=2
status=0
for target in "${targets[@]}"; do
  name=${target%_fuzz}
  seeds="$root/tests/fuzz/corpus_$name"
  [ "$name" = wbxml_parse ] && seeds="$root/tests/fuzz/corpus"
  corpus="$work/$name"
  mkdir -p "$corpus"
  if [ -d "$seeds" ]; then cp "$seeds/"* "$corpus/"; fi
  echo "== fuzzing $name for ${each} s"
  "$dir/bin/$target" -max_total_time="$each" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$dir/$target-" "$corpus" || status=1
done
exit $status
