#!/usr/bin/env bash
# Configures and builds into build/ (or build-asan/, build-tsan/ with ARDEMO_SANITIZE set).
set -euo pipefail
cd "$(dirname "$0")/.."
SAN="${ARDEMO_SANITIZE:-}"
DIR="build${SAN:+-$SAN}"
echo "== configure $DIR ${SAN:+(sanitizer: $SAN)}"
cmake -S . -B "$DIR" -G Ninja -DARDEMO_SANITIZE="$SAN" >/dev/null
echo "== build $DIR"
cmake --build "$DIR" -j"$(nproc)"
