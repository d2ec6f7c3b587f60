#!/usr/bin/env bash
# Set-up, build, run and test in one place, so that the README's two commands
# and CI do exactly the same thing on a fresh Debian 12 machine (as root).
#   scripts/ksn.sh run    install what is missing, build (Release), start the program
#   scripts/ksn.sh test   install what is missing, build, run every test under Xvfb
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KSN_BUILD_DIR:-$here/build}"
jobs="$(nproc 2>/dev/null || echo 2)"

packages=(cmake g++ make pkg-config libwxgtk3.2-dev libgtest-dev libgmock-dev libbenchmark-dev
          libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri libpng-dev libjpeg-dev libtiff-dev zlib1g-dev
          libosd-dev
          xvfb xauth)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}

configure_and_build() {
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release "$@"
    cmake --build "$build" -j "$jobs"
}

case "${1:-}" in
    run)
        install_missing
        configure_and_build -DKSN_BUILD_TESTS=OFF -DKSN_BUILD_BENCH=OFF
        shift
        exe="$build/bin/KestruneVessuna"
        if [ ! -x "$exe" ]; then
            exe="$build/bin/ksn-selfcheck"
        fi
        # The program finds its data by walking up from the working folder.
        cd "$here"
        if [ -z "${DISPLAY:-}" ]; then
            exec xvfb-run -a -s "-screen 0 1280x1024x24" "$exe" "$@"
        fi
        exec "$exe" "$@"
        ;;
    test)
        install_missing
        configure_and_build -DKSN_BUILD_TESTS=ON -DKSN_BUILD_BENCH=ON
        cd "$build"
        # One X server for the whole suite: GL and window tests draw for real on Mesa.
        xvfb-run -a -s "-screen 0 1280x1024x24" \
            ctest --output-on-failure --timeout 600 -j "$jobs"
        ;;
    *)
        echo "usage: $0 run|test" >&2
        exit 2
        ;;
esac
