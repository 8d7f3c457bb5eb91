#!/usr/bin/env bash
# Builds the tree and runs the soak driver: backups and restores through several plug-in
# instances under random faults, every byte checked. Not part of CI.
# Usage: scripts/soak.sh [soak options]   e.g. --seed 7 --files 10000 --big-files 2 --big-mib 2048
#   --server rgw   against a Ceph RADOS Gateway that this script starts for the run
#                  (tests/harness/rgw.sh) and stops again, instead of the driver's own moto_server
# Run as root, the driver (and the gateway) run in a network namespace with only loopback.
# BUILD_DIR (default build) is the build tree to use.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}

scripts/install-deps.sh
[[ " $* " != *" --server rgw "* ]] || tests/harness/rgw.sh install
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target soak

run=("$build_dir"/tests/soak/soak "$@")
# The gateway reports its peak memory as it is stopped.
[[ " $* " != *" --server rgw "* ]] || run=(tests/harness/rgw.sh run "${run[@]}")
if [[ $(id -u) -eq 0 ]]; then
  echo "soak: running in a network namespace with only loopback (unshare -n)" >&2
  exec unshare -n -- sh -c 'ip link set lo up && exec "$@"' sh "${run[@]}"
fi
echo "soak: not root: running without a network namespace of their own" >&2
exec "${run[@]}"
