#!/usr/bin/env bash
# Builds the library, the program and the whole test suite with
# AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer in
# build-asan, and runs the suite there. Every finding fails the run. Tests that
# run the `qorvcd` program run this build's program, so it is checked too.
# Generated test media is copied from build/test-media when present.
#   QORVCD_SKIP_DEPS=1  skip installing the dependencies
#   QORVCD_JOBS=N       parallel jobs (default: the number of processors)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${QORVCD_SKIP_DEPS:-0}" != 1 ]; then ./scripts/install-deps.sh; fi
jobs=${QORVCD_JOBS:-$(nproc)}
build=build-asan

if [ -d build/test-media ] && [ ! -d "$build/test-media" ]; then
  mkdir -p "$build"
  cp -a build/test-media "$build/test-media"
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORVCD_SANITIZE=address,undefined
cmake --build "$build" -j"$jobs"

# Findings inside FFmpeg's own (uninstrumented) libraries are the only ones
# suppressed; the file says why for each.
supp=$PWD/scripts/sanitize/lsan.supp
# Address and leak reports are written to files of their own, so a finding in
# a `qorvcd` process that a test expects to fail cannot pass unseen. (The
# undefined-behaviour checker beside the address checker writes to stderr
# whatever log_path says; the tests' RunCommand fails on its reports.)
reports=$PWD/$build/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:log_path=$reports/asan
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$supp:print_suppressions=0
start=$(date +%s)
status=0
ctest --test-dir "$build" --output-on-failure -j"$jobs" || status=$?
echo "sanitizer suite: $(( $(date +%s) - start )) s, ctest status $status"
if [ -n "$(ls -A "$reports")" ]; then
  for f in "$reports"/*; do echo "== $f"; cat "$f"; done
  echo "sanitizer reports: $(ls "$reports" | wc -l) (above)"
  status=1
fi
exit "$status"
