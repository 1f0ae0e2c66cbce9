#!/usr/bin/env bash
# Times Kelvark's work on discs on one DVD set folder of about 4 GB of waves
# (16 projects of 4 waves of 60 MiB), each part against the tool that does the
# same work alone:
#
#   image   `kelvark-cli image` of the set against `xorriso -as mkisofs` of the
#           same folder with the same options (Rock Ridge, Joliet, ISO 9660
#           level 3, an MD5 per file), both writing next to the set; and
#           against the same run of xorriso followed by `sync` of its image,
#           since image flushes each image to the disk before naming it.
#           Target: at most 1.1x xorriso -as mkisofs alone. image reads
#           each image back before it names it written: that read-back is
#           timed apart (a verify of the image, from the page cache, the same
#           read) and the target holds for the image less its read-back.
#
#   verify  `kelvark-cli verify IMAGE` of the set's image (xorriso's listing,
#           then every sector of the image read once, each file's SHA-256 and
#           MD5) against `sha256sum` of the set folder's files. Target: at
#           most 1.2x.
#
#   bash bench/discs.sh [BUILD_DIR]      (BUILD_DIR defaults to build)
#   PROJECTS=4 bash bench/discs.sh       (a set of about 1 GB)
#
# Warm: the set's files (and the image) are in the page cache (read by cat
# before each run), each image is removed before the next run; best of 3 runs
# on each side.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/common.sh

build=${1:-build}
cli=$build/cli/kelvark-cli
sample=$build/tools/kelvark-sample
require "$cli" "$sample" sha256sum
# The xorriso Kelvark runs ("xorriso 1.5.6: /path" in its --version), so
# that both sides of the image's comparison are the same program.
xorriso=$("$cli" --version | sed -n 's/^xorriso [^:]*: //p')
require "$xorriso"
make_work discs

projects=${PROJECTS:-16}
waves=4
wave_mib=60
runs=3

make_set_folder "$cli" "$sample" "$projects" "$waves" "$wave_mib"
mapfile -t files < <(cd "$set_folder" && find . -maxdepth 1 -type f | sort)
bytes=$(cd "$set_folder" && cat "${files[@]}" | wc -c)

warm() { (cd "$set_folder" && cat "${files[@]}" >/dev/null); }

printf 'Discs of one set folder: %d files, %s MB, %d cores; best of %d runs\n' \
    "${#files[@]}" "$((bytes / 1000000))" "$(nproc)" "$runs"

# Each part prints its table; a later part adds a function and a call below.
image_part() {
    local images=$work/images
    mkdir -p "$images"
    fresh() { rm -f "$images"/*.iso; warm; }
    image() { "$cli" image --into "$images" "$root" 2>/dev/null; }
    mkisofs() { "$xorriso" -as mkisofs -R -J -iso-level 3 --md5 -V DVD_A -o "$images/mkisofs.iso" "$set_folder" 2>/dev/null; }
    mkisofs_sync() { mkisofs && sync "$images/mkisofs.iso"; }

    fresh
    if ! image >/dev/null || [ ! -f "$images/DVD-A.iso" ]; then
        echo "discs.sh: kelvark-cli image did not write DVD-A.iso" >&2
        exit 1
    fi
    printf '  the image: %s MB\n' "$(($(stat -c %s "$images/DVD-A.iso") / 1000000))"
    local image_t mkisofs_t sync_t readback_t written_t
    image_t=$(best_of fresh image)
    warm_image() { warm && cat "$images/DVD-A.iso" >/dev/null; }
    readback() { "$cli" verify "$images/DVD-A.iso"; }
    # The last run's image is there.
    readback_t=$(best_of warm_image readback)
    written_t=$(awk -v a="$image_t" -v b="$readback_t" 'BEGIN { printf "%.2f", a - b }')
    mkisofs_t=$(best_of fresh mkisofs)
    sync_t=$(best_of fresh mkisofs_sync)
    printf '\nimage          %10s %12s %8s\n' 'time (s)' 'image/this' target
    printf '  %-22s %10s %12s %8s\n' 'kelvark-cli image' "$image_t" '' ''
    printf '  %-22s %10s %12s %8s\n' '  its read-back' "$readback_t" '' ''
    printf '  %-22s %10s %12s %8s\n' '  less its read-back' "$written_t" '' ''
    printf '  %-22s %10s %12s %8s\n' 'xorriso -as mkisofs' "$mkisofs_t" "$(ratio "$written_t" "$mkisofs_t")" '<= 1.1'
    printf '  %-22s %10s %12s %8s\n' '  and sync' "$sync_t" "$(ratio "$written_t" "$sync_t")" ''
    printf '  %-22s %10s %12s %8s\n' '  with the read-back' '' "$(ratio "$image_t" "$mkisofs_t")" ''
    rm -f "$images"/*.iso
}

image_part

verify_part() {
    local image=$work/DVD-A.iso
    "$cli" image --into "$work" "$root" >/dev/null 2>&1
    warm_image() { warm && cat "$image" >/dev/null; }
    verify() { "$cli" verify "$image"; }
    sha() { (cd "$set_folder" && sha256sum "${files[@]}"); }
    if ! verify >/dev/null; then
        echo "discs.sh: kelvark-cli verify did not find the image intact" >&2
        exit 1
    fi
    local verify_t sha_t
    verify_t=$(best_of warm_image verify)
    sha_t=$(best_of warm_image sha)
    printf '\nverify         %10s %12s %8s\n' 'time (s)' 'verify/this' target
    printf '  %-22s %10s %12s %8s\n' 'kelvark-cli verify' "$verify_t" '' ''
    printf '  %-22s %10s %12s %8s\n' "sha256sum of the files" "$sha_t" "$(ratio "$verify_t" "$sha_t")" '<= 1.2'
    rm -f "$image"
}

verify_part
