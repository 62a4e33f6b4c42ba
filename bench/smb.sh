#!/usr/bin/env bash
# Compares a full backup to an SMB share and a restore from it with the Samba client's own mput and
# mget of the same folder, against a Samba server this script starts on 127.0.0.1, and prints ratios.
#
# Usage: bench/smb.sh BUILD_DIR [FILES] [ROUNDS]
#   FILES   small files in the tree (default 2000); one large file of LARGE_MIB MiB (default 64) on top
#   ROUNDS  timed rounds per comparison, at least 3 (default 5); the median counts
# Needs smbd, smbpasswd and smbclient (Debian: samba, smbclient) and python3.
set -euo pipefail

build=$(cd "$1" && pwd)
files=${2:-2000}
rounds=${3:-5}
[ "$rounds" -ge 3 ] || { echo "ROUNDS must be at least 3" >&2; exit 64; }
large_mib=${LARGE_MIB:-64}
here=$(cd "$(dirname "$0")" && pwd)
cli="$build/bin/morvane-cli"
[ -x "$cli" ] || { echo "no morvane-cli in $build/bin (build the target morvane-cli)" >&2; exit 64; }
PATH="$PATH:/usr/sbin:/sbin"
for tool in smbd smbpasswd smbclient python3; do
    command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 64; }
done

work=$(mktemp -d "${WORK_DIR:-${TMPDIR:-/tmp}}/morvane-smb-bench-XXXXXX")
smbd_pid=""
stop_server() {
    [ -z "$smbd_pid" ] || { kill -TERM -- "-$smbd_pid" 2>/dev/null || true; wait "$smbd_pid" 2>/dev/null || true; }
}
trap 'stop_server; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

# --- the server ------------------------------------------------------------------------------------

user=$(id -un)
password=Bench-42
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
server="$work/server"
mkdir -p "$server"/{private,lock,state,cache,pid,ncalrpc,share}
cat >"$server/smb.conf" <<EOF
[global]
server role = standalone server
smb ports = $port
interfaces = 127.0.0.1
bind interfaces only = yes
disable netbios = yes
private dir = $server/private
lock directory = $server/lock
state directory = $server/state
cache directory = $server/cache
pid directory = $server/pid
ncalrpc dir = $server/ncalrpc
log file = $server/log.%m
passdb backend = tdbsam:$server/private/passdb.tdb
load printers = no
printing = bsd
printcap name = /dev/null
disable spoolss = yes
server min protocol = SMB2_10
[share]
path = $server/share
read only = no
valid users = $user
EOF
printf '%s\n%s\n' "$password" "$password" | smbpasswd -c "$server/smb.conf" -a -s "$user" >/dev/null
setsid smbd --foreground --no-process-group -s "$server/smb.conf" </dev/null >/dev/null 2>&1 &
smbd_pid=$!
for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
done

# --- helpers ---------------------------------------------------------------------------------------

cli() {
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
        XDG_CACHE_HOME="$work/home/.cache" TMPDIR="$work/tmp" "$cli" "$@"
}
smb() { # smb LOCAL_FOLDER COMMANDS
    smbclient "//127.0.0.1/share" -p "$port" -U "$user%$password" -m SMB3 -c "lcd $1; $2" >/dev/null
}

seconds() {
    local start end
    sync -f "$work"
    start=$EPOCHREALTIME
    if ! "$@" >"$work/last.out" 2>&1; then
        echo "failed: $*" >&2
        tail -20 "$work/last.out" >&2
        kill -TERM $$
        exit 1
    fi
    end=$EPOCHREALTIME
    local took
    took=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    echo "  $took s  ${*:1:3}" >&2
    echo "$took"
}
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}
same_tree() { # same_tree A B: the same names and contents
    diff -r "$1" "$2" >/dev/null || { echo "the copy in $2 differs from $1" >&2; exit 1; }
}

# --- the tree --------------------------------------------------------------------------------------

src="$work/src/Tree"
echo "Generating $files small files and 1 x $large_mib MiB; server on 127.0.0.1:$port ..." >&2
python3 "$here/make_tree.py" tree "$src" "$files" 1 "$large_mib"
mkdir -p "$work/home/.config" "$work/home/.local/share" "$work/home/.cache" "$work/tmp"

# --- the rounds ------------------------------------------------------------------------------------

ours_backup=() theirs_put=() ours_restore=() theirs_get=()
for ((r = 0; r <= rounds; r++)); do
    [ "$r" -gt 0 ] || echo "warm-up round" >&2
    job="B$r"
    mkdir -p "$server/share/ours$r" "$server/share/theirs$r/Tree"
    printf '%s\n' "$password" | cli new "$job" --source "$src" --dest "\\\\127.0.0.1:$port\\share\\ours$r" \
        --type full --user "$user" --password-stdin >/dev/null
    backup() { t=$(seconds cli backup "$job"); [ "$r" -eq 0 ] || ours_backup+=("$t"); }
    put() { t=$(seconds smb "$src" "prompt; recurse; cd theirs$r/Tree; mput *"); [ "$r" -eq 0 ] || theirs_put+=("$t"); }
    if ((r % 2)); then backup; put; else put; backup; fi
    same_tree "$src" "$server/share/theirs$r/Tree"
    mkdir -p "$work/out$r" "$work/get$r"
    restore() { t=$(seconds cli restore "$job" --to "$work/out$r" --latest); [ "$r" -eq 0 ] || ours_restore+=("$t"); }
    get() { t=$(seconds smb "$work/get$r" "prompt; recurse; cd theirs$r; mget Tree"); [ "$r" -eq 0 ] || theirs_get+=("$t"); }
    if ((r % 2)); then restore; get; else get; restore; fi
    same_tree "$src" "$work/out$r/Tree"
    same_tree "$src" "$work/get$r/Tree"
done

b=$(median "${ours_backup[@]}") p=$(median "${theirs_put[@]}")
o=$(median "${ours_restore[@]}") g=$(median "${theirs_get[@]}")
echo
echo "Tree: $files small files + 1 x $large_mib MiB; medians of $rounds rounds"
printf '%-46s %8s %8s %7s %s\n' "comparison" "ours" "smbclient" "ratio" "target"
printf '%-46s %7ss %8ss %7s %s\n' "full backup to the share / mput" "$b" "$p" "$(ratio "$b" "$p")" "<= 1.0"
printf '%-46s %7ss %8ss %7s %s\n' "restore from the share / mget" "$o" "$g" "$(ratio "$o" "$g")" "<= 1.0"
