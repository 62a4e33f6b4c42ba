#!/usr/bin/env bash
# Builds the fuzzers (clang, libFuzzer, ASan+UBSan) and runs each over a copy of its corpus:
#   fuzz.sh BUILD_DIR [SECONDS] [NAME...]
# SECONDS per fuzzer (default 30); NAMEs pick fuzzers (job_file, list_files, ...; default all).
# Fails on a crash, a broken property, a leak, an input slower than 10 s or an allocation beyond
# the limits, naming the file that holds the input; the inputs a run adds stay in BUILD_DIR/fuzz-runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:?usage: fuzz.sh BUILD_DIR [SECONDS] [NAME...]}
seconds=${2:-30}
shift $(( $# < 2 ? $# : 2 ))
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_FUZZ=ON >/dev/null
cmake --build "$dir" --target morvane_fuzzers

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for folder in "$root"/tests/fuzz/corpus/*/; do
        names+=("$(basename "$folder")")
    done
fi
for name in "${names[@]}"; do
    if [ ! -d "$root/tests/fuzz/corpus/$name" ] || [ ! -x "$dir/bin/morvane_fuzz_$name" ]; then
        echo "No fuzzer named $name (each has its corpus in tests/fuzz/corpus/NAME)" >&2
        exit 2
    fi
done

# One fuzzer: a fresh copy of its corpus, its own temporary folder, and its findings beside them.
run_one() {
    local name=$1 work="$dir/fuzz-runs/$1"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/tmp"
    cp -r "$root/tests/fuzz/corpus/$name/." "$work/corpus/"
    TMPDIR="$work/tmp" UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$dir/bin/morvane_fuzz_$name" "$work/corpus" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=1024 -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix="$work/" \
        >"$work/log" 2>&1
}

failed=()
for name in "${names[@]}"; do
    if run_one "$name"; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/fuzz-runs/$name/log")
        echo "$name: ${runs:-?} inputs in ${seconds} s, nothing found"
    else
        echo "$name: FAILED, see $dir/fuzz-runs/$name/log"
        found=$(find "$dir/fuzz-runs/$name" -maxdepth 1 -type f \
            \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \))
        if [ -n "$found" ]; then
            sed 's/^/  input: /' <<<"$found"
        else
            echo "  no input was written; the log tells why"
        fi
        failed+=("$name")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "Fuzzers with findings: ${failed[*]}"
    exit 1
fi
