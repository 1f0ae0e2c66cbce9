#!/usr/bin/env bash
# The journal's cost on a backup sort: `kelvark-cli sort --yes` of a generated
# folder of 2,000 projects with 40 waves each, timed with this build and with a
# kelvark-cli built from a commit before the journal (BASE_CLI), alternately on
# fresh copies of one folder, best of three each.
#
#   bash bench/journal.sh BASE_CLI [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

base=${1:?usage: bench/journal.sh BASE_CLI [BUILD_DIR]}
build=${2:-build}
cli=$build/cli/kelvark-cli
sample=$build/tools/kelvark-sample
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvark-journal.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$sample" "$work/sample" --projects 2000 --waves 40 --seed 1 >/dev/null

# Wall time in milliseconds of one sort by program on a fresh copy.
sort_ms() {
    rm -rf "$work/root"
    cp -a "$work/sample" "$work/root"
    sync
    local start end
    start=$(date +%s%N)
    "$1" sort --yes "$work/root" >/dev/null 2>&1
    end=$(date +%s%N)
    [ ! -e "$work/root/.kelvark-journal" ] || { echo "journal left behind" >&2; exit 1; }
    echo $(((end - start) / 1000000))
}

best_base="" best_journal=""
for _ in 1 2 3; do
    t=$(sort_ms "$base")
    if [ -z "$best_base" ] || [ "$t" -lt "$best_base" ]; then best_base=$t; fi
    t=$(sort_ms "$cli")
    if [ -z "$best_journal" ] || [ "$t" -lt "$best_journal" ]; then best_journal=$t; fi
done
echo "sort of 2,000 x 40 without journal: ${best_base} ms"
echo "sort of 2,000 x 40 with journal:    ${best_journal} ms"
echo "journal cost: $(( (best_journal - best_base) * 100 / best_base )) %"
