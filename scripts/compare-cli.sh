#!/usr/bin/env bash
# Runs the kelvark-cli of two builds through the same commands on copies of
# the same folders and says where what they leave differs: the tree (every
# entry's type, path and permissions, a file's size and modification time),
# the bytes of every file, and each command's standard output, standard error
# and exit status.
#
#   bash scripts/compare-cli.sh OLD_BUILD NEW_BUILD
#
# The folders are the small sample of kelvark-sample (a project with a wave
# missing among them) and 2,000 projects with 40 waves. On each: list in each
# of its forms, on one thread and on the default number; report, sort
# (refused, then --skip-unsortable on the sample), unsort; the move of some
# projects into a folder beside it and into /dev/shm (another file system,
# when it is a tmpfs); the rename of a project. Both builds run in the same
# paths, one after the other, so messages that name paths compare too.
# Exit status 0 when nothing differs.
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: bash scripts/compare-cli.sh OLD_BUILD NEW_BUILD" >&2; exit 2; }
old=$(realpath "$1")
new=$(realpath "$2")
sample=$new/tools/kelvark-sample
for program in "$old/cli/kelvark-cli" "$new/cli/kelvark-cli" "$sample"; do
    [ -x "$program" ] || { echo "compare-cli.sh: $program is missing" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvark-compare.XXXXXX")
other=""
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && [ -w /dev/shm ]; then
    other=$(mktemp -d /dev/shm/kelvark-compare.XXXXXX)
fi
trap 'rm -rf "$work" ${other:+"$other"}' EXIT

"$sample" "$work/sample" >/dev/null
"$sample" "$work/large" --projects 2000 --waves 40 --seed 1 >/dev/null

# snapshot FOLDER...: what the folders hold, one line per entry, then the md5sums of their files.
snapshot() {
    local folder
    for folder in "$@"; do
        [ -d "$folder" ] || continue
        # A report is written anew by each run: its time is left out.
        (cd "$folder" && find . \( -type f -name 'Backup*' -printf '%y %p %m %s\n' \) \
            -o \( -type f -printf '%y %p %m %s %T@\n' \) -o -printf '%y %p %m\n' | sort)
        (cd "$folder" && find . -type f -print0 | sort -z | xargs -0r md5sum)
    done
}

# run BUILD SOURCE NAME COMMANDS...: in a fresh copy "f" of SOURCE (with "d"
# beside it and "$other/d"), runs each command (words of one string, "kelvark"
# standing for the build's kelvark-cli) and records its output and exit status,
# then a snapshot of f, d and $other/d, into $work/NAME.BUILD.
run() {
    local build=$1 source=$2 name=$3
    shift 3
    local out=$work/$name
    rm -rf "$work/run" && mkdir "$work/run" "$work/run/d" && cp -a "$source" "$work/run/f"
    if [ -n "$other" ]; then rm -rf "$other/d" && mkdir "$other/d"; fi
    : >"$out"
    local command status
    for command in "$@"; do
        status=0
        (
            kelvark() { "$build/cli/kelvark-cli" "$@"; }
            cd "$work/run" && eval "$command"
        ) >"$out.stdout" 2>"$out.stderr" || status=$?
        { echo "== $command: exit $status"; cat "$out.stdout"; echo "-- stderr"; cat "$out.stderr"; } >>"$out"
    done
    snapshot "$work/run/f" "$work/run/d" ${other:+"$other/d"} >>"$out"
    rm -f "$out.stdout" "$out.stderr"
    echo "$out"
}

# compare NAME SOURCE COMMANDS...: runs both builds and compares what they left.
differences=0
compare() {
    local name=$1 source=$2
    shift 2
    local a b
    a=$(run "$old" "$source" "$name.old" "$@")
    b=$(run "$new" "$source" "$name.new" "$@")
    if cmp -s "$a" "$b"; then
        printf '%-22s same (%s lines)\n' "$name" "$(wc -l <"$a")"
    else
        printf '%-22s DIFFERS\n' "$name"
        diff "$a" "$b" | head -n 20 || true
        differences=1
    fi
}

few_sample='"Alder Road" "Blue Hour" "Dust Choir"'
mapfile -t large_names < <("$new/cli/kelvark-cli" list --tsv "$work/large" | tail -n +2 | cut -f 1)
few_large=$(printf '"%s" ' "${large_names[@]:0:200}")

lists=('kelvark list --threads 1 f' 'kelvark list f' 'kelvark list --tsv --threads 1 f' 'kelvark list --tsv f'
    'kelvark list --sets f' 'kelvark list --sets --tsv f' 'kelvark list --cd --tsv f' 'kelvark list --no-mix --tsv f'
    'kelvark list --no-regular --tsv f')
compare sample-list "$work/sample" "${lists[@]}"
compare large-list "$work/large" "${lists[@]}"
compare sample-sort "$work/sample" 'kelvark report --yes f' 'kelvark sort --yes f' \
    'kelvark sort --skip-unsortable --yes f' 'kelvark list --sets f' 'kelvark unsort --yes f'
compare sample-move "$work/sample" "kelvark move f d $few_sample" 'kelvark move f d "Cinder Lane"' \
    'kelvark rename f "Granite Sky" "Granite Peak"' 'kelvark rename f "Ember Tide" "Alder Road"'
if [ -n "$other" ]; then
    compare sample-move-other "$work/sample" "kelvark move f \"$other/d\" $few_sample"
fi
compare large-sort "$work/large" 'kelvark report --yes f' 'kelvark sort --cd --yes f' \
    'kelvark unsort --cd --yes f' 'kelvark sort --yes f'
compare large-move "$work/large" "kelvark move f d $few_large" \
    "kelvark rename f \"${large_names[300]}\" \"Renamed Session\""
if [ -n "$other" ]; then
    compare large-move-other "$work/large" "kelvark move f \"$other/d\" $few_large"
fi
exit "$differences"
