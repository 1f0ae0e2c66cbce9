#!/usr/bin/env bash
# Sets up, builds and runs Kelvark on a Debian machine.
#   scripts/build.sh run          install what is missing, build, write a sample folder, start kelvark on it
#   scripts/build.sh test         install what is missing, build, run every test
#   scripts/build.sh test --ci    the same with warnings as errors, then the install tree and the Debian
#                                 package, the core without Qt, clang-tidy, the sanitizer
#                                 build and a short fuzz run
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=2
# xorriso writes the disc images and discs, run as a program of its own;
# scripts/xorriso.sh builds 1.5.6 when the system's is older, which needs the
# last three.
packages=(cmake g++ make libgtest-dev libbenchmark-dev libssl-dev qt6-base-dev fonts-liberation2 xorriso libsqlite3-dev
          libacl1-dev zlib1g-dev dpkg-dev)

# shellcheck source=scripts/packages.sh
source scripts/packages.sh

# The xorriso of Kelvark's own that scripts/xorriso.sh built, empty when the
# system's will do: every build runs and installs it.
own_xorriso=

build() { # build DIR [cmake options...]
    local dir=$1; shift
    cmake -S . -B "$dir" -DKELVARK_OWN_XORRISO="$own_xorriso" "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
}

run_tests() { # run_tests DIR
    (cd "$1" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --no-tests=error)
}

# Installs the main build into a scratch folder and checks what a desktop sees
# of it, then packages it, installs the package on this machine and runs it.
check_install_and_package() {
    install_missing desktop-file-utils appstream dpkg-dev file man-db bash-completion pkg-config
    cmake -S . -B build -DKELVARK_OWN_XORRISO="$own_xorriso" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
    local root
    root=$(mktemp -d)
    DESTDIR="$root" cmake --install build >/dev/null
    (cd "$root" && find . -not -type d | sort)

    local remarks
    remarks=$(desktop-file-validate "$root/usr/share/applications/org.kelvark.kelvark.desktop" 2>&1) || true
    echo "desktop-file-validate: ${remarks:-no remarks}"
    if grep -qE '(error|warning):' <<<"$remarks"; then
        echo "the desktop file has errors or warnings" >&2
        return 1
    fi
    appstreamcli validate --no-net "$root/usr/share/metainfo/org.kelvark.kelvark.metainfo.xml"
    appstreamcli validate-tree --no-net "$root/usr"
    for page in "$root"/usr/share/man/man1/*.1; do
        remarks=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$page" 2>&1 >/dev/null)
        if [ -n "$remarks" ]; then
            echo "$page: $remarks" >&2
            return 1
        fi
    done
    echo "man -l: every page renders without warnings"
    rm -rf "$root"

    local deb
    deb=$(cd build && cpack -G DEB | sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p')
    dpkg-deb --field "$deb"
    dpkg-deb --contents "$deb"
    if ! as_root dpkg -i "$deb"; then # dependencies missing: let apt fetch them
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb"
    fi
    /usr/bin/kelvark-cli --version
    man -w kelvark-cli
}

case "${1:-}" in
run)
    install_missing "${packages[@]}"
    own_xorriso=$(scripts/xorriso.sh)
    build build
    rm -rf build/sample
    build/tools/kelvark-sample build/sample
    exec build/ui/kelvark "$PWD/build/sample/"
    ;;
test)
    install_missing "${packages[@]}"
    own_xorriso=$(scripts/xorriso.sh)
    if [ "${2:-}" = "--ci" ]; then
        build build -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
    else
        build build
    fi
    run_tests build
    if [ "${2:-}" = "--ci" ]; then
        echo "== install tree and Debian package"
        check_install_and_package
        echo "== core and command line without Qt"
        cmake --preset nogui -DKELVARK_OWN_XORRISO="$own_xorriso" >/dev/null
        cmake --build --preset nogui
        ctest --preset nogui
        echo "== clang-tidy on the core and the command line"
        install_missing clang-tidy
        run-clang-tidy -quiet -p build-nogui "$PWD/(project|organiser/[a-z]+|cli)/.*\.cpp$" >/dev/null
        echo "== whole project under AddressSanitizer and UndefinedBehaviorSanitizer"
        cmake --preset asan -DKELVARK_OWN_XORRISO="$own_xorriso" >/dev/null
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
