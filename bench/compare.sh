#!/usr/bin/env bash
# Sets two builds of kelvark-cli side by side on the figures a faster
# structure of the scan or the sort must improve to earn its place: the
# change is kept when it gains at least 5 % on its figure.
#
#   bash bench/compare.sh BEFORE_BUILD AFTER_BUILD [FIGURE...]
#
# FIGURE is one of (all when none is given):
#   list   warm `kelvark-cli list --tsv` of generated root folders of
#          2,000 projects x 40 waves and 32,000 projects x 10 waves
#   peak   peak resident memory of that list at 32,000 projects x 10 waves
#   sort   `kelvark-cli sort --medium dvd --yes` of 2,000 projects x 40 waves,
#          each run on a fresh copy made and flushed outside the timing
#   nas    `kelvark-cli list --threads 32` behind 2 ms a request, in one mount
#          of bench/nas.sh (500 projects x 40 waves, cache mode)
#
# Each figure is the median of 5 runs of each build, the builds taking turns
# (before, after, before, ...) after one untimed run of each, so that a
# machine that slows down or speeds up during the comparison weighs on both
# alike. Both builds must give the same list. Run it on an idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

[ $# -ge 2 ] || {
    echo 'usage: bash bench/compare.sh BEFORE_BUILD AFTER_BUILD [list|peak|sort|nas...]' >&2
    exit 2
}
before=$1 after=$2
shift 2
figures=${*:-list peak sort nas}
sample=$before/tools/kelvark-sample
require "$before/cli/kelvark-cli" "$after/cli/kelvark-cli" "$sample" /usr/bin/time
make_work compare
runs=5

# turns FIGURE PREPARE MEASURE: MEASURE BUILD prints one figure of BUILD's
# run, PREPARE runs untimed before each; prints the medians and the gain.
turns() {
    local figure=$1 prepare=$2 measure=$3 build
    : >"$work/before" && : >"$work/after"
    # One untimed run of each first, so that neither build's first timed
    # run is the one that brings it and the folder's names into memory.
    for build in before after; do
        "$prepare"
        "$measure" "${!build}" >/dev/null
    done
    for _ in $(seq "$runs"); do
        for build in before after; do
            "$prepare"
            { "$measure" "${!build}" && echo; } >>"$work/$build"
        done
    done
    row "$figure" "$(median <"$work/before")" "$(median <"$work/after")"
}

row() { # row FIGURE BEFORE AFTER
    printf '  %-34s %12s %12s %8s\n' "$1" "$2" "$3" \
        "$(awk -v b="$2" -v a="$3" 'BEGIN { printf "%+.1f %%", (b - a) * 100 / b }')"
}

folder_of() { # folder_of PROJECTS WAVES: a generated root folder, made once
    local folder=$work/p$1x$2
    if [ ! -d "$folder" ]; then # written back before any run is timed
        "$sample" "$folder" --projects "$1" --waves "$2" --seed 1 >/dev/null
        sync
    fi
    echo "$folder"
}

same_lists() { # same_lists FOLDER
    "$before/cli/kelvark-cli" list --tsv "$1" >"$work/before.tsv"
    "$after/cli/kelvark-cli" list --tsv "$1" >"$work/after.tsv"
    cmp -s "$work/before.tsv" "$work/after.tsv" || {
        echo "compare.sh: the builds list $1 differently" >&2
        exit 1
    }
}

nothing() { :; }

printf 'Medians of %d runs each, the builds taking turns; gain: how much less the second takes\n' "$runs"
printf '  %-34s %12s %12s %8s\n' figure "$before" "$after" gain
for figure in $figures; do
    case $figure in
    list)
        for size in "2000 40" "32000 10"; do
            read -r projects waves <<<"$size"
            folder=$(folder_of "$projects" "$waves")
            same_lists "$folder"
            list_seconds() { seconds_of "$1/cli/kelvark-cli" list --tsv "$folder"; }
            turns "warm list ${projects}x$waves (s)" nothing list_seconds
        done
        ;;
    peak)
        folder=$(folder_of 32000 10)
        peak_kb() { /usr/bin/time -f %M "$1/cli/kelvark-cli" list --tsv "$folder" 2>&1 >/dev/null | tail -n 1; }
        turns "peak 32000x10 (kB)" nothing peak_kb
        ;;
    sort)
        original=$(folder_of 2000 40)
        copy=$work/sort-copy
        fresh_copy() { # the folder and an empty catalogue, as a first sort finds them
            rm -rf "$copy" "$XDG_DATA_HOME"
            cp -a "$original" "$copy"
            sync
        }
        sort_seconds() { seconds_of "$1/cli/kelvark-cli" sort --medium dvd --yes "$copy"; }
        turns "sort 2000x40 (s)" fresh_copy sort_seconds
        rm -rf "$copy"
        ;;
    nas)
        bash bench/nas.sh "$before" --delays-us 2000 --modes cache --only-many --runs "$runs" \
            --against "$after" >"$work/nas.out"
        grep -q ' ms ' "$work/nas.out" || { cat "$work/nas.out" >&2; exit 1; }
        row "list 32 behind 2 ms (s)" "$(awk '$2 == "ms" { print $5 }' "$work/nas.out")" \
            "$(awk '$1 == "against" { print $NF }' "$work/nas.out")"
        ;;
    *)
        echo "compare.sh: no figure $figure" >&2
        exit 2
        ;;
    esac
done
