#!/usr/bin/env bash
# The main job: builds everything and says what can be run so far.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build/plain" -DCMAKE_BUILD_TYPE=RelWithDebInfo

cat <<MSG

Built into build/plain.

There is no program to run yet: the applications, the scheduler, the
background services and the plug-ins are not built. What exists is the
device layer (platform/), the engine foundation, the device stores (mail,
calendar, contacts, tasks), and the ActiveSync engine library QvEngine with
its data manager: it syncs mail, calendar and contacts both ways with an
ActiveSync server, pushes with Ping, sends mail, replies and forwards, and
provisions. The tests exercise it against fakes and against a real
ActiveSync server brought up on loopback:

    scripts/test.sh

The benchmarks (README, "Benchmarks") are best run from a release build;
these were built here:

    build/plain/bin/wbxml_parse_bench      build/plain/bin/shadow_db_bench
    build/plain/bin/mail_store_bench       build/plain/bin/datamanager_sync_bench
    build/plain/bin/initial_sync_bench
MSG
