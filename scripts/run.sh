#!/usr/bin/env bash
# The main job: builds everything and says what can be run so far.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build/plain" -DCMAKE_BUILD_TYPE=RelWithDebInfo

cat <<MSG

Built into build/plain.

Vantrel cannot be run yet: the application, the engine object and the
background services are not built. What exists so far is the device layer
(platform/: files, code pages, the device root) and the engine foundation
(error codes, strings, file streams, logging), exercised by the tests:

    scripts/test.sh
MSG
