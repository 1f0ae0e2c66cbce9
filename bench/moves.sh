#!/usr/bin/env bash
# Times the two operations that move users' files against the least work that
# does the same moves:
#
#   sort  `kelvark-cli sort --medium dvd --yes` of a generated root folder of
#         2,000 projects with 40 waves, against the scan of the same folder
#         (`kelvark-cli list --tsv`) plus bench/sort_floor doing the sort's
#         renames (each file into its set folder, relative to the folders'
#         descriptors). Target: at most 1.15x.
#   move  `kelvark-cli move` of every project of a folder of 200 projects with
#         40 waves to a folder on another file system (a tmpfs), against
#         `cp -a` of the same files there followed by `rm` of the originals.
#         Target: at most 1.2x.
#
#   bash bench/moves.sh [BUILD_DIR]      (BUILD_DIR defaults to build)
#
# Every run starts from a fresh copy of the generated folder, made and flushed
# to the disk outside the timing; each figure is the best of 3 runs. The other
# file system is /dev/shm when it is a tmpfs apart from the work folder, else
# a tmpfs the script mounts (needs root); the move is skipped, with a message,
# when there is none.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

build=${1:-build}
cli=$build/cli/kelvark-cli
sample=$build/tools/kelvark-sample
floor=$build/bench/sort_floor
require "$cli" "$sample" "$floor"

make_work moves
mounted="" # a tmpfs the script mounted
shm=""     # a folder the script made in /dev/shm
cleanup() {
    [ -z "$mounted" ] || umount "$mounted"
    [ -z "$shm" ] || rm -rf "$shm"
    rm -rf "$work"
}
trap cleanup EXIT

runs=3
waves=40


# fresh SOURCE COPY: COPY becomes a copy of SOURCE, on the disk.
fresh() {
    rm -rf "$2"
    cp -a "$1" "$2"
    sync
}

# --- sort -------------------------------------------------------------------
projects=2000
original=$work/sort-original
copy=$work/sort-copy
"$sample" "$original" --projects "$projects" --waves "$waves" --seed 1 >/dev/null

# The sort's own result says where each file goes: the floor does those moves.
# The label the sort writes into each set folder is no move.
fresh "$original" "$copy"
"$cli" sort --medium dvd --yes "$copy" >/dev/null 2>"$work/sort.err" || { cat "$work/sort.err" >&2; exit 1; }
(cd "$copy" && find . -mindepth 2 -type f ! -name 'Kelvark Disc.txt' -printf '%P\n') >"$work/moves"
if [ "$(wc -l <"$work/moves")" -ne "$(find "$original" -type f | wc -l)" ]; then
    echo "moves.sh: the sort left files in the root folder" >&2
    exit 1
fi

fresh_sort() { fresh "$original" "$copy"; }
sort_folder() { "$cli" sort --medium dvd --yes "$copy" 2>/dev/null; } # its messages were seen above
rename_floor() { "$floor" "$copy" <"$work/moves"; }
fresh "$original" "$copy"
list_seconds=$(best_of true "$cli" list --medium dvd --tsv "$copy")
floor_seconds=$(best_of fresh_sort rename_floor)
sort_seconds=$(best_of fresh_sort sort_folder)
rm -rf "$copy"

printf 'Sort of %d projects x %d waves (%d files), best of %d runs on fresh copies\n' \
    "$projects" "$waves" "$(wc -l <"$work/moves")" "$runs"
printf '  %-28s %9s\n' 'list (s)' "$list_seconds" 'rename floor (s)' "$floor_seconds" \
    'list + rename floor (s)' "$(awk -v a="$list_seconds" -v b="$floor_seconds" 'BEGIN { printf "%.4f", a + b }')" \
    'sort (s)' "$sort_seconds"
printf '  ratio %.2f (target <= 1.15)\n' \
    "$(awk -v s="$sort_seconds" -v a="$list_seconds" -v b="$floor_seconds" 'BEGIN { print s / (a + b) }')"

# --- move to another file system --------------------------------------------
device() { stat -c %d "$1"; }
dest=""
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && [ -w /dev/shm ] \
    && [ "$(device /dev/shm)" != "$(device "$work")" ]; then
    shm=$(mktemp -d /dev/shm/kelvark-moves.XXXXXX)
    dest=$shm
elif mkdir "$work/tmpfs" && mount -t tmpfs -o size=1g kelvark-moves "$work/tmpfs" 2>/dev/null; then
    mounted=$work/tmpfs
    dest=$mounted
fi
if [ -z "$dest" ]; then
    printf '\nMove skipped: no tmpfs apart from %s (/dev/shm is none, and mounting one needs root)\n' "$work"
    exit 0
fi

projects=200
original=$work/move-original
"$sample" "$original" --projects "$projects" --waves "$waves" --seed 1 >/dev/null
mapfile -t names < <("$cli" list --tsv "$original" | tail -n +2 | cut -f 1)
files=$(find "$original" -type f | wc -l)

fresh_move() {
    fresh "$original" "$copy"
    find "$dest" -mindepth 1 -delete
}
move_projects() { "$cli" move "$copy" "$dest" "${names[@]}"; }
copy_and_remove() { cp -a "$copy"/* "$dest"/ && rm "$copy"/*; }
move_seconds=$(best_of fresh_move move_projects)
if [ "$(find "$dest" -type f | wc -l)" -ne "$files" ]; then
    echo "moves.sh: the move did not take every file" >&2
    exit 1
fi
copy_seconds=$(best_of fresh_move copy_and_remove)

printf '\nMove of %d projects x %d waves (%d files) to a tmpfs, best of %d runs on fresh copies\n' \
    "$projects" "$waves" "$files" "$runs"
printf '  %-28s %9s\n' 'cp -a + rm (s)' "$copy_seconds" 'move (s)' "$move_seconds"
printf '  ratio %s (target <= 1.2)\n' "$(ratio "$move_seconds" "$copy_seconds")"
