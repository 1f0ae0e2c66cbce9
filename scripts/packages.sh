# shellcheck shell=bash
# Sourced by the scripts that install Debian packages they need: install_missing
# PACKAGE... installs those not installed yet, with sudo when not run as root.

as_root() {
    if [ "$(id -u)" -ne 0 ]; then sudo "$@"; else "$@"; fi
}

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}
