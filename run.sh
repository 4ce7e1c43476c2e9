#!/usr/bin/env bash
# Installs what the program needs (as root, with apt-get), builds it and starts it.
set -euo pipefail
cd "$(dirname "$0")"
./test.sh --install-only
cmake -S . -B build -G Ninja
cmake --build build -j "${JOBS:-4}"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Built build/bin/branto, but there is no display to show it on (DISPLAY is not set)." >&2
    exit 1
fi
exec build/bin/branto
