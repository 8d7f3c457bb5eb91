#!/usr/bin/env bash
# The main job, end to end: build the plug-ins and plughost, then back a sample tree up through
# libMardel, list it, change it and back it up again (only what changed is sent), restore it
# into a new folder and check the copy byte for byte, with the files' modes and modification
# times.
#
#   scripts/demo.sh
#       against a local S3 server (moto_server) that the script starts on a free loopback port
#       and stops again; the bucket is created with botocore, as a plug-in cannot create one.
#       Run as root, everything after the install and build steps runs in a network namespace
#       of its own with nothing but loopback (unshare -n), so that nothing can leave the machine.
#
#   scripts/demo.sh --params FILE [--plugin NAME] [--endpoint HOST] STORAGE_PATH [LOCAL_DIR]
#       against your own service: FILE holds the plug-in's parameters (Key=Value lines, values
#       may be @env:NAME); STORAGE_PATH is an existing bucket, optionally with a folder below it
#       (bucket/folder). LOCAL_DIR is backed up (default: a generated sample tree); it is only
#       read, so its second backup shows that an unchanged tree sends nothing but the manifest.
#       --plugin picks the plug-in (Mardel, Tresko, Pennat, Ruvast, Golmer; default Mardel).
#
# Environment: BUILD_DIR (default build), DEMO_BIG_MIB (size of the large sample file, default
# 210), KEEP_DEMO=1 keeps the work folder.
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$0")/.."

original_arguments=("$@")
build_dir=${BUILD_DIR:-build}
big_mib=${DEMO_BIG_MIB:-210}
params_file=""
plugin_name=Mardel
endpoint=""
storage_path=""
local_dir=""

usage() {
  # The comment block at the top of this file.
  awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0" >&2
  exit 2
}

while (($#)); do
  case "$1" in
    --params) params_file=${2:?--params needs a file}; shift 2 ;;
    --plugin) plugin_name=${2:?--plugin needs a name}; shift 2 ;;
    --endpoint) endpoint=${2:?--endpoint needs a host}; shift 2 ;;
    -h|--help) usage ;;
    -*) echo "demo: unknown option $1" >&2; usage ;;
    *)
      if [[ -z $storage_path ]]; then storage_path=$1
      elif [[ -z $local_dir ]]; then local_dir=$1
      else echo "demo: too many arguments" >&2; usage
      fi
      shift ;;
  esac
done
if [[ -n $params_file && -z $storage_path ]]; then
  echo "demo: --params needs a STORAGE_PATH (an existing bucket on your service)" >&2
  usage
fi
if [[ -z $params_file && ( -n $storage_path || -n $endpoint || $plugin_name != Mardel ) ]]; then
  echo "demo: STORAGE_PATH, --plugin and --endpoint go with --params FILE" >&2
  usage
fi

if [[ -t 2 ]]; then
  step() { printf '\n\033[1m==> %s\033[0m\n' "$*" >&2; }
else
  step() { printf '\n==> %s\n' "$*" >&2; }
fi

plughost="$build_dir/tools/plughost/plughost"
plugin="$build_dir/profiles/lib$plugin_name.so"

