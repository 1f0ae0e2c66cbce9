#!/usr/bin/env bash
# Times the window's Read folder beside `kelvark-cli list --tsv` on the same
# generated root folder (7,200 projects with 40 wave headers each, warm cache),
# the two run one after the other, alternating, and prints their ratio.
#
#   bash bench/window_read.sh [BUILD_DIR] [PROJECTS]   (build and 7200 by default)
#
# The window's time runs from the click on Read folder to the drawn grid, in a
# window under QT_QPA_PLATFORM=offscreen (bench/window_read); the command line's
# is the whole process. Target: the window's best at most 1.2x the command line's.
# QT_QPA_PLATFORM set in the environment (xcb under Xvfb, say) replaces offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

build=${1:-build}
projects=${2:-7200}
cli=$build/cli/kelvark-cli
sample=$build/tools/kelvark-sample
window=$build/bench/window_read
require "$cli" "$sample" "$window"
make_work window
folder=$work/root
"$sample" "$folder" --projects "$projects" --waves 40 --seed 1 >/dev/null
runs=5
platform=${QT_QPA_PLATFORM:-offscreen}

# Wall time in seconds of the command line's list, by the shell's own clock.
TIMEFORMAT=%3R
cli_seconds() {
    { time "$cli" list --tsv "$folder" >/dev/null; } 2>&1
}

lines=$("$cli" list --tsv "$folder" | wc -l)
cli_times=() window_times=()
# One warm-up of each, then the runs, alternating.
"$cli" list --tsv "$folder" >/dev/null
QT_QPA_PLATFORM=$platform "$window" "$folder" >/dev/null 2>&1
for _ in $(seq "$runs"); do
    cli_times+=("$(cli_seconds)")
    read -r t rows < <(QT_QPA_PLATFORM=$platform "$window" "$folder" 2>/dev/null)
    window_times+=("$t")
done
if [ "$rows" -ne $((lines - 1)) ]; then
    echo "window_read.sh: the window showed $rows rows, the command line $((lines - 1))" >&2
    exit 1
fi

best() { printf '%s\n' "$@" | sort -n | head -n 1; }
cli_best=$(best "${cli_times[@]}")
window_best=$(best "${window_times[@]}")
printf 'Read of %d projects x 40 waves, warm cache, %d alternating runs, %s\n' "$projects" "$runs" "$platform"
printf '  kelvark-cli list (s): %s\n' "${cli_times[*]}"
printf '  window read (s):      %s\n' "${window_times[*]}"
printf '  best: window %s s, command line %s s, ratio %s (target <= 1.2)\n' "$window_best" "$cli_best" \
    "$(awk -v a="$window_best" -v b="$cli_best" 'BEGIN { printf "%.2f", a / b }')"
