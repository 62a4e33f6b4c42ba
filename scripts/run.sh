#!/usr/bin/env bash
# Sets everything up, builds and starts Morvane Backup. Without a display it shows the product
# working from the command line instead: a job over a sample folder, a backup, its restore points and
# a restore compared with the source, all in a throw-away home folder.
# MORVANE_RUN_SKIP_BUILD=1 skips set-up and build (an existing build/bin is used).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${MORVANE_BIN_DIR:-$root/build/bin}
if [ "${MORVANE_RUN_SKIP_BUILD:-0}" != 1 ]; then
    "$root/scripts/setup.sh"
    "$root/scripts/build.sh" "$root/build"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$bin/morvane-backup" "$@"
fi

echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): showing Morvane Backup from the command line."
demo=$(mktemp -d)
trap 'rm -rf "$demo"' EXIT
export HOME=$demo/home XDG_CONFIG_HOME=$demo/home/.config XDG_DATA_HOME=$demo/home/.local/share
export XDG_DOCUMENTS_DIR=$demo/home/Documents TMPDIR=$demo/tmp
mkdir -p "$HOME" "$TMPDIR" "$demo/storage" "$demo/sample/Reports/2024" "$demo/restored"
printf 'Quarterly figures\n' >"$demo/sample/Reports/2024/q1.txt"
printf 'Meeting notes\n' >"$demo/sample/notes.txt"
head -c 200000 /dev/urandom >"$demo/sample/Reports/photo.bin"
cli=$bin/morvane-cli

step() { printf '\n$ morvane-cli %s\n' "$*"; "$cli" "$@"; }
step new "Sample" --source "$demo/sample" --dest "$demo/storage"
step list
step backup "Sample"
step points "Sample"
step restore "Sample" --latest --to "$demo/restored"
printf '\n$ diff -r sample restored\n'
restored=$(find "$demo/restored" -name notes.txt -printf '%h\n' | head -n 1)
if [ -n "$restored" ] && diff -r "$demo/sample" "$restored"; then
    echo "The restored files equal the sample folder."
else
    echo "The restored files differ from the sample folder." >&2
    exit 1
fi
