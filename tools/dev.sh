#!/usr/bin/env bash
# Sets up a Debian machine for dcdrive (installing only what is missing),
# builds it, and runs the main job or the tests.
#   tools/dev.sh run    build, then `dcsetup compute` on the embedded default setup
#   tools/dev.sh test   build, then every test
#   tools/dev.sh build  build only
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

packages=(cmake ninja-build g++ pkg-config nlohmann-json3-dev libcli11-dev
          libgtest-dev libgmock-dev libbenchmark-dev locales)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [[ $(id -u) -eq 0 ]] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

# The tests read and write numbers under a decimal-comma locale as well.
ensure_test_locale() {
    locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && return
    localedef -i de_DE -f UTF-8 de_DE.UTF-8
}

build() {
    install_missing
    cmake --preset default >/dev/null
    cmake --build --preset default
}

case "${1:-test}" in
    run)
        build
        ./build/bin/dcsetup compute
        ;;
    test)
        build
        ensure_test_locale
        ctest --preset default -j2
        ;;
    build)
        build
        ;;
    *)
        echo "usage: tools/dev.sh run|test|build" >&2
        exit 2
        ;;
esac
