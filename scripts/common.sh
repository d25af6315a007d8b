# Shared by run.sh and test.sh: install what is missing, then configure and build.
# shellcheck shell=bash

METERLINK_PACKAGES=(
    cmake g++ ninja-build pkg-config
    qt6-base-dev qt6-serialport-dev qt6-multimedia-dev libgl-dev libegl-dev
    libsqlite3-dev sqlite3
    libgtest-dev libbenchmark-dev
    fonts-liberation poppler-utils
    dpkg-dev file lintian desktop-file-utils appstream
    libmosquitto-dev mosquitto mosquitto-clients openssl
)

# ensure_packages PKG...: installs the Debian packages that are not installed yet.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "MeterLink needs these Debian packages: ${missing[*]}" >&2
        echo "Install them as root:  apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing ${missing[*]} ..."
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build_meterlink DIR [cmake options...]
build_meterlink() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}
