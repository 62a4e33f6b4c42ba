#!/usr/bin/env bash
# An hour of scheduled runs with random source changes and random kills of the scheduler; at the end
# every restore point must restore to its source state, and the scheduler's memory and open descriptors
# are printed as they went. Not part of the test command.
#
# Usage: bench/soak.sh BUILD_DIR [MINUTES] [PERIOD_SECONDS] [MEAN_SECONDS_BETWEEN_KILLS]
#   defaults: 60 minutes, a run every 10 s, a kill about every 120 s. MORVANE_SOAK_SEED repeats a soak.
set -euo pipefail
build=$(cd "$1" && pwd)
cli="$build/bin/morvane-cli"
[ -x "$cli" ] || { echo "no morvane-cli in $build/bin (build the target morvane-cli)" >&2; exit 64; }
exec python3 "$(dirname "$0")/soak.py" --cli "$cli" --minutes "${2:-60}" --period "${3:-10}" \
    --kill-every "${4:-120}"
