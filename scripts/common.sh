# Shared by scripts/run and scripts/test: where things are and how packages get installed.
# shellcheck shell=bash

MIRVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The compiler cache lives outside the checkout, so a fresh clone (CI's) reuses what the last
# build on this machine compiled. Paths are hashed relative to the checkout, and the build
# folder's own path is left out of the debug information's hash, so every tree shares it.
export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/mirvo-ccache}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$MIRVO_ROOT}"
export CCACHE_NOHASHDIR=1
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-8G}"
# The tests' shared precompiled header is cached too; its macros and time stamps are its own.
export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros}"

mirvo_log() { printf '[mirvo] %s\n' "$*" >&2; }

# Installs whichever packages of scripts/packages.txt are missing; does nothing when all are there.
mirvo_install_packages() {
    local wanted missing=()
    wanted=$(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$MIRVO_ROOT/scripts/packages.txt")
    for pkg in $wanted; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            mirvo_log "missing packages: ${missing[*]}; run as root or install sudo"
            return 1
        fi
        sudo=(sudo)
    fi
    mirvo_log "installing ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures (once) and builds a tree. Re-running is an incremental build.
mirvo_build() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$MIRVO_ROOT" -B "$dir" -G Ninja "$@" || return 1
    fi
    cmake --build "$dir" || return 1
}