# The install and build steps run once, outside the namespace (they may need the network).
if [[ ${DEMO_IN_NAMESPACE:-0} != 1 ]]; then
  step "Installing what is missing"
  if [[ -x scripts/install-deps.sh ]]; then
    scripts/install-deps.sh
  else
    echo "demo: scripts/install-deps.sh not found; assuming the build dependencies are installed" >&2
  fi
  if [[ -z $params_file && $(id -u) -eq 0 ]] && ! command -v ip >/dev/null; then
    echo "demo: installing iproute2 (ip), to bring up loopback in the demo's network namespace" >&2
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq iproute2 >/dev/null
  fi

  # Quietly: what the demo shows is the backup. The compiler's output goes to a log file that is
  # shown only when the build fails.
  step "Configuring and building into $build_dir/ (output in $build_dir/demo-build.log)"
  mkdir -p "$build_dir"
  build_log="$build_dir/demo-build.log"
  if ! { cmake -S . -B "$build_dir" && cmake --build "$build_dir" -j2 --target plughost "$plugin_name"; } \
      >"$build_log" 2>&1; then
    tail -n 40 "$build_log" >&2
    echo "demo: the build failed; the whole output is in $build_log" >&2
    exit 1
  fi
  echo "demo: built $plughost and $plugin" >&2
  [[ -x $plughost && -f $plugin ]] || { echo "demo: build did not produce $plughost and $plugin" >&2; exit 1; }

  if [[ -z $params_file ]]; then
    if [[ $(id -u) -eq 0 ]] && command -v unshare >/dev/null && command -v ip >/dev/null; then
      echo "demo: the rest runs in a network namespace of its own with only loopback" \
           "(unshare -n, ip link set lo up): nothing it does can reach another machine" >&2
      export DEMO_IN_NAMESPACE=1
      exec unshare -n sh -c 'ip link set lo up && exec "$0" "$@"' "$self" "${original_arguments[@]}"
    fi
    echo "demo: not root (or no unshare/ip): the local run shares the machine's network;" \
         "it talks to 127.0.0.1 only" >&2
  fi
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/plughost-demo.XXXXXX")
server_pid=""
cleanup() {
  local status=$?
  if [[ -n $server_pid ]] && kill -0 "$server_pid" 2>/dev/null; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    echo "demo: local S3 server stopped" >&2
  fi
  if [[ ${KEEP_DEMO:-0} == 1 ]]; then
    echo "demo: work folder kept: $work" >&2
  else
    rm -rf "$work"
  fi
  if ((status != 0)); then echo "demo: FAILED (exit status $status)" >&2; fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [[ -z $params_file ]]; then
  step "Starting a local S3 server on loopback"
  command -v moto_server >/dev/null || { echo "demo: moto_server is not installed" >&2; exit 1; }
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  url="http://127.0.0.1:$port"
  moto_server -H 127.0.0.1 -p "$port" >"$work/moto.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 1 100); do
    if python3 -c "import urllib.request; urllib.request.urlopen('$url/moto-api/', timeout=1)" 2>/dev/null; then
      break
    fi
    kill -0 "$server_pid" 2>/dev/null || { echo "demo: moto_server did not start:" >&2; cat "$work/moto.log" >&2; exit 1; }
    sleep 0.1
  done
  echo "demo: moto_server listening at $url (pid $server_pid)" >&2

  bucket=plughost-demo
  python3 - "$url" "$bucket" <<'PY'
import sys
import botocore.session
url, bucket = sys.argv[1], sys.argv[2]
client = botocore.session.get_session().create_client(
    "s3", endpoint_url=url, region_name="us-east-1",
    aws_access_key_id="demo-access-key", aws_secret_access_key="demo-secret-key")
client.create_bucket(Bucket=bucket)
print(f"demo: bucket {bucket} created", file=sys.stderr)
PY
  params_file="$work/demo.params"
  (umask 077 && cat >"$params_file" <<EOF_PARAMS
# libMardel against the local server; the credentials are dummies that moto accepts.
ServerName=$url
AccessKeyID=demo-access-key
SecretAccessKey=demo-secret-key
Region=us-east-1
EOF_PARAMS
  )
  storage_path="$bucket/demo-backup"
fi

generated=0
if [[ -z $local_dir ]]; then
  step "Generating a sample tree (small files, non-ASCII names, modes, old times, one file of $big_mib MiB)"
  generated=1
  local_dir="$work/sample"
  mkdir -p "$local_dir/documents/2024" "$local_dir/photos/été" "$local_dir/empty folder" "$local_dir/日本語"
  for i in $(seq 1 20); do
    printf 'note %d\n' "$i" >"$local_dir/documents/2024/note-$i.txt"
  done
  printf 'Grüße aus Köln\n' >"$local_dir/documents/grüße.txt"
  printf 'こんにちは\n' >"$local_dir/日本語/挨拶.txt"
  : >"$local_dir/documents/empty.txt"
  printf '#!/bin/sh\necho hello\n' >"$local_dir/documents/hello.sh"
  printf 'not for everyone\n' >"$local_dir/documents/private.txt"
  head -c 70000 /dev/urandom >"$local_dir/photos/été/plage.jpg"
  head -c $((big_mib * 1024 * 1024)) /dev/urandom >"$local_dir/photos/archive.bin"
  chmod 755 "$local_dir/documents/hello.sh"
  chmod 600 "$local_dir/documents/private.txt"
  chmod 700 "$local_dir/日本語"
  # Times from the past, with nanoseconds, files before their folders.
  find "$local_dir" -mindepth 1 -type f -exec touch -d '2023-06-01 12:34:56.123456789' {} +
  touch -d '2021-02-03 04:05:06.5' "$local_dir/documents/2024/note-1.txt"
  find "$local_dir" -mindepth 1 -depth -type d -exec touch -d '2022-01-01 00:00:00' {} +
fi
[[ -d $local_dir ]] || { echo "demo: $local_dir is not a folder" >&2; exit 1; }

run_plughost=("$plughost" --plugin "$plugin" --params "$params_file")
[[ -n $endpoint ]] && run_plughost+=(--endpoint "$endpoint")
restored="$work/restored"

# Relative path, mode and modification time of every entry below a folder, in one order.
metadata() { (cd "$1" && find . -mindepth 1 \( -type f -o -type d \) -printf '%P %m %T@\n' | LC_ALL=C sort); }

step "Backing up $local_dir to $storage_path"
"${run_plughost[@]}" backup "$local_dir" "$storage_path"

step "Listing $storage_path (the manifest, .plughost-manifest, keeps modes, times and hashes)"
"${run_plughost[@]}" ls -R "$storage_path"

if ((generated)); then
  step "Changing the tree: one file edited, one added, one removed"
  printf 'note 2, edited\n' >>"$local_dir/documents/2024/note-2.txt"
  printf 'a new note\n' >"$local_dir/documents/2024/note-new.txt"
  rm "$local_dir/documents/2024/note-20.txt"
  step "What an incremental backup would do (--dry-run sends nothing)"
  "${run_plughost[@]}" backup --dry-run --delete "$local_dir" "$storage_path"
  step "Incremental backup: only what changed is sent, and the removed file deleted (--delete)"
  "${run_plughost[@]}" backup --delete "$local_dir" "$storage_path"
else
  step "Second backup of the unchanged tree: nothing but the manifest is sent"
  "${run_plughost[@]}" backup "$local_dir" "$storage_path"
fi

step "Restoring $storage_path into a new folder"
"${run_plughost[@]}" restore "$storage_path" "$restored"

step "Verifying the stored copy block by block, and against the manifest's hashes"
"${run_plughost[@]}" verify "$local_dir" "$storage_path"

step "Comparing the restored folder with the original: contents (diff -r), modes and times"
diff -r "$local_dir" "$restored"
echo "demo: diff -r finds no difference" >&2
if ! diff <(metadata "$local_dir") <(metadata "$restored") >"$work/metadata.diff"; then
  echo "demo: modes or modification times differ (original <, restored >):" >&2
  cat "$work/metadata.diff" >&2
  exit 1
fi
echo "demo: every file and folder has its mode and modification time back, e.g.:" >&2
metadata "$restored" | grep -E '^(documents/(hello\.sh|private\.txt|2024/note-1\.txt)|日本語) ' >&2 || true

step "Summary"
files=$(find "$local_dir" -type f | wc -l)
bytes=$(find "$local_dir" -type f -printf '%s\n' | awk '{ total += $1 } END { print total + 0 }')
echo "demo: OK: $files files ($bytes bytes) backed up to $storage_path through lib$plugin_name," >&2
echo "demo:     backed up again incrementally, restored with their modes and times, and" >&2
echo "demo:     verified byte for byte." >&2
