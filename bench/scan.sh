#!/usr/bin/env bash
# Times a folder scan end to end, `kelvark-cli list --tsv`, on generated root
# folders of 500 and 2,000 projects with 40 wave headers each and of 32,000
# projects with 10, and sets it beside the I/O floor of the same folder,
# measured by bench/floor.
#
#   bash bench/scan.sh [BUILD_DIR]      (BUILD_DIR defaults to build)
#
# The floor is one process that lists the folder once and reads every project
# file whole and the first 64 bytes of every wave file: what a scan cannot
# avoid. Warm: the folder was just written, best of 3 runs on each side. Cold:
# the page cache is dropped before each run (needs root; skipped otherwise).
# Peak memory is the maximum resident size that /usr/bin/time reports (the
# "time" package).
#
# Targets at 2,000 projects: warm list at most 1.25x the floor on two threads
# (the tightest reading of those files on this 2-core machine; the one-thread
# floor is shown beside it), cold list at most 1.2x the cold floor with 8
# threads (reading ahead as a scan can); peak memory at most 2.5 kB per
# project at 32,000 projects.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

build=${1:-build}
cli=$build/cli/kelvark-cli
sample=$build/tools/kelvark-sample
floor=$build/bench/floor
require "$cli" "$sample" "$floor" /usr/bin/time
make_work scan

runs=3

drop_caches() {
    "$floor" --drop-caches
}

list() {
    "$cli" list --tsv "$1"
}

peak_kb() {
    /usr/bin/time -f %M "$cli" list --tsv "$1" 2>&1 >/dev/null | tail -n 1
}

printf 'Scan of generated root folders, warm cache, best of %d runs\n' "$runs"
printf '%9s %6s %8s %10s %18s %14s %18s\n' projects waves files 'list (s)' 'per project (ms)' 'peak (kB)' 'per project (kB)'
for size in "500 40" "2000 40" "32000 10"; do
    read -r projects waves <<<"$size"
    folder=$work/p$projects
    "$sample" "$folder" --projects "$projects" --waves "$waves" --seed 1
    rows=$("$cli" list --tsv "$folder" | wc -l)
    if [ "$rows" -ne $((projects + 1)) ]; then
        echo "scan.sh: expected $((projects + 1)) lines from kelvark-cli, got $rows" >&2
        exit 1
    fi
    files=$(find "$folder" -maxdepth 1 -type f | wc -l)
    seconds=$(best_of true list "$folder")
    peak=$(peak_kb "$folder")
    printf '%9d %6d %8d %10s %18s %14s %18s\n' "$projects" "$waves" "$files" "$seconds" \
        "$(awk -v s="$seconds" -v n="$projects" 'BEGIN { printf "%.3f", s * 1000 / n }')" \
        "$peak" "$(awk -v k="$peak" -v n="$projects" 'BEGIN { printf "%.1f", k / n }')"
    if [ "$projects" -eq 2000 ]; then
        warm_list=$seconds
        floors=$("$floor" "$folder")
        warm_floor=$(awk '$1 == "warm" { print $2 }' <<<"$floors")
        warm_floor2=$("$floor" --warm --threads 2 "$folder" | awk '$1 == "warm" { print $2 }')
        cold_floor=$(awk '$1 == "cold" { print $2 }' <<<"$floors")
        cold_skipped=$(grep '^cold skipped' <<<"$floors" || true)
        if [ -n "$cold_floor" ]; then
            cold_floor8=$("$floor" --threads 8 "$folder" | awk '$1 == "cold" { print $2 }')
            cold_list=$(best_of drop_caches list "$folder")
        fi
    fi
    if [ "$projects" -eq 32000 ]; then peak_32000=$peak; fi
    rm -rf "$folder"
done

printf '\n2000 projects x 40 waves:\n'
printf '  %-6s %10s %18s %10s %7s %8s\n' cache 'list (s)' floor 'floor (s)' ratio target
printf '  %-6s %10s %18s %10s %7s %8s\n' warm "$warm_list" '2 threads' "$warm_floor2" \
    "$(ratio "$warm_list" "$warm_floor2")" '<= 1.25'
printf '  %-6s %10s %18s %10s %7s\n' warm "$warm_list" '1 thread' "$warm_floor" "$(ratio "$warm_list" "$warm_floor")"
if [ -n "$cold_floor" ]; then
    printf '  %-6s %10s %18s %10s %7s %8s\n' cold "$cold_list" '8 threads' "$cold_floor8" \
        "$(ratio "$cold_list" "$cold_floor8")" '<= 1.2'
    printf '  %-6s %10s %18s %10s %7s\n' cold "$cold_list" '1 thread' "$cold_floor" "$(ratio "$cold_list" "$cold_floor")"
else
    printf '  %s\n' "$cold_skipped"
fi
printf '\nPeak memory at 32000 projects: %s kB per project (target: at most 2.5)\n' \
    "$(awk -v k="$peak_32000" 'BEGIN { printf "%.1f", k / 32000 }')"
