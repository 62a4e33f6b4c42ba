#!/usr/bin/env bash
# Installs the build into a staging root (as a package build does) and runs the installed morvane-cli
# from there: it must find its data files beside no build folder, back up and restore.
# Usage: staging_install_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root

DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" || {
    cat "$work/install.log"
    exit 1
}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

for file in bin/morvane-cli bin/morvane-backup libexec/morvane-backup/morvane-imager \
    share/morvane-backup/transl.dt share/morvane-backup/excluded-directories.txt \
    share/applications/org.morvane.Backup.desktop share/mime/packages/org.morvane.Backup.xml \
    share/metainfo/org.morvane.Backup.metainfo.xml share/icons/hicolor/scalable/apps/morvane-backup.svg \
    share/icons/hicolor/48x48/apps/morvane-backup.png share/bash-completion/completions/morvane-cli \
    share/man/man1/morvane-cli.1.gz share/man/man1/morvane-backup.1.gz share/man/man8/morvane-imager.8.gz \
    share/doc/morvane-backup/copyright lib/systemd/user/morvane-scheduler.service; do
    [ -e "$root/usr/$file" ] || fail "not installed: /usr/$file"
done
[ ! -e "$root/usr/bin/morvane-imager" ] || fail "the imaging tool is on the search path"
grep -qx 'ExecStart=/usr/bin/morvane-cli run-scheduler' "$root/usr/lib/systemd/user/morvane-scheduler.service" ||
    fail "the user service does not name the installed tool: $(grep ExecStart "$root/usr/lib/systemd/user/morvane-scheduler.service")"
grep -qx 'Exec=morvane-backup %f' "$root/usr/share/applications/org.morvane.Backup.desktop" ||
    fail "the desktop entry does not start the installed program"

# A throw-away user whose interface language is German: the German texts come from the installed
# transl.dt, which lies in share/, not beside the program.
home=$work/home
mkdir -p "$home/config" "$home/src/sub" "$home/dest" "$home/out"
printf '[Morvane%%20Backup]\nCurrentLanguage=de\n' >"$home/config/morvane-backup.ini"
printf 'alpha\n' >"$home/src/a.txt"
printf 'beta\n' >"$home/src/sub/b.txt"
cli() {
    env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$home/no-bus" "$root/usr/bin/morvane-cli" "$@"
}

version=$(cli --version) || fail "--version failed"
[[ $version == "morvane-cli "* ]] || fail "--version printed: $version"
cli new Docs --source "$home/src" --dest "$home/dest" || fail "new failed"
listed=$(cli list)
[[ $listed == *$'\tDateien und Ordner\t'* ]] || fail "the interface texts were not found: $listed"
cli backup Docs >"$work/backup.log" || { cat "$work/backup.log"; fail "backup failed"; }
cli restore Docs --to "$home/out" --latest >"$work/restore.log" || { cat "$work/restore.log"; fail "restore failed"; }
restored=$(find "$home/out" -name a.txt | head -1)
[ -n "$restored" ] || fail "nothing restored: $(find "$home/out")"
diff -r "$home/src" "$(dirname "$restored")" || fail "the restored files differ from the source"
echo "The installed tool backed up and restored from the staging root."
