#!/usr/bin/env bash
# A throw-away single-node Ceph cluster with a RADOS Gateway on 127.0.0.1, for the tests that
# need a strict S3 server: one monitor, one OSD (BlueStore on a sparse file), pool size 1, and
# radosgw (beast) over HTTP and HTTPS with a certificate from a CA made for this run alone.
#
#   rgw.sh install      installs the Debian packages it needs, when they are missing (needs the
#                       network: run it before entering a loopback-only namespace)
#   rgw.sh start DIR    starts a cluster whose every file (configuration, data, logs, pid files,
#                       sockets, certificates) lives in DIR, which must not exist or be empty;
#                       waits until a signed request succeeds over HTTP and then over HTTPS;
#                       prints the variables of `env` on standard output
#   rgw.sh env DIR      prints the variables a test needs, as shell `export` lines:
#                       RGW_TEST_HTTP_URL, RGW_TEST_HTTPS_URL, RGW_TEST_CA_FILE,
#                       RGW_TEST_ACCESS_KEY, RGW_TEST_SECRET_KEY
#   rgw.sh run CMD...   starts a cluster in a new folder, runs CMD with the variables of `env`
#                       exported, then stops the cluster whatever CMD did, and exits with
#                       CMD's status (1 when the cluster did not start, and CMD did not run)
#   rgw.sh status DIR   says whether each daemon is running, and its resident memory
#   rgw.sh stop DIR     stops the daemons this script started in DIR (by their pid files),
#                       reports each one's peak resident memory, and removes DIR
#
# Environment: RGW_START_TIMEOUT (seconds, default 120), RGW_DEBUG (the gateway's `debug rgw`
# level, default 1: one log line per request; 20 shows how each signature was computed),
# RGW_KEEP_FAILED=1 (keep the folder of a start that failed, for its logs).
set -euo pipefail

readonly packages=(ceph-mon ceph-osd radosgw ceph-common uuid-runtime)
readonly access_key=AKIDRGWTESTER0000001
# Slash and plus as real secrets have them, so that the signing code meets them.
readonly secret_key='rgw/Tester+Secret0123456789abcdefghijKLMN'
# Our name of each daemon, and the name Ceph gives its log.
declare -A ceph_name=([mon]=mon.a [osd]=osd.0 [rgw]=client.rgw)

say() { echo "rgw: $*" >&2; }
die() {
  say "$*"
  exit 1
}

usage() {
  awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0" >&2
  exit 2
}

