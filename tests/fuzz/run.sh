#!/bin/sh
# Fuzzes every target (or the ones named) for SECONDS each, two at a time,
# and merges what adds coverage into tests/fuzz/corpus/<target>/.
#
#   tests/fuzz/run.sh SECONDS [TARGET...]
#
# Builds build-fuzz (clang, libFuzzer, AddressSanitizer, UBSan) when needed and
# makes the script-build target's media there. Crashes, leaks, timeouts and
# out-of-memory inputs are left in build-fuzz/fuzz-runs/<target>/artifacts/.
# Ends with one line per target; the exit status is 1 when any target found
# something.
set -eu

seconds=${1:?usage: run.sh SECONDS [TARGET...]}
shift
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=${QORVCD_FUZZ_BUILD:-$source_dir/build-fuzz}
all="script_reader script_build mpeg_probe packet_reader image_reader still_picture"
targets=${*:-$all}

if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQORVCD_FUZZ=ON -DBUILD_TESTING=OFF -DQORVCD_BENCH=OFF >/dev/null
fi
for t in $targets; do
    nice -n 10 cmake --build "$build" -j2 --target "fuzz_$t" >/dev/null
done
"$here/make-media.sh" "$build/fuzz-media"
export QORVCD_FUZZ_MEDIA="$build/fuzz-media"

# The longest input each target is given: the script targets stay near the
# size of real scripts, so that each run stays quick and the fuzzer explores
# their shape rather than their length.
max_len() {
    case $1 in
        script_reader|script_build) echo 65536 ;;
        image_reader) echo 262144 ;;
        still_picture) echo 131072 ;;
        *) echo 65536 ;;
    esac
}

dict() {
    case $1 in
        script_reader|script_build) echo "-dict=$here/script.dict" ;;
    esac
}

count_files() { find "$1" -type f 2>/dev/null | wc -l; }

fuzz_one() {
    t=$1
    runs="$build/fuzz-runs/$t"
    corpus="$here/corpus/$t"
    rm -rf "$runs/new"
    mkdir -p "$runs/new" "$runs/artifacts" "$corpus"
    extra=
    [ -d "$here/regressions/$t" ] && extra="$here/regressions/$t"
    before=$(count_files "$corpus")
    found_before=$(count_files "$runs/artifacts")
    # New inputs land in the first folder; the committed corpus seeds the run.
    nice -n 10 "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -max_len="$(max_len "$t")" $(dict "$t") -artifact_prefix="$runs/artifacts/" -print_final_stats=1 \
        "$runs/new" "$corpus" $extra >"$runs/fuzz.log" 2>&1 || true
    nice -n 10 "$build/tests/fuzz/fuzz_$t" -merge=1 -rss_limit_mb=2048 -timeout=10 -max_len="$(max_len "$t")" \
        "$corpus" "$runs/new" >"$runs/merge.log" 2>&1 || true
    after=$(count_files "$corpus")
    found=$(( $(count_files "$runs/artifacts") - found_before ))
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$runs/fuzz.log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$runs/fuzz.log" | tail -n 1)
    echo "$t: runs ${execs:-?}, ${rate:-?} execs/s, corpus $before -> $after files (+$((after - before))), crashes/leaks/timeouts $found" \
        >"$runs/summary"
}

pending=
for t in $targets; do
    fuzz_one "$t" &
    pending="$pending $!"
    # Two at a time: wait for the older of a pair before starting a third.
    set -- $pending
    if [ $# -ge 2 ]; then
        wait "$1" || true
        shift
        pending="$*"
    fi
done
for p in $pending; do wait "$p" || true; done

status=0
for t in $targets; do
    line=$(cat "$build/fuzz-runs/$t/summary")
    echo "$line"
    case $line in *"timeouts 0") ;; *) status=1 ;; esac
done
exit $status
