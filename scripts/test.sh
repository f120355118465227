#!/usr/bin/env bash
# Sets everything up, builds, and runs every test (GUI tests under Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD=${BUILD:-build}
# ccache, where the machine has it, keeps rebuilds of unchanged files cheap.
LAUNCHER=()
if command -v ccache >/dev/null 2>&1; then LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${LAUNCHER[@]}" "$@"
cmake --build "$BUILD" -j "$(nproc)"
cd "$BUILD"
export OPENCV_LOG_LEVEL=ERROR
# CTEST_ARGS narrows the run (e.g. "-LE gui"); empty runs every test.
xvfb-run -a -s "-screen 0 1600x1200x24" ctest --output-on-failure -j "$(nproc)" --timeout 900 ${CTEST_ARGS:-}