install_packages() {
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  say "installing ${missing[*]}"
  local sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# The pid a daemon's pid file names, when that process is still running.
running_pid() {
  local file=$dir/run/$1.pid pid
  [[ -s $file ]] || return 1
  pid=$(<"$file")
  kill -0 "$pid" 2>/dev/null || return 1
  echo "$pid"
}

log_tail() {
  local name=$1
  say "--- last lines of $dir/log/${ceph_name[$name]}.log"
  tail -n 30 "$dir/log/${ceph_name[$name]}.log" >&2 2>/dev/null || true
  if [[ -s $dir/log/$name.out ]]; then
    say "--- its standard output and error"
    tail -n 30 "$dir/log/$name.out" >&2
  fi
}

# Starts a daemon in the foreground of a session of its own; the pid file is ours, written
# before the daemon runs, so that a daemon that dies at once is still found and reported.
launch() {
  local name=$1
  shift
  setsid "$@" -f -c "$dir/ceph.conf" </dev/null >"$dir/log/$name.out" 2>&1 &
  echo $! >"$dir/run/$name.pid"
}

# Waits until CHECK succeeds, failing with the log's tail as soon as a daemon has died.
wait_for() {
  local what=$1 check=$2 name
  shift 2
  while ! eval "$check" >/dev/null 2>&1; do
    for name in "$@"; do
      running_pid "$name" >/dev/null || {
        say "$name died while waiting for $what"
        log_tail "$name"
        exit 1
      }
    done
    if ((SECONDS > deadline)); then
      say "timed out after ${RGW_START_TIMEOUT:-120} s waiting for $what"
      for name in "$@"; do log_tail "$name"; done
      exit 1
    fi
    sleep 0.1
  done
}

ceph_cli() { timeout 30 ceph -c "$dir/ceph.conf" "$@"; }

signed_list_buckets() {
  local url=$1
  shift
  [[ $(curl -s -o /dev/null -w '%{http_code}' --max-time 5 --noproxy '*' "$@" \
    --aws-sigv4 "aws:amz:us-east-1:s3" --user "$access_key:$secret_key" \
    -H "x-amz-content-sha256: e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855" \
    "$url/") == 200 ]]
}

write_env() {
  cat >"$dir/env" <<EOF
export RGW_TEST_HTTP_URL=http://127.0.0.1:$1
export RGW_TEST_HTTPS_URL=https://127.0.0.1:$2
export RGW_TEST_CA_FILE=$dir/tls/ca.pem
export RGW_TEST_ACCESS_KEY=$access_key
export RGW_TEST_SECRET_KEY='$secret_key'
EOF
}

make_certificates() {
  mkdir -p "$dir/tls"
  (
    cd "$dir/tls"
    printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n' >ext.cnf
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
      -subj '/CN=rgw test CA'
    openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj '/CN=127.0.0.1'
    openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem \
      -days 2 -extfile ext.cnf
  ) >"$dir/log/openssl.out" 2>&1 || {
    cat "$dir/log/openssl.out" >&2
    die "openssl could not make the certificates"
  }
}

write_config() {
  local fsid=$1 mon_port=$2 http_port=$3 https_port=$4
  cat >"$dir/ceph.conf" <<EOF
[global]
fsid = $fsid
mon host = v2:127.0.0.1:$mon_port
public addr = 127.0.0.1
cluster addr = 127.0.0.1
ms bind ipv6 = false
ms bind msgr1 = false
# No authentication between the daemons; without a key to agree on, the messenger must not
# ask for its secure mode.
auth cluster required = none
auth service required = none
auth client required = none
ms client mode = crc
ms mon client mode = crc
keyring = $dir/keyring
run dir = $dir/run
admin socket = $dir/run/\$name.asok
log file = $dir/log/\$name.log
log to stderr = false
err to stderr = true
# One OSD, one copy of everything.
osd pool default size = 1
osd pool default min size = 1
mon allow pool size one = true
osd crush chooseleaf type = 0
osd pool default pg autoscale mode = off
osd pool default pg num = 8
osd pool default pgp num = 8
# No manager: nothing of S3 needs one, and the monitor is not to warn about it.
mon mgr mkfs grace = 315360000
# Each pool the gateway creates at its first start is a Paxos round: a short interval keeps
# the start within seconds.
paxos propose interval = 0.1
mon data = $dir/mon/\$cluster-\$id
osd data = $dir/osd/\$cluster-\$id

[osd]
osd objectstore = bluestore
bluestore block create = true
# Sparse: only what is written takes disk space.
bluestore block size = 68719476736
bluestore fsck on mkfs = false
bluestore fsck on mount = false
osd memory target = 1073741824

[client.rgw]
rgw frontends = beast endpoint=127.0.0.1:$http_port ssl_endpoint=127.0.0.1:$https_port ssl_certificate=$dir/tls/server.pem ssl_private_key=$dir/tls/server.key
rgw dns name = localhost
rgw data = $dir/rgw
debug rgw = ${RGW_DEBUG:-1}
# What a deleted object held is given back at once, so that long runs do not fill the store.
rgw gc obj min wait = 0
rgw gc processor period = 60
EOF
}

# A start that fails stops what it started and removes the folder, unless RGW_KEEP_FAILED=1.
clean_up_failed_start() {
  local status=$?
  ((status != 0)) || return 0
  terminate rgw osd mon
  if [[ ${RGW_KEEP_FAILED:-0} == 1 ]]; then
    say "start failed; $dir kept"
  else
    rm -rf "$dir"
  fi
  exit "$status"
}

start() {
  [[ -e $dir && -n $(ls -A "$dir" 2>/dev/null) ]] && die "$dir exists and is not empty"
  mkdir -p "$dir"
  trap clean_up_failed_start EXIT
  install_packages
  for tool in ceph-mon ceph-osd radosgw radosgw-admin ceph monmaptool uuidgen openssl curl python3; do
    command -v "$tool" >/dev/null || die "$tool is not installed"
  done
  mkdir -p "$dir"/{run,log,mon,osd/ceph-0,rgw}
  dir=$(cd "$dir" && pwd)
  local started
  started=$(date +%s%N)
  deadline=$((SECONDS + ${RGW_START_TIMEOUT:-120}))
  : >"$dir/keyring"

  local fsid mon_port http_port https_port osd_uuid
  fsid=$(uuidgen)
  osd_uuid=$(uuidgen)
  mon_port=$(free_port)
  http_port=$(free_port)
  https_port=$(free_port)
  while [[ $https_port == "$http_port" || $http_port == "$mon_port" ]]; do https_port=$(free_port); done
  write_config "$fsid" "$mon_port" "$http_port" "$https_port"
  write_env "$http_port" "$https_port"
  make_certificates

  monmaptool --create --fsid "$fsid" --addv a "[v2:127.0.0.1:$mon_port]" "$dir/monmap" \
    >"$dir/log/mkfs.out" 2>&1 || { cat "$dir/log/mkfs.out" >&2; die "monmaptool failed"; }
  ceph-mon -c "$dir/ceph.conf" --mkfs -i a --monmap "$dir/monmap" >>"$dir/log/mkfs.out" 2>&1 ||
    { cat "$dir/log/mkfs.out" >&2; die "ceph-mon --mkfs failed"; }
  launch mon ceph-mon -i a
  wait_for "the monitor" "ceph_cli --connect-timeout 2 mon stat" mon

  [[ $(ceph_cli osd new "$osd_uuid" 2>>"$dir/log/mkfs.out") == 0 ]] ||
    { cat "$dir/log/mkfs.out" >&2; die "ceph osd new did not give osd.0"; }
  ceph-osd -c "$dir/ceph.conf" -i 0 --mkfs --osd-uuid "$osd_uuid" >>"$dir/log/mkfs.out" 2>&1 ||
    { cat "$dir/log/mkfs.out" >&2; die "ceph-osd --mkfs failed"; }
  launch osd ceph-osd -i 0
  wait_for "osd.0 to be up and in" "ceph_cli osd dump | grep -q '^osd.0 up *in '" mon osd

  launch rgw radosgw -n client.rgw
  radosgw-admin -c "$dir/ceph.conf" user create --uid=tester --display-name="wire tests" \
    --access-key="$access_key" --secret-key="$secret_key" >"$dir/log/user.out" 2>&1 ||
    { cat "$dir/log/user.out" >&2; log_tail rgw; die "radosgw-admin could not create the user"; }
  wait_for "a signed request over HTTP" "signed_list_buckets http://127.0.0.1:$http_port" \
    mon osd rgw
  wait_for "a signed request over HTTPS" \
    "signed_list_buckets https://127.0.0.1:$https_port --cacert '$dir/tls/ca.pem'" mon osd rgw
  local tenths=$((($(date +%s%N) - started) / 100000000))
  trap - EXIT
  say "up in $((tenths / 10)).$((tenths % 10)) s: http://127.0.0.1:$http_port https://127.0.0.1:$https_port ($dir)"
  cat "$dir/env"
}

# Resident memory now and at its peak, of each daemon that runs.
memory() {
  local name pid
  for name in mon osd rgw; do
    if pid=$(running_pid "$name"); then
      awk -v n="$name" -v p="$pid" '/^VmRSS/ { rss = $2 } /^VmHWM/ { hwm = $2 }
        END { printf "rgw: %s (pid %s): %d MiB resident, %d MiB at peak\n", n, p, rss / 1024, hwm / 1024 }' \
        "/proc/$pid/status" >&2
    else
      say "$name: not running"
    fi
  done
}

# TERM to each of the daemons named, then KILL to those still there after 10 s.
terminate() {
  local name pid pids=() waited
  for name in "$@"; do
    pid=$(running_pid "$name") || continue
    kill -TERM "$pid" 2>/dev/null || true
    pids+=("$name:$pid")
  done
  for waited in $(seq 1 100); do
    local left=()
    for pid in "${pids[@]}"; do kill -0 "${pid#*:}" 2>/dev/null && left+=("$pid"); done
    ((${#left[@]})) || return 0
    pids=("${left[@]}")
    sleep 0.1
  done
  for pid in "${pids[@]}"; do
    say "${pid%%:*} (pid ${pid#*:}) ignored TERM for 10 s; killing it"
    kill -KILL "${pid#*:}" 2>/dev/null || true
  done
}

stop() {
  [[ -d $dir ]] || die "$dir does not exist"
  [[ -f $dir/ceph.conf && -d $dir/run ]] || die "$dir is not a folder of rgw.sh start"
  memory
  # The gateway first, while the cluster it talks to is still there; then the rest at once,
  # as their data goes with the folder.
  terminate rgw
  terminate osd mon
  rm -rf "$dir"
  say "stopped; $dir removed"
}

run_command() {
  dir=$(mktemp -d "${TMPDIR:-/tmp}/rgw-run.XXXXXX")
  local env_file=$dir.env
  # Stopped on every way out; a start that fails has cleaned up after itself.
  trap '[[ ! -d $dir ]] || stop; rm -f "$env_file"' EXIT
  trap 'exit 130' INT TERM
  if ! (start) >"$env_file"; then
    say "FAILED: the Ceph RADOS Gateway did not start (see above); $1 was not run"
    exit 1
  fi
  # shellcheck disable=SC1090
  source "$env_file"
  local status=0
  "$@" || status=$?
  exit "$status"
}

(($# >= 1)) || usage
command=$1
case "$command" in
  install)
    (($# == 1)) || usage
    install_packages
    ;;
  run)
    (($# >= 2)) || usage
    shift
    run_command "$@"
    ;;
  start | env | status | stop)
    (($# == 2)) || usage
    dir=$2
    case "$command" in
      start) start ;;
      env)
        [[ -f $dir/env ]] || die "$dir holds no running cluster"
        cat "$dir/env"
        ;;
      status) memory ;;
      stop) stop ;;
    esac
    ;;
  -h | --help) usage ;;
  *) usage ;;
esac
