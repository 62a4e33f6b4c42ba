#!/usr/bin/env bash
# Compares whole backup and restore runs of morvane-cli with cp -a and rsync -a on the same generated
# tree, in one run, and prints each as a ratio.
#
# Usage: bench/engine.sh BUILD_DIR [FILES] [ROUNDS]
#   FILES   small files in the tree (default 200000); four large files of LARGE_MIB MiB come on top
#   ROUNDS  timed rounds per comparison, at least 3 (default 5); the median counts
# Environment:
#   WORK_DIR      where the trees and backups go (default: TMPDIR or /tmp); "same disk" means this one
#   TMPFS_DIR     a tmpfs folder for the engine's temporary folder (default /dev/shm)
#   LARGE_FILES   large files in the tree (default 4), LARGE_MIB their size (default 64)
#   MEMORY_FILES  files of the peak-memory run (default 1000000; 0 leaves that run out)
# Every copy stays until the end, so the work folder needs room for about 30 copies of the tree.
#
# The page cache cannot be dropped without root, so every compared command gets the same treatment:
# a warm-up round that is not counted, then rounds in which the commands alternate their order, each
# started with no dirty pages left by the one before. The medians make load from other processes on
# the machine cancel out as far as it can.
set -euo pipefail

build=$(cd "$1" && pwd)
files=${2:-200000}
rounds=${3:-5}
[ "$rounds" -ge 3 ] || { echo "ROUNDS must be at least 3" >&2; exit 64; }
large_files=${LARGE_FILES:-4}
large_mib=${LARGE_MIB:-64}
memory_files=${MEMORY_FILES:-1000000}
here=$(cd "$(dirname "$0")" && pwd)
cli="$build/bin/morvane-cli"
[ -x "$cli" ] || { echo "no morvane-cli in $build/bin (build the target morvane-cli)" >&2; exit 64; }
for tool in rsync python3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 64; }
done

work=$(mktemp -d "${WORK_DIR:-${TMPDIR:-/tmp}}/morvane-engine-bench-XXXXXX")
tmpfs=$(mktemp -d "${TMPFS_DIR:-/dev/shm}/morvane-engine-bench-XXXXXX")
trap 'rm -rf "$work" "$tmpfs"' EXIT
trap 'exit 1' INT TERM
chattr +T "$work" 2>/dev/null || true
src="$work/src/Tree"

# --- helpers ---------------------------------------------------------------------------------------

# Runs morvane-cli with a private home, configuration and temporary folder: cli TEMP_DIR ARGS...
cli() {
    local temp=$1
    shift
    HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
        XDG_CACHE_HOME="$work/home/.cache" TMPDIR="$temp" "$cli" "$@"
}

# A new folder name in the work folder for each copy. The work folder is marked as a top of folder
# hierarchies where the file system allows it, so new folders spread over the block groups. Copies
# are kept until the end: ext4 without a journal avoids reusing an inode for a minute or more after
# its file was deleted, and scans past every such inode of a block group when it creates a file, so
# deleting one copy would slow down whichever command is measured next in the groups it freed.
fresh() {
    echo "$work/$1-${EPOCHREALTIME/./}"
}

fresh_home() {
    rm -rf "$work/home"
    mkdir -p "$work/home/.config" "$work/home/.local/share" "$work/home/.cache"
}

# Flushes what earlier steps wrote, so a timed command does not pay for their writeback.
settle() {
    sync -f "$work"
}

# Seconds a command takes, with its output dropped; a failing command stops the benchmark.
seconds() {
    local start end
    settle
    start=$EPOCHREALTIME
    if ! "$@" >"$work/last.out" 2>&1; then
        echo "failed: $*" >&2
        tail -20 "$work/last.out" >&2
        kill -TERM $$ # this runs in a command substitution; stop the whole benchmark
        exit 1
    fi
    end=$EPOCHREALTIME
    local took
    took=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    echo "  $took s  ${*: -3}" >&2 # progress: the time and the end of the command line
    echo "$took"
}

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}

# A backup run starts in a second of its own: the second names its backup folder.
next_second() {
    local now=$EPOCHREALTIME
    sleep "$(awk -v t="$now" 'BEGIN { printf "%.3f", 1.05 - (t - int(t)) }')"
}

