#!/usr/bin/env bash
# Builds the Debian packages and checks what they hold and what they declare;
# then, as root, installs the platform's package on a throwaway root (an
# overlay of this machine's, where it is not installed) and runs its backup
# and a restore there, and purges it.
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
    ./lib/systemd/system/freymo-platform-backup.service \
    ./lib/systemd/system/freymo-platform-backup.timer \
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
    'libc6 libqt5core5a libqt5sql5 libqt5sql5-sqlite libqt5sql5-psql libsodium[0-9]+ libmicrohttpd[0-9]+ adduser init-system-helpers' \
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
    # The units as installed, but running the extracted server.
    for name in freymo-platform.service freymo-platform-backup.service freymo-platform-backup.timer; do
        sed "s#^ExecStart=$command#ExecStart=$root$command#" "$root/lib/systemd/system/$name" >"$WORK/$name"
    done
    if ! report=$(cd "$WORK" && systemd-analyze verify freymo-platform.service freymo-platform-backup.service \
        freymo-platform-backup.timer 2>&1) || [ -n "$report" ]; then
        fail "systemd-analyze verify: $report"
    fi
else
    echo "systemd-analyze is missing: the units are not verified"
fi

# Installed for real, on a root of its own: everything below runs inside it.
installed_check() {
    set -eu
    export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
    data=/var/lib/freymo-platform
    as_service() { runuser -u freymo-platform -- "$@"; }
    step() { echo "installed: $*"; }
    dpkg --purge freymo-platform >/dev/null 2>&1 || true
    step "dpkg -i (its dependencies must be there)"
    dpkg -i "$1" >/dev/null
    step "the timer is enabled"
    test -L /etc/systemd/system/timers.target.wants/freymo-platform-backup.timer
    step "a station in a new database"
    echo 'first-password' | as_service freymo-platform --data-dir $data station add --name 临沂站 \
        --contact 张三 --mobile 13912345678 --login linyi >/dev/null
    step "the timer's service, as systemd runs it"
    unit=/lib/systemd/system/freymo-platform-backup.service
    BACKUP_KEEP=
    . /etc/default/freymo-platform
    test -n "$BACKUP_KEEP"
    start=$(sed -n 's/^ExecStart=//p' $unit | sed "s/\${BACKUP_KEEP}/$BACKUP_KEEP/")
    condition=$(sed -n "s/^ExecCondition=\/bin\/sh -c '\(.*\)'$/\1/p" $unit | sed 's/\$\$/$/g')
    DATABASE= sh -c "$condition"
    if DATABASE=postgresql://freymo@db/freymo sh -c "$condition"; then
        echo "the backup would run on PostgreSQL"; exit 1
    fi
    # shellcheck disable=SC2086 # as systemd splits the line
    as_service $start >/dev/null
    copy=$(ls $data/backups/platform-*.db)
    test "$(stat -c '%a %U' $data/backups "$copy")" = "700 freymo-platform
600 freymo-platform"
    step "a second station after the copy, then the copy restored by root"
    echo 'second-password' | as_service freymo-platform --data-dir $data station add --name 日照站 \
        --contact 李四 --mobile 13912345679 --login rizhao >/dev/null
    restored=$(freymo-platform --data-dir $data restore "$copy")
    kept=$(echo "$restored" | sed -n 's/^the replaced database is kept as //p')
    test -f "$kept"
    test "$(stat -c %U $data/platform.db)" = freymo-platform
    listed=$(as_service freymo-platform --data-dir $data list)
    echo "$listed" | grep -q 临沂站
    if echo "$listed" | grep -q 日照站; then echo "the restore kept the later station"; exit 1; fi
    step "purged: the copies stay"
    dpkg --purge freymo-platform >/dev/null
    test ! -e /usr/bin/freymo-platform
    test -f "$copy"
}
if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null || ! command -v runuser >/dev/null; then
    echo "installing on a root of its own needs root, unshare and runuser: skipped"
else
    overlay="$WORK/overlay"
    rm -rf "$overlay" && mkdir -p "$overlay/upper" "$overlay/work" "$overlay/root"
    cp "$platform" "$overlay/upper/freymo-platform.deb"
    { declare -f installed_check; echo 'installed_check "$@"'; } >"$overlay/upper/check.sh"
    unshare --mount --propagation private sh -c '
        mount -t overlay overlay -o "lowerdir=/,upperdir=$1/upper,workdir=$1/work" "$1/root" || exit 3
        exec chroot "$1/root" /bin/bash /check.sh /freymo-platform.deb' sh "$overlay" >"$WORK/installed.log" 2>&1
    status=$?
    if [ "$status" -eq 3 ]; then
        echo "installing on a root of its own: no overlay file system here, skipped: $(head -n 2 "$WORK/installed.log")"
    elif [ "$status" -ne 0 ]; then
        cat "$WORK/installed.log"
        fail "the installed package (log above)"
    fi
    rm -rf "$overlay"
fi

[ "$failures" -eq 0 ] && echo "PASS: both packages" || echo "$failures check(s) failed"
[ "$failures" -eq 0 ]
