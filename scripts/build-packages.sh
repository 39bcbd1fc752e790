#!/usr/bin/env bash
# Builds the Debian packages freymo and freymo-platform in the given build
# folder (default build-deb/) and prints their paths. Installs nothing: the
# tools are in scripts/common.sh's FREYMO_BUILD_PACKAGES and
# FREYMO_PACKAGING_PACKAGES. FREYMO_PACKAGE_BUILD_TYPE picks the CMake build
# type (default Release); CMAKE and CPACK name the programs to use.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${1:-$ROOT/build-deb}
CMAKE=${CMAKE:-cmake}
CPACK=${CPACK:-cpack}

# The packages install below /usr, so the programs are built for that prefix.
# Only what the packages hold is built: cpack then installs without building
# the rest (the benchmark).
"$CMAKE" -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="${FREYMO_PACKAGE_BUILD_TYPE:-Release}" \
    -DCMAKE_INSTALL_PREFIX=/usr -DFREYMO_BUILD_TESTS=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
"$CMAKE" --build "$BUILD_DIR" --target freymo freymo-platform VoiceSdk
rm -f "$BUILD_DIR"/*.deb
(cd "$BUILD_DIR" && "$CPACK" -G DEB >/dev/null 2>&1) || {
    echo "cpack failed; its log is in $BUILD_DIR/_CPack_Packages" >&2
    exit 1
}
ls -1 "$BUILD_DIR"/*.deb
