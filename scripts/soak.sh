#!/usr/bin/env bash
# Builds the tree and runs the soak driver: backups and restores through several plug-in
# instances under random faults, every byte checked. Not part of CI.
# Usage: scripts/soak.sh [soak options]   e.g. --seed 7 --files 10000 --big-files 2 --big-mib 2048
# BUILD_DIR (default build) is the build tree to use.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}

scripts/install-deps.sh
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target soak
exec "$build_dir"/tests/soak/soak "$@"
