#!/usr/bin/env bash
# Times `kelvark-cli verify` on a set folder of 2 GiB of waves (16 projects of 4
# waves of 32 MiB) against the tools that read and hash the same files:
# `sha256sum` and `openssl dgst -sha256`, each one process going through the
# files one after another.
#
#   bash bench/verify.sh [BUILD_DIR]      (BUILD_DIR defaults to build)
#
# Warm: every file is in the page cache (read by cat before each run), best of
# 3 runs on each side. Cold: the page cache is dropped before each run (needs
# root and a writable /proc/sys/vm/drop_caches; skipped otherwise), against
# `cat` reading the same files to /dev/null.
#
# Targets: warm verify at most 0.6x openssl dgst on a machine with 2 cores (it
# hashes on both), cold verify at most 1.1x cat.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

build=${1:-build}
cli=$build/cli/kelvark-cli
sample=$build/tools/kelvark-sample
require "$cli" "$sample" sha256sum openssl
make_work verify

projects=16
waves=4
wave_mib=32
runs=3

make_set_folder "$cli" "$sample" "$projects" "$waves" "$wave_mib"
mapfile -t files < <(cd "$set_folder" && find . -maxdepth 1 -type f ! -name SHA256SUMS | sort)
bytes=$(cd "$set_folder" && cat "${files[@]}" | wc -c)


warm() { (cd "$set_folder" && cat "${files[@]}" >/dev/null); }

# Empty when the page cache was dropped, else why not.
drop_caches() {
    [ "$(id -u)" -eq 0 ] || { echo "not run as root"; return; }
    sync
    { echo 3 >/proc/sys/vm/drop_caches; } 2>/dev/null || echo "/proc/sys/vm/drop_caches is not writable"
}

verify() { "$cli" verify "$set_folder"; }
sha() { (cd "$set_folder" && sha256sum "${files[@]}"); }
dgst() { (cd "$set_folder" && openssl dgst -sha256 "${files[@]}"); }
read_all() { (cd "$set_folder" && cat "${files[@]}"); }

if ! verify >/dev/null; then
    echo "verify.sh: kelvark-cli verify did not find the set folder intact" >&2
    exit 1
fi

printf 'Verify of one set folder: %d files, %s MiB, %d cores; best of %d runs\n' \
    "${#files[@]}" "$((bytes >> 20))" "$(nproc)" "$runs"
verify_warm=$(best_of warm verify)
sha_warm=$(best_of warm sha)
dgst_warm=$(best_of warm dgst)
printf '\nwarm cache     %10s %12s %8s\n' 'time (s)' 'verify/this' target
printf '  %-12s %10s %12s %8s\n' 'verify' "$verify_warm" '' ''
printf '  %-12s %10s %12s %8s\n' 'sha256sum' "$sha_warm" "$(ratio "$verify_warm" "$sha_warm")" ''
printf '  %-12s %10s %12s %8s\n' 'openssl dgst' "$dgst_warm" "$(ratio "$verify_warm" "$dgst_warm")" '<= 0.6'
printf '  verify reads %s MB/s\n' "$(awk -v b="$bytes" -v s="$verify_warm" 'BEGIN { printf "%.0f", b / s / 1e6 }')"

reason=$(drop_caches)
if [ -z "$reason" ]; then
    verify_cold=$(best_of drop_caches verify)
    cat_cold=$(best_of drop_caches read_all)
    printf '\ncold cache     %10s %12s %8s\n' 'time (s)' 'verify/this' target
    printf '  %-12s %10s %12s %8s\n' 'verify' "$verify_cold" '' ''
    printf '  %-12s %10s %12s %8s\n' 'cat' "$cat_cold" "$(ratio "$verify_cold" "$cat_cold")" '<= 1.1'
    # The target holds where the disk is slower than the hashing; a device that
    # reads faster than the CPU hashes makes the cold run a measure of the CPU.
    if awk -v c="$cat_cold" -v w="$verify_warm" 'BEGIN { exit !(c < w) }'; then
        printf '  the device reads %s MB/s, faster than verify hashes from memory: the cold ratio measures the CPU\n' \
            "$(awk -v b="$bytes" -v s="$cat_cold" 'BEGIN { printf "%.0f", b / s / 1e6 }')"
    fi
else
    printf '\ncold cache: skipped (%s)\n' "$reason"
fi
