#!/usr/bin/env bash
# peer.sh up|down|status|env: the real ActiveSync server on loopback that the
# interoperability tests talk to. The server's own scripts live in
# ../shared/peers/sogo beside the repository; its state goes to $SOGO_PEER_DIR
# (default /tmp/sogo-peer).
#   up      starts it (installing its Debian packages the first time) and seeds
#           the test users' data; fails with a clear message when it cannot
#   down    stops what up started, keeping the data so the next up is quick
#   status  succeeds when it is running
#   env     prints the export lines the interop tests read, for
#           eval "$(scripts/peer.sh env)"
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
peer=$(cd "$root/.." && pwd)/shared/peers/sogo
export SOGO_PEER_DIR=${SOGO_PEER_DIR:-/tmp/sogo-peer}
http_port=${HTTP_PORT:-18080}
https_port=${HTTPS_PORT:-18443}
smtp_port=${SMTP_PORT:-2525}
imap_port=${IMAP_PORT:-143}

SUDO=()
[ "$(id -u)" -ne 0 ] && SUDO=(sudo --preserve-env=SOGO_PEER_DIR,HTTP_PORT,HTTPS_PORT)

fail() {
  echo "peer: FAILED: $*" >&2
  exit 1
}

# Same liveness rule as the server's scripts: a zombie is not running.
running() {
  local st
  st=$(ps -o stat= -p "$1" 2>/dev/null) && [ -n "$st" ] && [ "${st:0:1}" != Z ]
}
up_now() {
  local name pidfile
  for name in nginx sogod; do
    pidfile=$SOGO_PEER_DIR/run/$name.pid
    [ -s "$pidfile" ] && running "$(cat "$pidfile")" || return 1
  done
}

case "${1:-}" in
  up)
    [ -x "$peer/up.sh" ] || fail "no ActiveSync test server scripts at $peer (the shared folder must lie beside the repository)"
    mkdir -p "$SOGO_PEER_DIR"
    log=$SOGO_PEER_DIR/peer-up.log
    echo "peer: bringing up the ActiveSync test server (state in $SOGO_PEER_DIR, log in $log)"
    if ! "${SUDO[@]}" "$peer/up.sh" >"$log" 2>&1; then
      tail -n 30 "$log" >&2
      fail "the ActiveSync test server did not start (see $log); the interop tests cannot run"
    fi
    if ! "${SUDO[@]}" "$peer/seed.sh" >>"$log" 2>&1; then
      tail -n 30 "$log" >&2
      fail "the ActiveSync test server started but its test data could not be seeded (see $log)"
    fi
    echo "peer: up at http://127.0.0.1:$http_port and https://127.0.0.1:$https_port"
    ;;
  down)
    if [ ! -x "$peer/down.sh" ]; then
      echo "peer: no ActiveSync test server scripts at $peer: nothing to stop"
      exit 0
    fi
    mkdir -p "$SOGO_PEER_DIR"
    "${SUDO[@]}" "$peer/down.sh" >"$SOGO_PEER_DIR/peer-down.log" 2>&1 || {
      cat "$SOGO_PEER_DIR/peer-down.log" >&2
      fail "the ActiveSync test server did not stop cleanly"
    }
    echo "peer: stopped"
    ;;
  status)
    up_now
    ;;
  env)
    # Users as the server's scripts make them: alice first, the one the tests use.
    cat <<EOF
export SOGO_PEER_DIR='$SOGO_PEER_DIR'
export VANTREL_PEER_URL='http://127.0.0.1:$http_port'
export VANTREL_PEER_HTTPS_URL='https://127.0.0.1:$https_port'
export VANTREL_PEER_CERT='$SOGO_PEER_DIR/conf/tls.crt'
export VANTREL_PEER_SMTP='127.0.0.1:$smtp_port'
export VANTREL_PEER_IMAP='127.0.0.1:$imap_port'
export VANTREL_PEER_USER='alice'
export VANTREL_PEER_PASSWORD='secret1'
export VANTREL_PEER_USERS='alice:secret1 bob:secret2 carol:secret3'
EOF
    ;;
  *)
    echo "usage: $0 up|down|status|env" >&2
    exit 2
    ;;
esac
