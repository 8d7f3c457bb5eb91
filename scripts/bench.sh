#!/usr/bin/env bash
# The plug-ins beside other S3 clients, on loopback only: one command.
#
#   scripts/bench.sh [--baseline REV] [compare.py options...]
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
# --baseline REV measures a second build beside this one: REV (a commit, branch or tag) is
# checked out as a git worktree in ../NAME-baseline/SHA/src (NAME: this checkout's folder),
# built into ../NAME-baseline/SHA/build, and its plughost and plug-ins run as clients of their
# own ("plughost Mardel@SHA", the short hash), each run interleaved with this build's
# (A B A B ...), against the same servers; the tables then add this build beside the baseline
# with median, minimum, maximum and the ratio. The worktree and its build are kept, so the next run against the same
# commit only rebuilds what changed; BENCH_BASELINE_REMOVE=1 removes them after the run.
#
# --rtt-ms 0,40,100 (or --parts rtt) adds the round-trip cases: the big file and the small
# files up and down and a folder deleted, through bench/compare/rtt_relay.py in front of each
# server (window --rtt-window-kib, default 4096; rate --rtt-rate-mbit, default 1000).
#
# Environment: BUILD_DIR (default build), RESULTS (default results), BENCH_REPEAT (runs per
# measurement, median reported; default 1, 3 with --baseline or round trips), BENCH_TIMEOUT
# (seconds per client run, default 900), BENCH_SKIP_INSTALL=1, BENCH_BASELINE_ROOT (default
# ../NAME-baseline), BENCH_BASELINE_REMOVE=1. Any other option is passed on to
# bench/compare/compare.py, e.g. --servers moto,s3rver --schemes https --clients mardel,s3
# --big-mib 256 --parts transfer.
set -euo pipefail
cd "$(dirname "$0")/.."

given=("$@")
baseline=
args=()
round_trips=0
while (($#)); do
  case $1 in
    --baseline) [[ $# -ge 2 ]] || { echo "bench: --baseline needs a revision" >&2; exit 2; }
                baseline=$2; shift 2 ;;
    --baseline=*) baseline=${1#--baseline=}; shift ;;
    *) [[ $1 == --rtt-ms* || $1 == rtt || $1 == *,rtt || $1 == rtt,* || $1 == *,rtt,* ]] &&
         round_trips=1
       args+=("$1"); shift ;;
  esac
done
set -- ${args[@]+"${args[@]}"}

build_dir=${BUILD_DIR:-build}
results=${RESULTS:-results}
if [[ -n $baseline || $round_trips == 1 ]]; then
  repeat=${BENCH_REPEAT:-3}
else
  repeat=${BENCH_REPEAT:-1}
fi
timeout_s=${BENCH_TIMEOUT:-900}
node_dir="$build_dir/node"
s3rver_version=3.7.1

step() { printf '\n==> %s\n' "$*" >&2; }

baseline_args=()
if [[ -n $baseline ]]; then
  baseline_sha=$(git rev-parse --verify --short=12 "$baseline^{commit}") ||
    { echo "bench: --baseline $baseline: no such commit" >&2; exit 2; }
  baseline_root=${BENCH_BASELINE_ROOT:-$(cd .. && pwd)/$(basename "$PWD")-baseline}
  baseline_src=$baseline_root/$baseline_sha/src
  baseline_build=$baseline_root/$baseline_sha/build
  baseline_args=(--baseline-build "$baseline_build"
                 --baseline-name "$(git rev-parse --short "$baseline_sha")")
fi

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
  if [[ -n $baseline ]]; then
    if [[ -e $baseline_src/.git ]]; then
      step "Baseline $baseline ($baseline_sha): reusing $baseline_src"
      [[ $(git -C "$baseline_src" rev-parse --short=12 HEAD) == "$baseline_sha" ]] ||
        { echo "bench: $baseline_src is not at $baseline_sha" >&2; exit 1; }
    else
      step "Baseline $baseline ($baseline_sha): a worktree in $baseline_src"
      mkdir -p "$baseline_root/$baseline_sha"
      git worktree add --detach "$baseline_src" "$baseline_sha" >/dev/null
    fi
    step "Building the baseline into $baseline_build/"
    cmake -S "$baseline_src" -B "$baseline_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    timeout 3600 cmake --build "$baseline_build" -j2 --target plughost Mardel Ruvast
  fi
  if [[ $(id -u) -eq 0 ]] && command -v unshare >/dev/null; then
    step "Measuring in a network namespace with only loopback"
    exec unshare -n env BENCH_IN_NETNS=1 bash -c 'ip link set lo up && exec "$0" "$@"' "$0" \
      ${given[@]+"${given[@]}"}
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
status=0
timeout $((timeout_s * 60)) python3 bench/compare/compare.py \
  --build "$build_dir" --work "$build_dir/bench-work" --out "$results" \
  --s3rver "$node_dir/node_modules/.bin/s3rver" --repeat "$repeat" --timeout "$timeout_s" \
  --micro "$micro_json" ${baseline_args[@]+"${baseline_args[@]}"} "$@" || status=$?
if [[ -n $baseline && ${BENCH_BASELINE_REMOVE:-0} == 1 ]]; then
  git worktree remove --force "$baseline_src" && rm -rf "${baseline_root:?}/$baseline_sha"
  echo "bench: removed the baseline's worktree and build ($baseline_root/$baseline_sha)" >&2
fi
echo "bench: results in $results/ (results.csv, table.txt, floor.json, scale.json, chart-*.png)" >&2
exit $status
