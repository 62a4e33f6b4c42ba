#!/usr/bin/env bash
# Configures and builds one configuration: build.sh DIR [SANITIZER] [TARGET...]
# SANITIZER is "", "address" (ASan+UBSan) or "thread" (TSan).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
sanitizer=${2:-}
shift $(( $# < 2 ? $# : 2 ))
build_type=RelWithDebInfo
[ -z "$sanitizer" ] || build_type=Debug
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" -DMORVANE_SANITIZE="$sanitizer" >/dev/null
cmake --build "$dir" ${1:+--target "$@"}
