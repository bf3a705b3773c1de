#!/usr/bin/env bash
# Sets up a Debian machine for dcdrive (installing only what is missing),
# builds it, and runs the main job or the tests.
#   tools/dev.sh run             build, then `dcsetup compute` on the embedded default setup
#   tools/dev.sh test            build, then every test
#   tools/dev.sh build           build only
#   tools/dev.sh asan            every test built with AddressSanitizer and UBSan (build-asan/)
#   tools/dev.sh fuzz [SECONDS]  each fuzz target for SECONDS (default 60) on a copy of
#                                its corpus in fuzz/corpus/ (build-fuzz/, clang)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

packages=(cmake ninja-build g++ pkg-config nlohmann-json3-dev libcli11-dev
          libgtest-dev libgmock-dev libbenchmark-dev locales python3
          qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-documentation-tools
          libqt6sql6-sqlite qt6-qpa-plugins libqt6svg6 libqcustomplot-dev fonts-dejavu-core)
fuzz_packages=(clang-14 libclang-rt-14-dev)

install_missing() {
    local missing=()
    for p in "$@"; do
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

# The tests read and write numbers under a decimal-comma locale as well, and
# compare names under the Turkish locales, where the C library does not fold
# "I" to "i" (UTF-8: 'I' stays 'I'; ISO-8859-9: 'I' becomes a dotless i).
# Each is generated when `locale -a` (which lists "tr_TR.iso88599" for
# "tr_TR.ISO-8859-9") does not have it.
ensure_test_locale() {
    local entry input charmap name listed
    for entry in de_DE:UTF-8 tr_TR:UTF-8 tr_TR:ISO-8859-9; do
        input="${entry%%:*}"
        charmap="${entry#*:}"
        name="$input.$charmap"
        listed="$input.$(tr -d -- '-' <<<"${charmap,,}")"
        locale -a 2>/dev/null | grep -qix -- "$listed" && continue
        localedef -i "$input" -f "$charmap" "$name"
    done
}

# Configures and builds one CMake preset (at most two compile jobs).
build() {
    local preset="${1:-default}"
    install_missing "${packages[@]}"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j2
}

# Runs every fuzz target for the given time on a scratch copy of its corpus,
# so that the inputs it adds stay out of the repository. A crash, a
# sanitizer report, a broken check or a hang fails the run; the input is
# kept in the scratch folder, whose path is printed.
fuzz() {
    local seconds="${1:-60}"
    [[ $seconds =~ ^[1-9][0-9]*$ ]] || { echo "fuzz: SECONDS must be a positive whole number" >&2; exit 2; }
    install_missing "${fuzz_packages[@]}"
    build fuzz
    local scratch passed=0 failed=0
    scratch="$(mktemp -d /tmp/dcdrive-fuzz-XXXXXX)"
    for target in fuzz_setup_loader fuzz_drivers fuzz_script_reader; do
        mkdir -p "$scratch/$target/corpus" "$scratch/$target/found"
        cp fuzz/corpus/"$target"/* "$scratch/$target/corpus/"
        echo "== $target: ${seconds} s"
        if ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16}" UBSAN_OPTIONS="print_stacktrace=1" \
           ./build-fuzz/bin/"$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
               -artifact_prefix="$scratch/$target/found/" "$scratch/$target/corpus" \
               >"$scratch/$target/log" 2>&1; then
            grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$scratch/$target/log" || true
            passed=$((passed + 1))
        else
            tail -n 60 "$scratch/$target/log"
            echo "$target FAILED; the input is in $scratch/$target/found/"
            failed=$((failed + 1))
        fi
    done
    ((failed)) || rm -rf "$scratch"
    echo "fuzz: $passed passed, $failed failed"
    ((failed == 0))
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
    asan)
        build asan
        ensure_test_locale
        ctest --preset asan -j2
        ;;
    fuzz)
        fuzz "${2:-60}"
        ;;
    *)
        echo "usage: tools/dev.sh run|test|build|asan|fuzz [SECONDS]" >&2
        exit 2
        ;;
esac
