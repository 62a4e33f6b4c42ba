#!/usr/bin/env bash
# Takes the pictures in docs/screenshots/ from the real desktop program on a virtual display, in
# English and German: the main window while a job runs, the log viewer, the restore chooser, the
# import dialog and the name input of Rename. MORVANE_SHOTS=dialogs takes only the last two.
# Needs Xvfb, openbox, xdotool and ImageMagick's import; uses build/bin (MORVANE_BIN_DIR to change).
# Look at every picture before committing it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${MORVANE_BIN_DIR:-$root/build/bin}
out=${1:-$root/docs/screenshots}
for tool in Xvfb openbox xdotool import dbus-daemon; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/setup.sh installs it)" >&2; exit 1; }
done
mkdir -p "$out"

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

display=95
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=":$display"
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
dbus-daemon --session --nofork --print-address=1 >"$work/bus" 2>/dev/null & pids+=($!)
for _ in $(seq 50); do [ -s "$work/bus" ] && break; sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus")
openbox >/dev/null 2>&1 & pids+=($!)
sleep 0.5

# One shot series per language, each in a fresh home.
shoot() {
    local language=$1 locale=$2
    local home=$work/$language
    mkdir -p "$home/Sample" "$home/Storage" "$home/tmp" "$home/Restored"
    # Enough files that the run lasts while the picture is taken.
    python3 - "$home/Sample" <<'PY'
import os, sys
root = sys.argv[1]
for folder in range(60):
    path = os.path.join(root, "Projects", "Project %02d" % folder)
    os.makedirs(path, exist_ok=True)
    for number in range(200):
        with open(os.path.join(path, "report-%03d.txt" % number), "wb") as file:
            file.write(os.urandom(20000))
PY
    (
        export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share TMPDIR=$home/tmp
        export LC_ALL=$locale LANG=$locale LANGUAGE=$language QT_QPA_PLATFORM=xcb
        "$bin/morvane-cli" new "Documents" --source "$home/Sample" --dest "$home/Storage" >/dev/null
        "$bin/morvane-cli" new "Photos" --source "$home/Sample/Projects/Project 00" --dest "$home/Storage" >/dev/null
        "$bin/morvane-cli" backup "Photos" >/dev/null
        "$bin/morvane-backup" >/dev/null 2>&1 &
        program=$!
        for _ in $(seq 100); do
            window=$(xdotool search --onlyvisible --name "^Morvane Backup 2.3$" 2>/dev/null | head -n 1 || true)
            [ -n "$window" ] && break
            sleep 0.1
        done
        xdotool windowmove --sync "$window" 40 40 windowsize --sync "$window" 900 420
        xdotool windowactivate --sync "$window" || true
        "$bin/morvane-cli" backup "Documents" >/dev/null
        sleep 1.8
        import -window "$window" "$out/main-window-running-$language.png"
        # Wait for the run's end before the other pictures.
        sleep 6
        # The second row (Photos): its newest log, then its restore.
        xdotool mousemove --window "$window" 80 115 click 1
        sleep 1.5
        xdotool key ctrl+l
        sleep 2
        import -window "$(xdotool getactivewindow)" "$out/log-viewer-$language.png"
        xdotool key Escape
        sleep 1
        xdotool key ctrl+r
        sleep 1.5
        # The output folder first, then the chooser of the restore point.
        xdotool type "$home/Restored"
        xdotool key Return
        sleep 2.5
        import -window "$(xdotool getactivewindow)" "$out/restore-chooser-$language.png"
        xdotool key Escape
        sleep 0.5
        kill -TERM "$program"
        wait "$program" || true
    )
}

# The small dialogs of the job commands, on a job list of one job.
shoot_dialogs() {
    local language=$1 locale=$2
    local home=$work/dialogs-$language
    mkdir -p "$home/Sample" "$home/Storage" "$home/tmp"
    echo "text" >"$home/Sample/notes.txt"
    (
        export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share TMPDIR=$home/tmp
        export LC_ALL=$locale LANG=$locale LANGUAGE=$language QT_QPA_PLATFORM=xcb
        "$bin/morvane-cli" new "Documents" --source "$home/Sample" --dest "$home/Storage" >/dev/null
        "$bin/morvane-backup" >/dev/null 2>&1 &
        program=$!
        for _ in $(seq 100); do
            window=$(xdotool search --onlyvisible --name "^Morvane Backup 2.3$" 2>/dev/null | head -n 1 || true)
            [ -n "$window" ] && break
            sleep 0.1
        done
        xdotool windowmove --sync "$window" 40 40 windowsize --sync "$window" 900 420
        xdotool windowactivate --sync "$window" || true
        sleep 1
        xdotool key ctrl+o
        sleep 1.5
        import -window "$(xdotool getactivewindow)" "$out/import-dialog-$language.png"
        xdotool key Escape
        sleep 1
        xdotool key F2
        sleep 1.5
        import -window "$(xdotool getactivewindow)" "$out/rename-input-$language.png"
        xdotool key Escape
        sleep 0.5
        kill -TERM "$program"
        wait "$program" || true
    )
}

if [ "${MORVANE_SHOTS:-all}" != dialogs ]; then
    shoot en en_US.UTF-8
    shoot de de_DE.UTF-8
fi
shoot_dialogs en en_US.UTF-8
shoot_dialogs de de_DE.UTF-8
ls -l "$out"
