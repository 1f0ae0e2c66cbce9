#!/usr/bin/env bash
# Sets up, builds and runs Kelvark on a Debian machine.
#   scripts/build.sh run          install what is missing, build, write a sample folder, start kelvark on it
#   scripts/build.sh test         install what is missing, build, run every test
#   scripts/build.sh test --ci    the same, then the core without Qt, the sanitizer build and a short fuzz run
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=2
packages=(cmake g++ make libgtest-dev libbenchmark-dev qt6-base-dev fonts-liberation2)

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

build() { # build DIR [cmake options...]
    local dir=$1; shift
    cmake -S . -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
}

run_tests() { # run_tests DIR
    (cd "$1" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --no-tests=error)
}

case "${1:-}" in
run)
    install_missing "${packages[@]}"
    build build
    rm -rf build/sample
    build/tools/kelvark-sample build/sample
    exec build/ui/kelvark "$PWD/build/sample/"
    ;;
test)
    install_missing "${packages[@]}"
    build build
    run_tests build
    if [ "${2:-}" = "--ci" ]; then
        echo "== core and command line without Qt"
        build build-nogui -DKELVARK_GUI=OFF -DKELVARK_BENCH=OFF
        run_tests build-nogui
        echo "== whole project under AddressSanitizer and UndefinedBehaviorSanitizer"
        cmake --preset asan >/dev/null
        cmake --build --preset asan
        ctest --preset asan
        echo "== every fuzz target for 30 seconds"
        install_missing clang libclang-rt-14-dev
        bash tests/fuzz/run.sh 30
    fi
    ;;
*)
    echo "usage: scripts/build.sh run | test [--ci]" >&2
    exit 2
    ;;
esac
