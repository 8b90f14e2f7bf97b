#!/usr/bin/env bash
# Builds the Debian package in build-package/ (or the folder given): installs the packaging
# tools, configures a release build installed under /usr without tests or benchmarks,
# builds it and runs CPack. Prints the package's control data and file list at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
DIR="${1:-build-package}"
./scripts/deps.sh package
echo "== configure $DIR"
cmake -S . -B "$DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
      -DBUILD_TESTING=OFF -DARDEMO_BENCH=OFF >/dev/null
echo "== build $DIR"
cmake --build "$DIR" -j"$(nproc)"
echo "== package"
rm -f "$DIR"/ardemo_*.deb
(cd "$DIR" && cpack -G DEB)
deb=$(ls "$DIR"/ardemo_*.deb)
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
echo "== $deb"
