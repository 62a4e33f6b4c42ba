#!/usr/bin/env bash
# Sets everything up, builds and starts Morvane Backup.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build"
exec "$root/build/bin/morvane-cli" list "$@"
