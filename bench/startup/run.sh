#!/usr/bin/env bash
# Runs the start-up benchmark offscreen and on an X server with a window manager (Xvfb with
# openbox), from a Release build: bench/startup/run.sh [build dir] [runs].
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/release}"
runs="${2:-20}"
cmake --build "$build" --target bench_startup >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bench/startup/bench_startup" --runs "$runs"
echo
tests/x11/run-with-wm.sh "$build/bench/startup/bench_startup" --runs "$runs"
