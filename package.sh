#!/usr/bin/env bash
# Installs what is missing and builds the Debian packages of the client
# (freymo) and of the platform (freymo-platform) into build-deb/.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

freymo_install_packages "${FREYMO_BUILD_PACKAGES[@]}" "${FREYMO_PACKAGING_PACKAGES[@]}"
exec scripts/build-packages.sh "$(pwd)/build-deb"
