#!/usr/bin/env bash
# Times a folder scan end to end: `kelvark-cli list --tsv` on generated root
# folders of 500, 1,000 and 2,000 projects with 40 wave headers each, and, on the
# 2,000-project folder, the I/O floor of the same reads done by standard tools.
#
#   bash bench/scan.sh [BUILD_DIR]      (BUILD_DIR defaults to build)
#
# The floor is one find over the root folder that hands the files to cat (every
# project file read whole) and head -c 64 (the first 64 bytes of every wave
# file) in batches, so a handful of processes start, not one per file. It lists
# the folder and opens and reads each file once: what a scan cannot avoid.
# Both sides run with a warm page cache (the folder was just written) and the
# best of three runs is kept. Targets: the list within 2x the floor, and a time
# per project that stays flat from 500 to 2,000 projects.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
cli=$build/cli/kelvark-cli
sample=$build/tools/kelvark-sample
for program in "$cli" "$sample"; do
    [ -x "$program" ] || { echo "scan.sh: $program is missing; build first" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvark-scan.XXXXXX")
trap 'rm -rf "$work"' EXIT

waves=40
runs=3

# Wall time in seconds of the command, the best of $runs runs.
best_of() {
    local best="" start end t
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        "$@" >/dev/null
        end=$(date +%s%N)
        t=$((end - start))
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    awk -v ns="$best" 'BEGIN { printf "%.3f", ns / 1e9 }'
}

io_floor() {
    find "$1" -maxdepth 1 -type f \
        \( -iname '*.cue' -exec cat -- {} + \) -o \
        \( -iname '*.wav' -exec head -q -c 64 -- {} + \)
}

list() {
    "$cli" list --tsv "$1"
}

printf 'Scan of generated root folders, %d waves per project, warm cache, best of %d runs\n' "$waves" "$runs"
printf '%9s %8s %12s %18s\n' projects files 'list (s)' 'per project (ms)'
for projects in 500 1000 2000; do
    folder=$work/p$projects
    "$sample" "$folder" --projects "$projects" --waves "$waves" --seed 1
    rows=$("$cli" list --tsv "$folder" | wc -l)
    if [ "$rows" -ne $((projects + 1)) ]; then
        echo "scan.sh: expected $((projects + 1)) lines from kelvark-cli, got $rows" >&2
        exit 1
    fi
    files=$(find "$folder" -maxdepth 1 -type f | wc -l)
    seconds=$(best_of list "$folder")
    printf '%9d %8d %12s %18s\n' "$projects" "$files" "$seconds" \
        "$(awk -v s="$seconds" -v n="$projects" 'BEGIN { printf "%.3f", s * 1000 / n }')"
    if [ "$projects" -eq 2000 ]; then
        floor=$(best_of io_floor "$folder")
        listed=$seconds
    fi
    rm -rf "$folder"
done

printf '\n2000 projects x %d waves:\n' "$waves"
printf '  I/O floor (find | cat *.cue, head -c 64 *.wav):  %s s\n' "$floor"
printf '  kelvark-cli list --tsv:                          %s s\n' "$listed"
printf '  ratio:                                           %s (target: at most 2)\n' \
    "$(awk -v a="$listed" -v b="$floor" 'BEGIN { printf "%.2f", a / b }')"
