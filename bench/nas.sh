#!/usr/bin/env bash
# Times `kelvark-cli list --tsv` on a root folder behind the latency of a
# network share, beside the I/O floor of the same folder read one file at a
# time and with 32 requests in flight (bench/floor, --threads 32).
#
#   bash bench/nas.sh [BUILD_DIR] [--projects N] [--waves N] [--delays-us "500 2000"]
#                     [--modes "cache direct"] [--runs N] [--only-many] [--against BUILD_DIR]
#
# BUILD_DIR defaults to build; the folder is 500 projects of 40 waves by
# default (500 project files, 500 earlier saves, 20,000 waves). It is mirrored
# through bench/slowfs, a FUSE file system of this folder's own, compiled here
# against libfuse3: every getattr (so every name looked up), open, read and
# readdir waits the given delay, 0.5 ms and 2 ms by default, and the kernel
# keeps no names or attributes between requests. Mode "cache" lets a file's
# pages stay in the page cache until it is opened again; mode "direct" sends
# every read() to the mirror (direct I/O).
#
# Each figure is the best of --runs runs (1 by default: every request waits a
# fixed time, so runs differ little). The first pass through a fresh mount,
# which makes the kernel's and the mirror's records of every name and takes
# several times longer than any later one, is not timed. The list's output
# through the mirror must be the same as on the folder itself. When
# kelvark-cli list takes --threads N, it is timed with --threads 1 and 32;
# --only-many leaves out the runs one file at a time, which take minutes at 2 ms.
# --against times another build's list --threads 32 in the same mounts, the
# two builds taking turns, each figure then the median of --runs runs: the
# comparison bench/compare.sh makes.
#
# Needs /dev/fuse and fusermount3, and the right to mount: the script says why
# it skipped, with exit status 0, where it cannot mount. It installs what is
# missing to build the mirror (libfuse3-dev, fuse3, pkg-config, gcc; with
# sudo when not run as root). Every mount is undone on exit, Ctrl-C included.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

usage() {
    echo 'usage: bash bench/nas.sh [BUILD_DIR] [--projects N] [--waves N] [--delays-us "US..."] [--modes "cache direct"] [--runs N] [--only-many] [--against BUILD_DIR]' >&2
    exit 2
}

build=build
projects=500
waves=40
delays="500 2000"
modes="cache direct"
runs=1
only_many=""
against=""
build_set=""
while [ $# -gt 0 ]; do
    case $1 in
    --projects) [ $# -ge 2 ] || usage; projects=$2; shift 2 ;;
    --waves) [ $# -ge 2 ] || usage; waves=$2; shift 2 ;;
    --delays-us) [ $# -ge 2 ] || usage; delays=$2; shift 2 ;;
    --modes) [ $# -ge 2 ] || usage; modes=$2; shift 2 ;;
    --runs) [ $# -ge 2 ] || usage; runs=$2; shift 2 ;;
    --only-many) only_many=1; shift ;;
    --against) [ $# -ge 2 ] || usage; against=$2; shift 2 ;;
    -*) usage ;;
    *) [ -z "$build_set" ] || usage; build=$1; build_set=1; shift ;;
    esac
done
for n in $projects $waves $runs $delays; do
    [[ $n =~ ^[0-9]+$ ]] || usage
done
for mode in $modes; do
    [ "$mode" = cache ] || [ "$mode" = direct ] || usage
done

cli=$build/cli/kelvark-cli
sample=$build/tools/kelvark-sample
floor=$build/bench/floor
require "$cli" "$sample" "$floor" ${against:+"$against/cli/kelvark-cli"}

skip() {
    echo "nas.sh: skipped: $*"
    exit 0
}

[ -c /dev/fuse ] || skip "there is no /dev/fuse on this machine"
if [ ! -r /dev/fuse ] || [ ! -w /dev/fuse ]; then skip "/dev/fuse cannot be opened by $(id -un)"; fi

# shellcheck source=scripts/packages.sh
source scripts/packages.sh

install_missing libfuse3-dev fuse3 pkg-config gcc
command -v fusermount3 >/dev/null || skip "there is no fusermount3 (package fuse3)"

make_work nas
source_folder=$work/root
mirror=$work/mirror
mkdir "$mirror"

