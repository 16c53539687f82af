#!/usr/bin/env bash
# The main job: builds everything and says what can be run so far.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build/plain" -DCMAKE_BUILD_TYPE=RelWithDebInfo

cat <<MSG

Built into build/plain.

Vantrel cannot be run yet: the engine object, the device stores, the
application and the background services are not built. What exists so far
is the device layer (platform/), the engine foundation (QvEngine/foundation),
the engine library QvEngine with its global-info object, and the ActiveSync
WBXML language with the engine's records (QvEngine/activesync). The tests
exercise them, against fakes and against a real ActiveSync server:

    scripts/test.sh

and a benchmark times the WBXML parse of a large Sync answer:

    build/plain/bin/wbxml_parse_bench
MSG
