#!/usr/bin/env bash
# Prints the absolute path of the xorriso Kelvark's build is to use, or
# nothing when the system's own (on PATH) is 1.5.6 or newer.
#
# Older ones (Debian 12 ships 1.5.4) break on folders of many long Rock Ridge
# names, so this builds xorriso 1.5.6 as a program of its own: the original
# source tarballs of libburn, libisofs and libisoburn from Debian 13's source
# packages, fetched by apt under a private configuration (the archive's
# address is the one this machine's apt sources name; the system's apt lists
# and caches stay as they are), checked against the sums below, built static
# into a private prefix and kept in a cache named by those sums, so that the
# next run, from any clone, finds it at once. Progress goes to standard error.
# The build needs gcc, make, libacl1-dev, zlib1g-dev and dpkg-dev (for apt-get
# source), which scripts/build.sh installs before it runs this.
set -euo pipefail

suite=trixie
tarballs=(
    "7295491b4be5eeac5e7a3fb2067e236e2955ffdc6bbd45f546466edee321644b  libburn_1.5.6.orig.tar.gz"
    "ac1fd338d641744ca1fb1567917188b79bc8c2506832dd56885fec98656b9f25  libisofs_1.5.6.pl01.orig.tar.gz"
    "2b80a6f73dd633a5d243facbe97a15e5c9a07644a5e1a242c219b9375a45f71b  libisoburn_1.5.6.orig.tar.gz"
)

say() { echo "xorriso.sh: $*" >&2; }

# True when the xorriso named is 1.5.6 or newer ("xorriso 1.5.6 : RockRidge ...").
new_enough() {
    local version
    version=$("$1" -no_rc -version 2>/dev/null | sed -n '1s/^xorriso \([0-9][0-9.]*\).*/\1/p') || return 1
    [ -n "$version" ] && dpkg --compare-versions "$version" ge 1.5.6
}

system=$(command -v xorriso || true)
if [ -n "$system" ] && new_enough "$system"; then
    exit 0
fi

# The user's cache folder; without HOME (a service, env -i), the home folder
# the password database names.
home=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
if [[ ${XDG_CACHE_HOME:-} == /* ]]; then # a relative one is to be ignored
    cache_root=$XDG_CACHE_HOME/kelvark
elif [ -n "$home" ]; then
    cache_root=$home/.cache/kelvark
else
    say "neither XDG_CACHE_HOME nor HOME is set, and the user has no home folder: set one to say where the xorriso build is kept"
    exit 1
fi
key=$(printf '%s\n' "${tarballs[@]}" | sha256sum | cut -c1-16)
prefix=$cache_root/xorriso-1.5.6-$key
if [ -x "$prefix/bin/xorriso" ] && new_enough "$prefix/bin/xorriso"; then
    echo "$prefix/bin/xorriso"
    exit 0
fi

mkdir -p "$cache_root"
exec 9>"$cache_root/xorriso.lock"
flock 9 # another build of the same cache (a second clone's run) finishes first
if [ -x "$prefix/bin/xorriso" ] && new_enough "$prefix/bin/xorriso"; then
    echo "$prefix/bin/xorriso"
    exit 0
fi

say "${system:-no xorriso} is older than 1.5.6: building xorriso 1.5.6 into $prefix"
work=$(mktemp -d "$cache_root/build.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The archive this machine's apt uses: the first address of a suite that is a
# release's own (no "-security", "-updates" ...), from either kind of sources file.
archive=$(
    {
        cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '
            /^[ \t]*$/ { if (uri != "" && release) print uri; uri = ""; release = 0; next }
            tolower($1) == "uris:" { uri = $2 }
            tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i !~ /-/) release = 1 }
            END { if (uri != "" && release) print uri }'
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            sed -E 's/\[[^]]*\]//' | awk '$1 == "deb" && $3 !~ /-/ { print $2 }'
    } | grep -m1 -E '^(https?|ftp)://' || true
)
if [ -z "$archive" ]; then
    say "no Debian archive found in /etc/apt/sources.list or /etc/apt/sources.list.d"
    exit 1
fi

mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/src"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive $suite main" >"$work/sources.list"
apt_private=(-o "Dir::Etc::sourcelist=$work/sources.list" -o Dir::Etc::sourceparts=-
             -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache"
             -o "APT::Sandbox::User=$(id -un)" -qq)
say "fetching the sources of libburn, libisofs and libisoburn from $suite"
apt-get "${apt_private[@]}" update >&2
# The archive may lack a package's .dsc or signature, which makes apt-get
# fail after it fetched the tarballs: the pinned sums decide.
(cd "$work/src" && apt-get "${apt_private[@]}" source --download-only libburn libisofs libisoburn) \
    >"$work/fetch.log" 2>&1 || true
if ! (cd "$work/src" && printf '%s\n' "${tarballs[@]}" | sha256sum --check --strict >&2); then
    cat "$work/fetch.log" >&2
    say "the source tarballs are missing or differ from the sums this script pins"
    exit 1
fi

build() { # build TARBALL [configure options...]
    local tarball=$1; shift
    local dir=${tarball%.orig.tar.gz}
    mkdir "$work/$dir"
    tar -xzf "$work/src/$tarball" -C "$work/$dir" --strip-components=1
    say "building $dir"
    (cd "$work/$dir" &&
        ./configure --prefix="$work/prefix" --disable-shared --enable-static \
            CPPFLAGS="-I$work/prefix/include" LDFLAGS="-L$work/prefix/lib" "$@" &&
        make -j2 && make install) >"$work/$dir.log" 2>&1 || {
        tail -n 40 "$work/$dir.log" >&2
        say "building $dir failed"
        exit 1
    }
    mkdir -p "$work/keep/share/licenses/$dir"
    cp "$work/$dir/COPYING" "$work/keep/share/licenses/$dir/"
}
build libburn_1.5.6.orig.tar.gz
build libisofs_1.5.6.pl01.orig.tar.gz --disable-libjte
build libisoburn_1.5.6.orig.tar.gz --disable-libjte --disable-libreadline --disable-libedit

# Only the program is kept, with the licences of what it is built from and the
# sums of the sources: nothing links the libraries.
mkdir -p "$work/keep/bin"
strip -o "$work/keep/bin/xorriso" "$work/prefix/bin/xorriso"
printf '%s\n' "${tarballs[@]}" >"$work/keep/share/licenses/SHA256SUMS"
new_enough "$work/keep/bin/xorriso" || { say "the xorriso built does not say 1.5.6"; exit 1; }
rm -rf "$prefix"
mv "$work/keep" "$prefix"
say "built $prefix/bin/xorriso"
echo "$prefix/bin/xorriso"