# Runs the given functions in an order that rotates with the round: round ROUND FUNCTION...
round() {
    local r=$1
    shift
    local n=$# i
    local steps=("$@")
    for ((i = 0; i < n; i++)); do
        "${steps[$(((i + r) % n))]}"
    done
}

# --- the tree --------------------------------------------------------------------------------------

echo "Generating $files small files and $large_files x $large_mib MiB in $work ..." >&2
python3 "$here/make_tree.py" tree "$src" "$files" "$large_files" "$large_mib"
tree_bytes=$(du -sb "$src" | cut -f1)
folders=$(find "$src" -type d | wc -l)

# --- full copies -----------------------------------------------------------------------------------

full_cp=() full_rsync=() full_tmpfs=() full_disk=()
last_cp="" last_rsync="" last_dest=""
t_cp() {
    last_cp=$(fresh cp)
    full_cp+=("$(seconds cp -a "$src" "$last_cp")")
}
t_rsync() {
    last_rsync=$(fresh rsync)
    full_rsync+=("$(seconds rsync -a "$src/" "$last_rsync/")")
}
ours_full() { # ours_full TEMP_PARENT: a new job's first run, a full copy
    last_dest=$(fresh dest)
    local temp
    temp=$(mktemp -d "$1/tmp-XXXXXX")
    mkdir -p "$last_dest"
    fresh_home
    cli "$temp" new Bench --source "$src" --dest "$last_dest" --type full >/dev/null
    full_ours+=("$(seconds cli "$temp" backup Bench)")
    rm -rf "$temp"
}
t_tmpfs() {
    full_ours=()
    ours_full "$tmpfs"
    full_tmpfs+=("${full_ours[@]}")
}
t_disk() {
    full_ours=()
    ours_full "$work"
    full_disk+=("${full_ours[@]}")
}

echo "Full copies ..." >&2
for ((r = 0; r <= rounds; r++)); do
    round "$r" t_cp t_rsync t_tmpfs t_disk
    if [ "$r" -eq 0 ]; then # the warm-up round does not count
        full_cp=() full_rsync=() full_tmpfs=() full_disk=()
    fi
done
diff -r "$src" "$last_dest/Bench/"*"(Full)/Tree" >/dev/null || { echo "the full copy differs" >&2; exit 1; }

# --- incremental runs ------------------------------------------------------------------------------

fresh_home
dest=$(fresh dest)
temp=$(fresh tmp)
mirror=$(fresh rsync)
mkdir -p "$dest" "$temp"
cli "$temp" new Bench --source "$src" --dest "$dest" --full-every 1000 >/dev/null
cli "$temp" backup Bench >/dev/null
rsync -a "$src/" "$mirror/"

inc_rsync=() inc_ours=()
t_inc_rsync() { inc_rsync+=("$(seconds rsync -a "$src/" "$mirror/")"); }
t_inc_ours() {
    next_second
    inc_ours+=("$(seconds cli "$temp" backup Bench)")
}

echo "Incremental runs with 1% of the files changed ..." >&2
changed=0
for ((r = 1; r <= rounds; r++)); do
    changed=$(python3 "$here/make_tree.py" change "$src" 1 "$r")
    round "$r" t_inc_rsync t_inc_ours
done
change_rsync=("${inc_rsync[@]}") change_ours=("${inc_ours[@]}")

echo "Incremental runs without a change ..." >&2
inc_rsync=() inc_ours=()
round 0 t_inc_rsync t_inc_ours # warm-up
inc_rsync=() inc_ours=()
for ((r = 1; r <= rounds; r++)); do
    round "$r" t_inc_rsync t_inc_ours
done
same_rsync=("${inc_rsync[@]}") same_ours=("${inc_ours[@]}")

# --- restore: the full copy and the three increments after it (points 1 to 4) -----------------------

restore_cp=() restore_ours=()
last_cp="" last_out=""
t_restore_cp() {
    last_cp=$(fresh cp)
    restore_cp+=("$(seconds cp -a "$src" "$last_cp")")
}
t_restore_ours() {
    last_out=$(fresh out)
    mkdir -p "$last_out"
    restore_ours+=("$(seconds cli "$temp" restore Bench --to "$last_out" --point 4)")
}

echo "Restores ..." >&2
for ((r = 0; r <= rounds; r++)); do
    round "$r" t_restore_cp t_restore_ours
    if [ "$r" -eq 0 ]; then
        restore_cp=() restore_ours=()
    fi
