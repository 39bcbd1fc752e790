# Shared by run.sh and test.sh: installs the Debian packages that are missing,
# and only those, so a second run installs nothing and works offline.

# What the build and the tests need. The phone chips' digits are set in
# Arial, which fontconfig maps to its metric twin Liberation Sans; without it
# they fall to a wider face, and the chip tests and the tour's pictures differ.
FREYMO_BUILD_PACKAGES=(
    g++ cmake ninja-build ccache pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite libqt5sql5-psql libpq-dev
    libcpp-httplib-dev libsodium-dev libmicrohttpd-dev libzint-dev libsqlite3-dev libxlsxwriter-dev
    fonts-wqy-microhei fonts-liberation qttranslations5-l10n
    xvfb libxcb1-dev libcap-dev libfontconfig-dev
    poppler-utils unzip
    libqt5charts5-dev
    prometheus-cpp-dev
)
# What the platform's suites need to run on PostgreSQL as well as on SQLite:
# the server's binaries, for a throwaway cluster per suite. Besides, for the
# platform behind one address and its metrics: HAProxy, which the journey
# day runs through, and promtool (package prometheus), which checks the
# metrics' format.
FREYMO_POSTGRESQL_TEST_PACKAGES=(postgresql haproxy prometheus)
# What building the Debian packages needs as well (dpkg-shlibdeps, and file
# for CPack to find the programs whose libraries become dependencies).
FREYMO_PACKAGING_PACKAGES=(dpkg-dev file)
# What the screenshot tour needs as well (scripts/tour.sh; ./test.sh builds
# the tour too): libfaketime stops the platform's calendar.
FREYMO_TOUR_PACKAGES=(faketime)
# What test.sh's fuzz build needs besides: clang with libFuzzer and the
# sanitizer runtimes (only recommended by clang), the symbolizer that names
# functions in reports and suppressions, and SQLite's header for the
# platform target's database snapshot.
FREYMO_FUZZ_PACKAGES=(clang libclang-rt-14-dev llvm libsqlite3-dev)
# What running the client on a machine without a display needs as well.
FREYMO_RUN_PACKAGES=(xvfb xauth x11-utils imagemagick)

freymo_missing_packages() {
    local p missing=()
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    echo "${missing[@]:-}"
}

freymo_install_packages() {
    local missing
    missing=$(freymo_missing_packages "$@")
    [ -z "$missing" ] && return 0
    echo "Installing missing packages: $missing"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}
