#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
# The tests run in a build with AddressSanitizer and UndefinedBehaviorSanitizer.
# The exit status is CTest's.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

freymo_install_packages "${FREYMO_BUILD_PACKAGES[@]}" "${FREYMO_PACKAGING_PACKAGES[@]}" "${FREYMO_TOUR_PACKAGES[@]}"

BUILD_DIR=${FREYMO_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFREYMO_SANITIZE=ON -DFREYMO_WERROR=ON >/dev/null
cmake --build "$BUILD_DIR"

export QT_QPA_PLATFORM=offscreen
cd "$BUILD_DIR"
exec ctest --output-on-failure -j2
