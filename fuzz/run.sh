#!/usr/bin/env bash
# Runs the fuzz targets of a FREYMO_FUZZ build over their committed seeds.
#   fuzz/run.sh <build-dir> [libFuzzer options...]     (default: -max_total_time=5)
# FUZZ_TARGETS="apianswer voiceline" limits the run to some targets.
# New inputs go to <build-dir>/fuzz-corpus/<target>; a crash, hang, leak or
# sanitizer error stops its target, leaves the input in
# <build-dir>/fuzz-artifacts/ and makes the exit status non-zero.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: fuzz/run.sh <build-dir> [libFuzzer options...]}" && pwd)
shift
options=("$@")
[ ${#options[@]} -eq 0 ] && options=(-max_total_time=5)

mkdir -p "$build/fuzz-artifacts" "$build/fuzz-logs"
status=0
for target in ${FUZZ_TARGETS:-apianswer accountfile platformapi requestgate voiceline voicewire}; do
    binary="$build/bin/fuzz_$target"
    scratch="$build/fuzz-corpus/$target"
    log="$build/fuzz-logs/$target.log"
    mkdir -p "$scratch"
    # A target's known leaks outside our code, if any: fuzz/<target>.supp.
    suppressions=/dev/null
    [ -f "$here/$target.supp" ] && suppressions="$here/$target.supp"
    if ASAN_OPTIONS="detect_leaks=1" \
        LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0" \
        UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        "$binary" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-artifacts/$target-" "${options[@]}" \
        "$scratch" "$here/corpus/$target" >"$log" 2>&1; then
        echo "fuzz_$target: $(grep -a -o 'Done [0-9]* runs in [0-9]* second(s)' "$log" | tail -1)"
    else
        status=1
        echo "fuzz_$target: FAILED (log: $log)"
        grep -a -E 'ERROR|SUMMARY|WARNING|Test unit written|fuzz_[a-z]*:' "$log" | head -20
    fi
done
exit $status
