#!/usr/bin/env bash
# Times the disc commands on one set folder of about 4 GiB of waves (16
# projects of 4 waves of 64 MiB; SET_MIB=N for another size), written as an
# ISO 9660 image the way a set is:
#
#   bash bench/discs.sh [BUILD_DIR]      (BUILD_DIR defaults to build)
#
# verify: `kelvark-cli verify IMAGE` (xorriso's listing, then every sector of
# the image read once, each file's SHA-256 and MD5) against `sha256sum` of the
# set folder's files. Warm: the image and the files are in the page cache
# (read by cat before each run), best of 3 runs on each side. Target: at most
# 1.2x.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

build=${1:-build}
cli=$build/cli/kelvark-cli
sample=$build/tools/kelvark-sample
require "$cli" "$sample" xorriso sha256sum
make_work discs

projects=16
waves=4
wave_mib=$(((${SET_MIB:-4096} + projects * waves - 1) / (projects * waves)))
runs=3

# A sorted-looking root folder with one set folder: the sample's projects,
# each wave grown to wave_mib MiB of random bytes after its header.
root=$work/root
set_folder=$root/DVD-A
"$sample" "$work/sample" --projects "$projects" --waves "$waves" --seed 1 >/dev/null
mkdir -p "$set_folder"
find "$work/sample" -maxdepth 1 -type f \( -name '*.cue' -o -name '*.wav' \) -exec mv -t "$set_folder" {} +
for wave in "$set_folder"/*.wav; do
    head -c $((wave_mib << 20)) /dev/urandom >>"$wave"
done
"$cli" checksum "$root" 2>/dev/null
mapfile -t files < <(cd "$set_folder" && find . -maxdepth 1 -type f ! -name SHA256SUMS | sort)
bytes=$(cd "$set_folder" && cat "${files[@]}" | wc -c)

image=$work/DVD-A.iso
xorriso -as mkisofs -R -J -iso-level 3 --md5 -o "$image" "$set_folder" 2>/dev/null

warm() { (cd "$set_folder" && cat "${files[@]}" >/dev/null) && cat "$image" >/dev/null; }
verify() { "$cli" verify "$image"; }
sha() { (cd "$set_folder" && sha256sum "${files[@]}"); }

if ! verify >/dev/null; then
    echo "discs.sh: kelvark-cli verify did not find the image intact" >&2
    exit 1
fi

printf 'One set folder: %d files, %s MiB, %d cores; best of %d runs, warm cache\n' \
    "${#files[@]}" "$((bytes >> 20))" "$(nproc)" "$runs"
verify_warm=$(best_of warm verify)
sha_warm=$(best_of warm sha)
printf '\n%-28s %10s %8s %8s\n' '' 'time (s)' ratio target
printf '%-28s %10s %8s %8s\n' 'verify IMAGE' "$verify_warm" "$(ratio "$verify_warm" "$sha_warm")" '<= 1.2'
printf '%-28s %10s\n' "sha256sum of the set's files" "$sha_warm"
printf 'verify reads %s MB/s\n' "$(awk -v b="$bytes" -v s="$verify_warm" 'BEGIN { printf "%.0f", b / s / 1e6 }')"
