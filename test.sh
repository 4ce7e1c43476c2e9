#!/usr/bin/env bash
# Installs what the build and the tests need (as root, with apt-get), builds with
# warnings as errors and runs every test under a virtual X server, then builds
# again with AddressSanitizer and UndefinedBehaviorSanitizer and runs them again.
#   ./test.sh                 everything
#   ./test.sh --install-only  only the packages
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
    build-essential cmake ninja-build pkg-config
    libsdl2-dev libepoxy-dev libfreetype-dev libfontconfig-dev libstb-dev zlib1g-dev libx11-dev
    libgl1-mesa-dri libegl-mesa0 fonts-dejavu-core fonts-dejavu-extra fonts-comic-neue
    libgtest-dev libgmock-dev libbenchmark-dev clang
    xvfb xauth xfonts-base x11-utils xdotool imagemagick openbox procps
)

install_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages (run as root to install them): ${missing[*]}" >&2
        exit 1
    fi
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

install_packages
[ "${1:-}" = --install-only ] && exit 0

JOBS=${JOBS:-4}

# One virtual X server of exactly 1024x768 for the whole suite (full screen
# only works when the screen has the program's size). -noreset: by default the
# server resets whenever its last client leaves, and a program that connects
# meanwhile is refused ("x11 not available"); between two tests that happens.
# XVFB_SERVER_NUM=<n> takes that display number instead of the first free one.
run_tests() {
    local dir=$1
    shift
    local server=(-a)
    [ -n "${XVFB_SERVER_NUM:-}" ] && server=(-n "$XVFB_SERVER_NUM")
    SDL_VIDEODRIVER=x11 xvfb-run "${server[@]}" -s '-screen 0 1024x768x24 -noreset' \
        ctest --test-dir "$dir" --output-on-failure -j "$JOBS" "$@"
}

# Nothing may be skipped here: every test has what it needs (the packages
# above, the virtual display), so a skip hides a fault. A plain ctest run on a
# machine without a display may still skip the display tests, and says so.
no_skips() {
    if grep -q "^The following tests did not run:" "$1"; then
        sed -n '/^The following tests did not run:/,$p' "$1" >&2
        echo "Tests were skipped (see $1): each must run." >&2
        exit 1
    fi
}

cmake -S . -B build -G Ninja -DBRANTO_WERROR=ON
cmake --build build -j "$JOBS"
run_tests build -O "$PWD/build/ctest.log"
no_skips build/ctest.log

cmake -S . -B build-sanitize -G Ninja -DBRANTO_WERROR=ON -DBRANTO_SANITIZE=ON -DBRANTO_BENCH=OFF
cmake --build build-sanitize -j "$JOBS"
# System libraries (the display connection, the bus, fonts, the GL driver) keep
# memory to the end: tests/lsan.supp names them. Not the slow unwinder on every
# malloc: it deadlocks in the GL driver's shader compiler (LLVM registering its
# unwind tables calls malloc under the unwinder's own lock).
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_tests build-sanitize -O "$PWD/build-sanitize/ctest.log"
no_skips build-sanitize/ctest.log

# Fuzzing of the file readers and of the console's typed input for a short
# fixed time, with clang's libFuzzer, on a seed corpus written by our own tools.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DBRANTO_FUZZ=ON -DBRANTO_SANITIZE=ON \
    -DBRANTO_BENCH=OFF -DBRANTO_TESTS=ON
cmake --build build-fuzz -j "$JOBS" --target fuzz_xfile fuzz_mesh fuzz_console fuzz_vsasm xsamples
ctest --test-dir build-fuzz -L fuzz --output-on-failure -j "$JOBS" -O "$PWD/build-fuzz/ctest.log"
no_skips build-fuzz/ctest.log
