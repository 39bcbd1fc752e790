#!/usr/bin/env bash
# Builds the Debian packages and checks what they hold and what they declare.
# Usage: tst_packages.sh <source folder> <work folder>
# Exits 77 (a skip for CTest) where the packaging tools are missing.
set -uo pipefail
SRC=$1
WORK=$2

for tool in dpkg-deb dpkg-shlibdeps dpkg-architecture file readelf; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is missing (packages dpkg-dev, file, binutils)"
        exit 77
    fi
done

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

mkdir -p "$WORK"
# Unoptimised: what is checked here does not depend on the optimisation.
if ! FREYMO_PACKAGE_BUILD_TYPE=None "$SRC/scripts/build-packages.sh" "$WORK/build" >"$WORK/build.log" 2>&1; then
    tail -n 40 "$WORK/build.log"
    echo "FAIL: the packages did not build (log: $WORK/build.log)"
    exit 1
fi

arch=$(dpkg-architecture -qDEB_HOST_ARCH)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
version=$(sed -n 's/^project(Freymo VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")
client="$WORK/build/freymo_${version}_${arch}.deb"
platform="$WORK/build/freymo-platform_${version}_${arch}.deb"
for deb in "$client" "$platform"; do
    [ -f "$deb" ] || { echo "FAIL: $deb was not built"; ls "$WORK/build"/*.deb; exit 1; }
done

# Every file of the package but its folders, exactly.
expect_files() {
    local deb=$1
    shift
    local diff
    diff=$(diff <(printf '%s\n' "$@" | sort) <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)) ||
        fail "$(basename "$deb") holds other files ('<' missing, '>' unexpected):"$'\n'"$diff"
}
expect_files "$client" \
    ./usr/bin/freymo \
    "./usr/lib/$multiarch/freymo/libVoiceSdk.so" \
    ./usr/share/applications/freymo.desktop \
    ./usr/libexec/freymo/freymo-launcher \
    ./etc/freymo/freymo.conf \
    ./usr/share/icons/hicolor/256x256/apps/freymo.png
expect_files "$platform" \
    ./usr/bin/freymo-platform \
    ./lib/systemd/system/freymo-platform.service \
    ./etc/default/freymo-platform

# Depends, as one package name a line (alternatives and versions dropped).
depends() {
    dpkg-deb -f "$1" Depends | tr ',|' '\n' | sed 's/^ *//; s/[ (].*//' | sort -u
}
expect_depends() {
    local deb=$1 wanted=$2 unwanted=$3 names
    names=$(depends "$deb")
    for name in $wanted; do
        grep -Eqx "$name" <<<"$names" || fail "$(basename "$deb") does not depend on $name: $(tr '\n' ' ' <<<"$names")"
    done
    if grep -Eq "$unwanted" <<<"$names"; then
        fail "$(basename "$deb") depends on $(grep -E "$unwanted" <<<"$names" | tr '\n' ' ')"
    fi
}
expect_depends "$client" 'libc6 libstdc\+\+6 libqt5core5a libqt5gui5 libqt5widgets5 libqt5network5 libqt5printsupport5 libqt5charts5 libzint[0-9.]+ libxlsxwriter[0-9]+ qttranslations5-l10n' \
    '^(libsodium|libcpp-httplib|libmicrohttpd|libqt5sql5|libasan|libubsan)'
expect_depends "$platform" \
    'libc6 libqt5core5a libqt5sql5 libqt5sql5-sqlite libsodium[0-9]+ libmicrohttpd[0-9]+ adduser init-system-helpers' \
    '^(libqt5gui5|libqt5widgets5|libxlsxwriter|libcpp-httplib|libasan|libubsan)'

# The platform's control files: its options file survives upgrades, and the
# maintainer scripts are executable shell that parses.
control="$WORK/control"
rm -rf "$control" && dpkg-deb -e "$platform" "$control"
grep -qx /etc/default/freymo-platform "$control/conffiles" 2>/dev/null || fail "the options file is no conffile"
client_control="$WORK/control-client"
rm -rf "$client_control" && dpkg-deb -e "$client" "$client_control"
grep -qx /etc/freymo/freymo.conf "$client_control/conffiles" 2>/dev/null || fail "the client's freymo.conf is no conffile"
for script in postinst prerm postrm; do
    if ! [ -x "$control/$script" ] || ! sh -n "$control/$script"; then
        fail "maintainer script $script is missing or broken"
    fi
done

# The installed layout: no run path into the build folder, the unit's
# command is the packaged server, and the shipped options are accepted.
root="$WORK/root"
rm -rf "$root" && mkdir -p "$root"
dpkg-deb -x "$client" "$root" && dpkg-deb -x "$platform" "$root"
for elf in usr/bin/freymo usr/bin/freymo-platform "usr/lib/$multiarch/freymo/libVoiceSdk.so"; do
    if readelf -d "$root/$elf" | grep -Eq 'R(UN)?PATH'; then
        fail "$elf has a run path: $(readelf -d "$root/$elf" | grep -E 'R(UN)?PATH')"
    fi
done
# The client looks for its SDK in the folder the package puts it in: the
# path is compiled in as a UTF-16 literal.
sdk_dir=$(printf '%s' "lib/$multiarch/freymo" | sed 's/./&\\x00/g')
LC_ALL=C grep -qaP "$sdk_dir" "$root/usr/bin/freymo" || fail "the client does not look for its SDK in lib/$multiarch/freymo"
# The menu entry starts the launcher, which makes the client's own working
# folder (0700) below $XDG_DATA_HOME, or ~/.local/share when that is unset.
launcher=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/freymo.desktop")
[ "$launcher" = /usr/libexec/freymo/freymo-launcher ] || fail "the menu entry starts $launcher"
rm -rf "$WORK/desk" && mkdir -p "$WORK/desk/home"
(cd / && HOME="$WORK/desk/home" XDG_DATA_HOME= sh "$root$launcher" >/dev/null 2>&1)
[ "$(stat -c %a "$WORK/desk/home/.local/share/freymo" 2>/dev/null)" = 700 ] ||
    fail "the launcher did not make ~/.local/share/freymo with mode 0700"
(HOME="$WORK/desk/home" XDG_DATA_HOME="$WORK/desk/data" sh "$root$launcher" >/dev/null 2>&1)
[ -d "$WORK/desk/data/freymo" ] || fail "the launcher ignores XDG_DATA_HOME"
unit="$root/lib/systemd/system/freymo-platform.service"
command=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")
[ -x "$root$command" ] || fail "the unit runs $command, which the package does not hold"
# shellcheck disable=SC1091 # the file is part of the package
options=$(. "$root/etc/default/freymo-platform" && echo "${OPTIONS:-}")
# shellcheck disable=SC2086 # the unit splits OPTIONS into words as well
"$root/usr/bin/freymo-platform" $options --help >/dev/null || fail "the server refuses the shipped OPTIONS: $options"

if command -v systemd-analyze >/dev/null; then
    # The unit as installed, but running the extracted server.
    sed "s#^ExecStart=$command#ExecStart=$root$command#" "$unit" >"$WORK/freymo-platform.service"
    if ! report=$(systemd-analyze verify "$WORK/freymo-platform.service" 2>&1) || [ -n "$report" ]; then
        fail "systemd-analyze verify: $report"
    fi
else
    echo "systemd-analyze is missing: the unit is not verified"
fi

[ "$failures" -eq 0 ] && echo "PASS: both packages" || echo "$failures check(s) failed"
[ "$failures" -eq 0 ]
