#!/usr/bin/env bash
# Fails when a test waits a fixed time instead of awaiting what it expects: a
# bare qWait with a number, or a sleep. A fixed wait is either too short on a
# busy machine or wasted on an idle one; QSignalSpy::wait, QTRY_VERIFY and
# QTest::qWaitFor wait exactly as long as needed.
#
# usage: check_no_fixed_waits.sh <folder>...
set -uo pipefail

pattern='(\bqWait[[:space:]]*\([[:space:]]*[0-9])|(\bQThread::(u|m)?sleep[[:space:]]*\()|(\bsleep_for[[:space:]]*\()|(\b(u)?sleep[[:space:]]*\([[:space:]]*[0-9])'

# The check's own examples (checks/fixedwaits) count only when asked for.
found=""
for dir in "$@"; do
    hits=$(cd "$dir" && grep -rnE --include='*.cpp' --include='*.h' "$pattern" . | grep -v '/checks/fixedwaits/' |
        sed "s|^\./|${dir%/}/|")
    [ -n "$hits" ] && found+="$hits"$'\n'
done
found=${found%$'\n'}
if [ -n "$found" ]; then
    echo "$found"
    echo "$(wc -l <<<"$found") fixed wait(s): await a signal or a condition instead." >&2
    exit 1
fi
echo "No test waits a fixed time."
