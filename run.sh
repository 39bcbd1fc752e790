#!/usr/bin/env bash
# Installs what is missing, builds, starts the local management platform with
# its demo data, and runs the client against it. Without a display the client
# runs on a private Xvfb server and a screenshot of its first window is saved.
# The exit status is the client's (255 when it ends with -1, as it does when
# the login dialog is closed).
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
source scripts/common.sh

freymo_install_packages "${FREYMO_BUILD_PACKAGES[@]}" "${FREYMO_RUN_PACKAGES[@]}"

BUILD_DIR="$ROOT/build"
# Everything the run writes stays here: the platform's database and log, and
# the client's saved login (account.dat sits in the client's working folder).
RUN_DIR="$ROOT/run-data"
SCREENSHOT="$ROOT/freymo-screenshot.png"
PLATFORM_PORT=8765
mkdir -p "$RUN_DIR/platform"

# The client, the platform and the voice SDK; the tests are ./test.sh's business.
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFREYMO_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR"

platform_pid=""
xvfb_pid=""
client_pid=""
cleanup() {
    [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null || true
    [ -n "$platform_pid" ] && kill "$platform_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

port_answers() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

if port_answers "$PLATFORM_PORT"; then
    echo "A platform already answers on port $PLATFORM_PORT; using it."
elif [ -x "$BUILD_DIR/bin/freymo-platform" ]; then
    echo "Starting the platform on port $PLATFORM_PORT (data in $RUN_DIR/platform, log in $RUN_DIR/platform.log)"
    "$BUILD_DIR/bin/freymo-platform" --seed-demo --data-dir "$RUN_DIR/platform" >"$RUN_DIR/platform.log" 2>&1 &
    platform_pid=$!
    for _ in $(seq 100); do
        port_answers "$PLATFORM_PORT" && break
        if ! kill -0 "$platform_pid" 2>/dev/null; then
            echo "The platform stopped at start:" >&2
            tail -n 20 "$RUN_DIR/platform.log" >&2
            exit 1
        fi
        sleep 0.1
    done
    port_answers "$PLATFORM_PORT" || { echo "The platform did not answer on port $PLATFORM_PORT." >&2; exit 1; }
else
    echo "No platform built ($BUILD_DIR/bin/freymo-platform missing): the client will find nobody to sign in to."
fi

client="$BUILD_DIR/bin/freymo"
# The client signs in to the platform started here, whatever this machine's
# freymo.conf says.
export FREYMO_PLATFORM="127.0.0.1:$PLATFORM_PORT"
status=0
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
    (cd "$RUN_DIR" && exec "$client") || status=$?
    exit "$status"
fi

# No display: a private Xvfb on the first free display number.
display=99
while [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$RUN_DIR/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X${display}" ] && break
    sleep 0.1
done
[ -e "/tmp/.X11-unix/X${display}" ] || { echo "Xvfb did not start on :$display." >&2; exit 1; }
export DISPLAY=":$display"
echo "No display: running the client on Xvfb, DISPLAY=$DISPLAY."

(cd "$RUN_DIR" && exec "$client") &
client_pid=$!

# The first mapped window of the client, by the class Qt gives it.
window=""
for _ in $(seq 200); do
    kill -0 "$client_pid" 2>/dev/null || break
    for id in $(xwininfo -root -tree 2>/dev/null | awk '/\("freymo" "freymo"\)/ {print $1}'); do
        if xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then
            window=$id
            break
        fi
    done
    [ -n "$window" ] && break
    sleep 0.1
done
if [ -n "$window" ]; then
    sleep 0.5 # let the first paint finish
    if import -window "$window" "$SCREENSHOT" 2>/dev/null; then
        echo "Screenshot of the first window: $SCREENSHOT"
    else
        echo "Could not take a screenshot of window $window." >&2
    fi
    echo "The client keeps running on $DISPLAY; press Ctrl-C to stop it."
else
    echo "No client window appeared." >&2
fi

wait "$client_pid" || status=$?
client_pid=""
exit "$status"
