# shellcheck shell=bash
# What the benchmark scripts share, sourced by each from the top of the
# repository: the check for the programs they run, their work folder, and
# their timing. The caller sets $runs, the number of runs best_of takes the
# best of.

# require PROGRAM...: exits with status 2, naming the first program that is
# missing.
require() {
    local program
    for program in "$@"; do
        command -v "$program" >/dev/null || {
            echo "$(basename "$0"): $program is missing; build first, or install it" >&2
            exit 2
        }
    done
}

# make_work NAME: $work becomes a new folder for the run, removed on exit (a
# script with more to undo sets a trap of its own after).
make_work() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/kelvark-$1.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    # What a sort, a checksum or a verify records goes into a catalogue of
    # the work folder's own, not the user's.
    export XDG_DATA_HOME=$work/data
}

# make_set_folder CLI SAMPLE PROJECTS WAVES WAVE_MIB: a sorted-looking root
# folder $root in $work with one set folder $set_folder (DVD-A) holding the
# sample's projects, each wave grown to WAVE_MIB MiB of random bytes after its
# header, and its SHA256SUMS.
make_set_folder() {
    local cli=$1 sample=$2 wave
    root=$work/root
    set_folder=$root/DVD-A
    "$sample" "$work/sample" --projects "$3" --waves "$4" --seed 1 >/dev/null
    mkdir -p "$set_folder"
    find "$work/sample" -maxdepth 1 -type f \( -name '*.cue' -o -name '*.wav' \) -exec mv -t "$set_folder" {} +
    for wave in "$set_folder"/*.wav; do
        head -c $(($5 << 20)) /dev/urandom >>"$wave"
    done
    "$cli" checksum "$root" 2>/dev/null
}

# Wall time in seconds of one run of the command.
seconds_of() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    awk -v ns="$((end - start))" 'BEGIN { printf "%.4f", ns / 1e9 }'
}

# best_of BEFORE COMMAND...: the best of $runs runs of the command, the
# command BEFORE (true, or one that warms or drops the page cache) run before each.
best_of() {
    local before=$1 best="" t
    shift
    # shellcheck disable=SC2154 # the caller sets runs
    for _ in $(seq "$runs"); do
        "$before" >/dev/null
        t=$(seconds_of "$@")
        if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
    done
    echo "$best"
}

ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}

# The median of the numbers on standard input, one a line.
median() {
    awk NF | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
