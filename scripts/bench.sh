#!/usr/bin/env bash
# The plug-ins beside other S3 clients, on loopback only: one command.
#
#   scripts/bench.sh [compare.py options...]
#
# Installs what is missing (the build dependencies, s3cmd, rclone, gnuplot, GNU time; s3rver from
# npm into $BUILD_DIR/node, not globally), builds the tree (Release with debug info), runs the
# microbenchmark of the hot paths and the floor (AES-GCM through openssl speed), then starts
# s3rver on a free loopback port, over plain HTTP and then over TLS with a throw-away CA, and
# measures against each upload and download of a 1 GiB file and of a tree of 2,000 small files,
# the listing of a folder of 10,000 keys and the deletion of a folder of 2,000 objects, through
# plughost with libMardel and libRuvast and with aws s3, s3cmd and rclone (each given the CA);
# then, over plain HTTP, the scale cases: a folder of 100,000 keys, a tree of 20 folders of
# 5,000 files browsed file by file, and a 10 GiB file through libMardel. Prints one table per
# server and scheme, the floor, the targets and the scale figures, and writes results.csv,
# table.txt, floor.json, scale.json and chart-SERVER.png into $RESULTS (default results/,
# ignored by git). Run as root, everything after the installs runs in a network namespace with
# only loopback, so that nothing measured can reach beyond the machine.
#
# Environment: BUILD_DIR (default build), RESULTS (default results), BENCH_REPEAT (runs per
# measurement, median reported; default 1), BENCH_TIMEOUT (seconds per client run, default 900),
# BENCH_SKIP_INSTALL=1. Any option is passed on to bench/compare/compare.py, e.g.
# --servers moto,s3rver --schemes https --clients mardel,s3 --big-mib 256 --parts transfer.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build}
results=${RESULTS:-results}
repeat=${BENCH_REPEAT:-1}
timeout_s=${BENCH_TIMEOUT:-900}
node_dir="$build_dir/node"
s3rver_version=3.7.1

step() { printf '\n==> %s\n' "$*" >&2; }

if [[ ${BENCH_IN_NETNS:-0} != 1 && ${BENCH_SKIP_INSTALL:-0} != 1 ]]; then
  step "Installing what is missing"
  scripts/install-deps.sh
  missing=()
  for p in s3cmd rclone gnuplot-nox time; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  command -v npm >/dev/null || missing+=(nodejs npm)
  if ((${#missing[@]})); then
    sudo_cmd=()
    [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
  command -v aws >/dev/null || { echo "bench: the aws command (awscli) is not installed" >&2; exit 1; }
  if [[ ! -x $node_dir/node_modules/.bin/s3rver ]]; then
    mkdir -p "$node_dir"
    timeout 600 npm install --prefix "$node_dir" --no-audit --no-fund --no-save \
      "s3rver@$s3rver_version" >/dev/null
  fi
fi

if [[ ${BENCH_IN_NETNS:-0} != 1 ]]; then
  step "Building into $build_dir/"
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  timeout 3600 cmake --build "$build_dir" -j2 --target plughost Mardel Ruvast bench_micro \
    bench_browse
  if [[ $(id -u) -eq 0 ]] && command -v unshare >/dev/null; then
    step "Measuring in a network namespace with only loopback"
    exec unshare -n env BENCH_IN_NETNS=1 bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
  fi
  echo "bench: not root: measuring in the machine's own network namespace" >&2
fi

mkdir -p "$results"
echo "bench: load before measuring: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)" >&2

step "Microbenchmark of the hot paths"
micro_json="$results/micro.json"
timeout 600 "$build_dir/bench/micro/bench_micro" --benchmark_min_time=0.5 \
  --benchmark_out="$micro_json" --benchmark_out_format=json | tee "$results/micro.txt"

step "Clients side by side (HTTP, then HTTPS; then the scale cases)"
timeout $((timeout_s * 60)) python3 bench/compare/compare.py \
  --build "$build_dir" --work "$build_dir/bench-work" --out "$results" \
  --s3rver "$node_dir/node_modules/.bin/s3rver" --repeat "$repeat" --timeout "$timeout_s" \
  --micro "$micro_json" "$@"
echo "bench: results in $results/ (results.csv, table.txt, floor.json, scale.json, chart-*.png)" >&2
