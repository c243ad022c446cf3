#!/usr/bin/env bash
# Installs the dependencies, builds qorvcd and runs the whole test suite.
# Generated test media (ffmpeg streams, bitmaps) is cached in build/test-media.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${QORVCD_SKIP_DEPS:-0}" != 1 ]; then ./scripts/install-deps.sh; fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
