#!/usr/bin/env bash
# The main job, end to end: build the plug-ins and plughost, then back a sample tree up through
# libMardel, list it, restore it into a new folder and verify the copy byte for byte.
#
#   scripts/demo.sh
#       against a local S3 server (moto_server) that the script starts on a free loopback port
#       and stops again; the bucket is created with botocore, as a plug-in cannot create one.
#
#   scripts/demo.sh --params FILE [--plugin NAME] [--endpoint HOST] STORAGE_PATH [LOCAL_DIR]
#       against your own service: FILE holds the plug-in's parameters (Key=Value lines, values
#       may be @env:NAME); STORAGE_PATH is an existing bucket, optionally with a folder below it
#       (bucket/folder). LOCAL_DIR is backed up (default: a generated sample tree).
#       --plugin picks the plug-in (Mardel, Tresko, Pennat, Ruvast, Golmer; default Mardel).
#
# Environment: BUILD_DIR (default build), DEMO_BIG_MIB (size of the large sample file, default
# 210), KEEP_DEMO=1 keeps the work folder.
set -euo pipefail
cd "$(dirname "$0")/.."

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

step "Installing what is missing"
if [[ -x scripts/install-deps.sh ]]; then
  scripts/install-deps.sh
else
  echo "demo: scripts/install-deps.sh not found; assuming the build dependencies are installed" >&2
fi

step "Configuring and building into $build_dir/"
cmake -S . -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target plughost "$plugin_name"
plughost="$build_dir/tools/plughost/plughost"
plugin="$build_dir/profiles/lib$plugin_name.so"
[[ -x $plughost && -f $plugin ]] || { echo "demo: build did not produce $plughost and $plugin" >&2; exit 1; }

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
  cat >"$params_file" <<EOF_PARAMS
# libMardel against the local server; the credentials are dummies that moto accepts.
ServerName=$url
AccessKeyID=demo-access-key
SecretAccessKey=demo-secret-key
Region=us-east-1
EOF_PARAMS
  storage_path="$bucket/demo-backup"
fi

if [[ -z $local_dir ]]; then
  step "Generating a sample tree (small files, non-ASCII names, one file of $big_mib MiB)"
  local_dir="$work/sample"
  mkdir -p "$local_dir/documents/2024" "$local_dir/photos/été" "$local_dir/empty folder" "$local_dir/日本語"
  for i in $(seq 1 20); do
    printf 'note %d\n%s\n' "$i" "$(date -u +%FT%TZ)" >"$local_dir/documents/2024/note-$i.txt"
  done
  printf 'Grüße aus Köln\n' >"$local_dir/documents/grüße.txt"
  printf 'こんにちは\n' >"$local_dir/日本語/挨拶.txt"
  : >"$local_dir/documents/empty.txt"
  head -c 70000 /dev/urandom >"$local_dir/photos/été/plage.jpg"
  head -c $((big_mib * 1024 * 1024)) /dev/urandom >"$local_dir/photos/archive.bin"
  echo "demo: $(find "$local_dir" -type f | wc -l) files, $(du -sh "$local_dir" | cut -f1)" >&2
fi
[[ -d $local_dir ]] || { echo "demo: $local_dir is not a folder" >&2; exit 1; }

run_plughost=("$plughost" --plugin "$plugin" --params "$params_file")
[[ -n $endpoint ]] && run_plughost+=(--endpoint "$endpoint")
restored="$work/restored"

step "Backing up $local_dir to $storage_path"
"${run_plughost[@]}" backup "$local_dir" "$storage_path"

step "Listing $storage_path"
"${run_plughost[@]}" ls -R "$storage_path"

step "Restoring $storage_path into a new folder"
"${run_plughost[@]}" restore "$storage_path" "$restored"

step "Verifying the stored copy block by block"
"${run_plughost[@]}" verify "$local_dir" "$storage_path"

step "Comparing the restored folder with the original (diff -r)"
diff -r "$local_dir" "$restored"
echo "demo: diff -r finds no difference" >&2

step "Summary"
files=$(find "$local_dir" -type f | wc -l)
bytes=$(du -sb "$local_dir" | cut -f1)
echo "demo: OK: $files files ($bytes bytes) backed up to $storage_path through lib$plugin_name," >&2
echo "demo:     restored and verified byte for byte." >&2
