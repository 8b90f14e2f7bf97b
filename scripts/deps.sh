#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need; does nothing
# when they are all present. Optional groups named on the command line add what the
# other jobs need: fuzz (clang and libFuzzer), package (the Debian package), shots (the
# user guide's screenshots).
set -euo pipefail
PKGS=(g++ cmake python3 ninja-build pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
      libjpeg62-turbo-dev xvfb xauth fonts-dejavu-core qt6-translations-l10n
      clang-format libmosquitto-dev mosquitto mosquitto-clients openssl)
for group in "$@"; do
    case "$group" in
        fuzz)    PKGS+=(clang libclang-rt-14-dev) ;;
        package) PKGS+=(dpkg-dev fakeroot file) ;;
        shots)   PKGS+=(imagemagick xdotool) ;;
        *) echo "deps.sh: unknown group '$group'" >&2; exit 2 ;;
    esac
done
missing=()
for p in "${PKGS[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "== dependencies: all present"
    exit 0
fi
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "== dependencies: installing ${missing[*]}"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
