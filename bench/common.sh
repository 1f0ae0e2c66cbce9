# Timing helpers of the benchmark scripts, sourced by them. The caller sets
# $runs, the number of runs best_of takes the best of.

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
