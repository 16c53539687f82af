#!/usr/bin/env bash
# Builds the tree twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer), with warnings on, and runs every test in both.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

jobs=$(nproc)
status=0
for variant in plain sanitize; do
  dir="$root/build/$variant"
  opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_BENCH=OFF)
  [ "$variant" = sanitize ] && opts+=(-DVANTREL_SANITIZE=ON)
  echo "== $variant build"
  "$root/scripts/build.sh" "$dir" "${opts[@]}"
  echo "== $variant tests"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" --output-on-failure --parallel "$jobs" || status=1
done
exit $status