# Undoes the mount, lazily when the mirror is still in use; --one-file-system
# keeps rm out of a mirror that could not be undone.
unmount() {
    if grep -qF " $mirror fuse.slowfs " /proc/self/mounts; then
        fusermount3 -u "$mirror" 2>/dev/null || fusermount3 -u -z "$mirror" 2>/dev/null || true
    fi
}
cleanup() {
    unmount
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

slowfs=$work/slowfs
# shellcheck disable=SC2046 # pkg-config's flags are words of their own
cc -O2 -Wall -o "$slowfs" bench/slowfs.c $(pkg-config --cflags --libs fuse3)

mount_mirror() { # mount_mirror DELAY_US MODE
    "$slowfs" --delay-us "$1" --mode "$2" "$source_folder" "$mirror" 2>"$work/mount.err"
}

# A first mount of an empty folder says whether this machine lets us mount.
mkdir "$work/empty"
if ! "$slowfs" "$work/empty" "$mirror" 2>"$work/mount.err"; then
    skip "the mount was refused: $(tr '\n' ' ' <"$work/mount.err")"
fi
list_threads=""
if "$cli" list --threads 32 --tsv "$mirror" >/dev/null 2>&1; then list_threads=32; fi
unmount

"$sample" "$source_folder" --projects "$projects" --waves "$waves" --seed 1 >/dev/null
files=$(find "$source_folder" -maxdepth 1 -type f | wc -l)
"$cli" list --tsv "$source_folder" >"$work/expected.tsv"
rows=$(wc -l <"$work/expected.tsv")
if [ "$rows" -ne $((projects + 1)) ]; then
    echo "nas.sh: expected $((projects + 1)) lines from kelvark-cli, got $rows" >&2
    exit 1
fi


list_one() { "$cli" list ${list_threads:+--threads 1} --tsv "$mirror" >"$work/list.tsv"; }
list_many() { "${1:-$cli}" list --threads "$list_threads" --tsv "$mirror" >"$work/list.tsv"; }
same_list() {
    cmp -s "$work/expected.tsv" "$work/list.tsv" || {
        echo "nas.sh: kelvark-cli list read the mirror differently from the folder itself" >&2
        exit 1
    }
}
floor_seconds() { # floor_seconds THREADS
    "$floor" --warm --runs "$runs" --threads "$1" "$mirror" | awk '$1 == "warm" { print $2 }'
}

printf 'kelvark-cli list through a mirror that delays each request: %d projects x %d waves, %d files;\n' \
    "$projects" "$waves" "$files"
printf 'best of %d run(s); 1 reads one file at a time, 32 keeps 32 requests in flight (target: list 32/fl 32 <= 1.5)\n' "$runs"
if [ -z "$list_threads" ]; then
    printf 'kelvark-cli list takes no --threads: it reads one file at a time\n'
fi
printf '\n%9s %7s %9s %9s %9s %9s %12s %14s\n' \
    'delay' mode 'list 1' 'list 32' 'floor 1' 'floor 32' 'list 1/fl 1' 'list 32/fl 32'
for delay in $delays; do
    for mode in $modes; do
        mount_mirror "$delay" "$mode" || {
            echo "nas.sh: the mount at $delay us, $mode, was refused: $(cat "$work/mount.err")" >&2
            exit 1
        }
        "$floor" --warm --runs 1 --threads 32 "$mirror" >/dev/null # the untimed first pass
        list=- floor1=-
        if [ -z "$only_many" ]; then
            list=$(best_of true list_one)
            same_list
            floor1=$(floor_seconds 1)
        fi
        list32=-
        if [ -n "$against" ] && [ -n "$list_threads" ]; then
            : >"$work/ours" && : >"$work/theirs"
            for _ in $(seq "$runs"); do
                seconds_of list_many >>"$work/ours" && echo >>"$work/ours"
                same_list
                seconds_of list_many "$against/cli/kelvark-cli" >>"$work/theirs" && echo >>"$work/theirs"
                same_list
            done
            list32=$(median <"$work/ours")
            printf 'against %s: list 32 %s\n' "$against" "$(median <"$work/theirs")"
        elif [ -n "$list_threads" ]; then
            list32=$(best_of true list_many)
            same_list
        fi
        floor32=$(floor_seconds 32)
        unmount
        ratio1=- ratio32=-
        [ "$list" = - ] || ratio1=$(ratio "$list" "$floor1")
        [ "$list32" = - ] || ratio32=$(ratio "$list32" "$floor32")
        printf '%6s ms %7s %9s %9s %9s %9s %12s %14s\n' \
            "$(awk -v us="$delay" 'BEGIN { printf "%g", us / 1000 }')" "$mode" "$list" "$list32" \
            "$floor1" "$floor32" "$ratio1" "$ratio32"
    done
done
