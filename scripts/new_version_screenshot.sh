#!/usr/bin/env bash
# Takes docs/screenshots/new-version-en.png: the real desktop program on a virtual display, started
# hidden, asks a local https server (certificate made for the run, trusted through the settings
# store) and shows its "New Version" window. Needs Xvfb, openbox, xdotool, ImageMagick's import,
# openssl and python3; uses build/bin (MORVANE_BIN_DIR to change). Look at the picture before
# committing it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${MORVANE_BIN_DIR:-$root/build/bin}
out=${1:-$root/docs/screenshots}
for tool in Xvfb openbox xdotool import dbus-daemon openssl python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/setup.sh installs it)" >&2; exit 1; }
done
mkdir -p "$out"

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work" 2>/dev/null || rm -rf "$work" 2>/dev/null || true
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

# The server: the version line, a package line and the list of changes.
site=$work/site
mkdir -p "$site/download/version"
printf 'package' >"$site/download/morvane-backup_2.4_amd64.deb"
digest=$(sha256sum "$site/download/morvane-backup_2.4_amd64.deb" | cut -d' ' -f1)
printf '24/23\r\nmorvane-backup_2.4_amd64.deb %s\r\n' "$digest" >"$site/download/version/morvanebackup-version.html"
printf 'Backups to network shares resume after a lost connection.\r\n\r\nThe log viewer finds text in long logs faster.\r\nFull copies can be kept for a chosen number of days.\r\n' \
    >"$site/download/version/morvanebackup-changes.html"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$work/key.pem" -out "$work/certificate.pem" 2>/dev/null
python3 - "$site" "$work" >"$work/port" 2>/dev/null <<'PY' &
import functools, http.server, ssl, sys
site, work = sys.argv[1], sys.argv[2]
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=site)
server = http.server.HTTPServer(("127.0.0.1", 0), handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(work + "/certificate.pem", work + "/key.pem")
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
pids+=($!)
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/port")

home=$work/home
mkdir -p "$home/.config" "$home/tmp"
cat >"$home/.config/morvane-backup.ini" <<INI
[Morvane%20Backup]
UpdateServer=https://127.0.0.1:$port
UpdateTrustedCertificates=$work/certificate.pem
INI
(
    export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share TMPDIR=$home/tmp
    export LC_ALL=C.UTF-8 LANG=C.UTF-8 LANGUAGE=en QT_QPA_PLATFORM=xcb
    "$bin/morvane-backup" /hide >/dev/null 2>&1 &
    program=$!
    window=
    for _ in $(seq 150); do
        window=$(xdotool search --onlyvisible --name "^ Morvane Backup$" 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "the New Version window did not appear" >&2; kill -TERM "$program"; exit 1; }
    xdotool windowactivate --sync "$window" || true
    sleep 1
    import -window "$window" "$out/new-version-en.png"
    kill -TERM "$program"
    wait "$program" || true
)