done
# The latest point must give the source back exactly.
last_out=$(fresh out)
mkdir -p "$last_out"
cli "$temp" restore Bench --to "$last_out" --latest >/dev/null
diff -r "$src" "$last_out/Tree" >/dev/null || { echo "the restored tree differs" >&2; exit 1; }

# --- peak memory of a full run ---------------------------------------------------------------------

memory_kib=""
if [ "$memory_files" -gt 0 ]; then
    echo "Peak memory of a full run of $memory_files files (all in the tmpfs folder) ..." >&2
    # Peak memory does not depend on where the files lie; tmpfs makes the million files quick to write.
    memory_src="$tmpfs/src/Tree"
    python3 "$here/make_tree.py" tree "$memory_src" "$memory_files" 0 0 0
    fresh_home
    dest="$tmpfs/dest"
    temp="$tmpfs/tmp"
    mkdir -p "$dest" "$temp"
    cli "$temp" new Bench --source "$memory_src" --dest "$dest" --type full >/dev/null
    memory_seconds=$(seconds /usr/bin/time -f '%M' -o "$work/rss" env HOME="$work/home" \
        XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
        XDG_CACHE_HOME="$work/home/.cache" TMPDIR="$temp" "$cli" backup Bench)
    memory_kib=$(tail -1 "$work/rss")
    rm -rf "$dest" "$temp" "$tmpfs/src"
fi

# --- report ----------------------------------------------------------------------------------------

m() { median "$@"; }
cp_full=$(m "${full_cp[@]}")
rsync_full=$(m "${full_rsync[@]}")
ours_tmpfs=$(m "${full_tmpfs[@]}")
ours_disk=$(m "${full_disk[@]}")
rsync_change=$(m "${change_rsync[@]}")
ours_change=$(m "${change_ours[@]}")
rsync_same=$(m "${same_rsync[@]}")
ours_same=$(m "${same_ours[@]}")
cp_restore=$(m "${restore_cp[@]}")
ours_restore=$(m "${restore_ours[@]}")

verdict() { [ "$2" = - ] || awk -v r="$1" -v t="$2" 'BEGIN { print (r <= t) ? "met" : "MISSED" }'; }
row() { # name, our seconds, reference seconds, target ratio
    local q
    q=$(ratio "$2" "$3")
    printf '%-44s %8.3f s %8.3f s %6s  <= %-4s %s\n' "$1" "$2" "$3" "$q" "$4" "$(verdict "$q" "$4")"
}

fs_work=$(df -T "$work" | awk 'NR == 2 { print $2 }')
fs_tmpfs=$(df -T "$tmpfs" | awk 'NR == 2 { print $2 }')
echo
echo "Tree: $files small files + $large_files x $large_mib MiB, $folders folders, $((tree_bytes / 1048576)) MiB"
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) memory," \
    "work folder on $fs_work, tmpfs folder on $fs_tmpfs; medians of $rounds rounds"
echo "1% of the files is $changed files"
echo
printf '%-44s %10s %10s %6s  %s\n' "comparison" "ours" "reference" "ratio" "target"
row "full backup, temp on tmpfs / cp -a" "$ours_tmpfs" "$cp_full" 1.3
row "full backup, temp on the same disk / cp -a" "$ours_disk" "$cp_full" 1.5
row "full backup, temp on tmpfs / rsync -a" "$ours_tmpfs" "$rsync_full" 0.9
row "incremental, no change / rsync -a" "$ours_same" "$rsync_same" 0.5
row "incremental, 1% changed / rsync -a" "$ours_change" "$rsync_change" 0.6
row "restore of full + 3 increments / cp -a" "$ours_restore" "$cp_restore" 1.3
if [ -n "$memory_kib" ]; then
    per_file=$(awk -v k="$memory_kib" -v n="$memory_files" 'BEGIN { printf "%.0f", k * 1024 / n }')
    printf '%-44s %8d KiB peak, %s bytes per file (target <= 1024): %s  (run took %s s)\n' \
        "full run of $memory_files files" "$memory_kib" "$per_file" \
        "$(awk -v p="$per_file" 'BEGIN { print (p <= 1024) ? "met" : "MISSED" }')" "$memory_seconds"
fi
