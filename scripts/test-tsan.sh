#!/usr/bin/env bash
# Builds the end-to-end tests with ThreadSanitizer in build-tsan and runs the
# builds-on-threads tests under it: four builds of different discs at once, on
# four threads, through the C interface, and a cancel set from the host's
# thread while a build runs on another. Any data race fails the run.
# Generated test media is copied from build/test-media when present.
#   QORVCD_JOBS=N  parallel build jobs (default: the number of processors)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${QORVCD_JOBS:-$(nproc)}
build=build-tsan

if [ -d build/test-media ] && [ ! -d "$build/test-media" ]; then
  mkdir -p "$build"
  cp -a build/test-media "$build/test-media"
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORVCD_SANITIZE=thread
cmake --build "$build" -j"$jobs" --target test_e2e qorvcd

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/sanitize/tsan.supp"
# ThreadSanitizer needs its fixed memory layout; some kernels randomise
# mappings too widely for it, so address randomisation is turned off here.
run=()
if setarch "$(uname -m)" -R true 2>/dev/null; then run=(setarch "$(uname -m)" -R); fi
"${run[@]}" "$build/tests/e2e/test_e2e" --gtest_filter='ConcurrentBuilds.Threads*:ConcurrentBuilds.ACancel*'
