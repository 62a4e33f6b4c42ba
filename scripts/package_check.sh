#!/usr/bin/env bash
# Builds the Debian package from a finished build, checks it, installs it on this machine, backs up and
# restores with the installed tool, starts the installed desktop program on a virtual display for a few
# seconds, and removes the package again. Recommended packages are left out: the machine stays as it
# was, and the check needs none of them.
# Usage: package_check.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
work=$(mktemp -d)
installed=""
cleanup() {
    [ -z "$installed" ] || DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get remove -y -qq morvane-backup >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

echo "== Package"
rm -rf "$build/package"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build/package" >"$work/cpack.log" || {
    cat "$work/cpack.log"
    exit 1
}
deb=$(ls "$build"/package/morvane-backup_*.deb)
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

echo "== Checks of the package's files"
lintian --fail-on error,warning "$deb"
dpkg-deb -x "$deb" "$work/unpacked"
desktop-file-validate "$work"/unpacked/usr/share/applications/*.desktop
appstreamcli validate --no-net "$work"/unpacked/usr/share/metainfo/*.metainfo.xml
for page in "$work"/unpacked/usr/share/man/man*/*; do
    problems=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$problems" ] || { echo "$page: $problems" >&2; exit 1; }
done

echo "== Installed"
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.log" || {
    cat "$work/apt.log"
    exit 1
}
installed=1
home=$work/home
mkdir -p "$home/config" "$home/sample/sub" "$home/storage" "$home/restored"
printf 'alpha\n' >"$home/sample/a.txt"
printf 'beta\n' >"$home/sample/sub/b.txt"
as_user() {
    env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
        XDG_RUNTIME_DIR="$home/run" DBUS_SESSION_BUS_ADDRESS="unix:path=$home/no-bus" "$@"
}
mkdir -m 700 "$home/run"
command -v morvane-cli
morvane-cli --version
as_user morvane-cli new Sample --source "$home/sample" --dest "$home/storage"
as_user morvane-cli backup Sample
as_user morvane-cli restore Sample --latest --to "$home/restored"
restored=$(find "$home/restored" -name a.txt -printf '%h\n' | head -n 1)
[ -n "$restored" ] && diff -r "$home/sample" "$restored"
echo "The installed tool restored the sample folder."

# The desktop program on a virtual display: it must open its instance socket (it has started and owns
# the jobs) and still run when stopped after a few seconds.
socket="$home/config/Morvane Backup/instance.socket"
(
    for _ in $(seq 40); do
        [ -S "$socket" ] && touch "$work/listening" && break
        sleep 0.2
    done
) &
status=0
as_user xvfb-run -a timeout 8 morvane-backup --hide >"$work/desktop.log" 2>&1 || status=$?
wait
if [ "$status" -ne 124 ] || [ ! -e "$work/listening" ]; then
    cat "$work/desktop.log"
    echo "The installed desktop program did not start and keep running (status $status)." >&2
    exit 1
fi
echo "The installed desktop program ran on a virtual display."

echo "== Removed"
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get remove -y -qq morvane-backup >/dev/null
installed=""
[ ! -e /usr/bin/morvane-cli ] || { echo "morvane-cli is still installed" >&2; exit 1; }
echo "The package installs, works and removes cleanly."
