#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
# The tests run in a build with AddressSanitizer and UndefinedBehaviorSanitizer.
# Before the tests, when clang is there, every fuzz target runs for a few
# seconds over its seeds in a clang build of its own (build-fuzz), so that a
# reader that crashes on them fails too. The exit status is CTest's, or 1
# when only the fuzzing failed.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

freymo_install_packages "${FREYMO_BUILD_PACKAGES[@]}" "${FREYMO_PACKAGING_PACKAGES[@]}" "${FREYMO_TOUR_PACKAGES[@]}" \
    "${FREYMO_FUZZ_PACKAGES[@]}" "${FREYMO_POSTGRESQL_TEST_PACKAGES[@]}"

BUILD_DIR=${FREYMO_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFREYMO_SANITIZE=ON -DFREYMO_WERROR=ON >/dev/null
cmake --build "$BUILD_DIR"

# The fuzz targets first, so that CTest's summary closes the output.
status=0
if command -v clang++ >/dev/null; then
    FUZZ_DIR=${FREYMO_FUZZ_BUILD_DIR:-build-fuzz}
    CC=clang CXX=clang++ cmake -S . -B "$FUZZ_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFREYMO_FUZZ=ON \
        -DFREYMO_BUILD_TESTS=OFF -DFREYMO_WERROR=ON >/dev/null
    cmake --build "$FUZZ_DIR" --target fuzzers
    fuzz/run.sh "$FUZZ_DIR" -max_total_time=5 || status=1
else
    echo "clang++ not found: the fuzz targets were not run"
fi

export QT_QPA_PLATFORM=offscreen
# The platform's suites run on PostgreSQL too; here a missing server fails
# them instead of skipping them.
export FREYMO_REQUIRE_POSTGRESQL=1
(cd "$BUILD_DIR" && ctest --output-on-failure -j2) || status=$?
exit "$status"
