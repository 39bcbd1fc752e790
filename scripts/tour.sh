#!/usr/bin/env bash
# Regenerates the screenshot tour: installs what is missing, builds the tour
# program, the platform and the voice SDK into build-tour/, and runs the tour
# headless. It writes one PNG per screen into docs/screenshots/ (or into the
# folder given as the only argument); a second run writes the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

freymo_install_packages "${FREYMO_BUILD_PACKAGES[@]}" "${FREYMO_TOUR_PACKAGES[@]}"

BUILD_DIR=${FREYMO_TOUR_BUILD_DIR:-build-tour}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" --target freymo-tour freymo-platform VoiceSdk

export LC_ALL=C.UTF-8
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
# The tour's own clock stands still as the platform's does, so that the time
# printed on the loading list is the same on every run.
faketime_library=$(find /usr/lib -name libfaketimeMT.so.1 -path '*faketime*' 2>/dev/null | head -n 1)
LD_PRELOAD="$faketime_library" FAKETIME="2024-06-07 09:30:00" FAKETIME_DONT_FAKE_MONOTONIC=1 TZ=UTC \
    "$BUILD_DIR/bin/freymo-tour" "${1:-docs/screenshots}"
