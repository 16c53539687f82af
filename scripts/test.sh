#!/usr/bin/env bash
# Builds the tree twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer), with warnings on, and runs every test in both,
# then fuzzes the WBXML parse for a few seconds (scripts/fuzz.sh).
# The interoperability tests (CTest label "interop") talk to a real ActiveSync
# server on loopback: it is brought up once for both runs (scripts/peer.sh),
# while the first build goes on, and stopped at the end, also on failure. A
# server that was already running is left running.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
# The network fault tests put mitmdump between the device and the test server.
if ! command -v mitmdump >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends mitmproxy ||
    { $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends mitmproxy; }
fi

peer_log=$(mktemp)
peer_pid=""
peer_ok=0
stop_peer=0
finish() {
  if [ -n "$peer_pid" ]; then wait "$peer_pid" 2>/dev/null || true; fi
  if [ "$stop_peer" = 1 ]; then "$root/scripts/peer.sh" down || true; fi
  rm -f "$peer_log"
}
trap finish EXIT

if "$root/scripts/peer.sh" status; then
  echo "== ActiveSync test server already running: using it and leaving it up"
  peer_ok=1
  eval "$("$root/scripts/peer.sh" env)"
else
  stop_peer=1
  "$root/scripts/peer.sh" up >"$peer_log" 2>&1 &
  peer_pid=$!
fi

# Waits for the server before the first test run; a server that cannot start
# fails the whole run, and the other tests still run for what they tell.
await_peer() {
  [ -n "$peer_pid" ] || return 0
  if wait "$peer_pid"; then peer_ok=1; fi
  peer_pid=""
  cat "$peer_log"
  if [ "$peer_ok" = 1 ]; then
    eval "$("$root/scripts/peer.sh" env)"
  else
    echo "test: FAILED: the ActiveSync test server could not start; the interop tests did not run" >&2
  fi
}

jobs=$(nproc)
status=0
for variant in plain sanitize; do
  dir="$root/build/$variant"
  opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_BENCH=OFF)
  [ "$variant" = sanitize ] && opts+=(-DVANTREL_SANITIZE=ON)
  echo "== $variant build"
  "$root/scripts/build.sh" "$dir" "${opts[@]}"
  await_peer
  selection=()
  if [ "$peer_ok" != 1 ]; then
    selection=(-LE interop)
    status=1
  fi
  echo "== $variant tests"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" --output-on-failure --parallel "$jobs" "${selection[@]}" || status=1
done
# A short fuzzing run of the WBXML parse (clang, libFuzzer), over its seed corpus.
"$root/scripts/fuzz.sh" 10 || status=1
if [ "$peer_ok" != 1 ]; then
  echo "test: FAILED: the ActiveSync test server could not start (see above)" >&2
fi
exit $status
