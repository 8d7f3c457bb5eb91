#!/usr/bin/env bash
# Builds the Debian package (cpack -G DEB) and checks it as an operator would meet it: installed
# with apt-get, with the build folder moved out of the way so that nothing installed can lean on
# it, and then removed again.
#
#   scripts/package.sh
#
# Checks, each failing the run with a message of its own:
#   - no installed file's RUNPATH or RPATH names the build or source folder; the plug-ins carry
#     none at all (libTorvik is the host's); plughost's points at its private folder only
#   - the installed headers compile (with the host support library's headers beside them)
#   - as root, in a network namespace with only loopback: the installed plughost finds each of
#     the five plug-ins by name, without LD_LIBRARY_PATH; `plughost --version` names the
#     package's version; one file put and got back through libMardel against a moto_server on a
#     free loopback port comes back byte for byte
# The package is removed on every way out, and the build folder moved back.
#
# Environment: BUILD_DIR (default build) is reused when it has been configured, as CI's earlier
# steps leave it; otherwise BUILD_DIR, or build-package/ when it is not set, is configured
# without the tests.
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$0")/.."

package=s3-storage-plugins
plugins=(Tresko Mardel Pennat Ruvast Golmer)

fail() {
  echo "package: FAILED: $*" >&2
  exit 1
}

# Inside the namespace (run by the part below): the installed plughost against a local server.
# $2 is the package's version, $3 the plug-ins' folder, $4 a folder to work in.
if [[ ${1:-} == --run-installed ]]; then
  version=$2
  plugin_dir=$3
  work=$4
  server_pid=""
  # shellcheck disable=SC2317  # run by the EXIT trap
  stop_server() {
    if [[ -n $server_pid ]] && kill -0 "$server_pid" 2>/dev/null; then
      kill "$server_pid" 2>/dev/null || true
      wait "$server_pid" 2>/dev/null || true
    fi
  }
  trap stop_server EXIT
  cd "$work"  # no plug-in here: a name must be found in the installed folder
  unset LD_LIBRARY_PATH PLUGHOST_PLUGIN_PATH

  installed=$(command -v plughost) || fail "plughost is not on PATH after installing"
  [[ $installed == /usr/bin/plughost ]] || fail "plughost found at $installed, not /usr/bin/plughost"
  shown=$(plughost --version)
  [[ $shown == "plughost $version" ]] || fail "plughost --version says '$shown', expected 'plughost $version'"
  echo "package: plughost --version: $shown" >&2

  for plugin in "${plugins[@]}"; do
    info=$(plughost info "$plugin") || fail "plughost info $plugin failed"
    grep -qx "Plug-in: *$plugin_dir/lib$plugin.so" <<<"$info" ||
      fail "plughost info $plugin did not load $plugin_dir/lib$plugin.so:"$'\n'"$info"
  done
  echo "package: plughost info finds ${plugins[*]} in $plugin_dir" >&2

  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  url="http://127.0.0.1:$port"
  moto_server -H 127.0.0.1 -p "$port" >"$work/moto.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 1 100); do
    python3 -c "import urllib.request; urllib.request.urlopen('$url/moto-api/', timeout=1)" 2>/dev/null && break
    kill -0 "$server_pid" 2>/dev/null || { cat "$work/moto.log" >&2; fail "moto_server did not start"; }
    sleep 0.1
  done
  python3 - "$url" <<'PY'
import sys
import botocore.session
botocore.session.get_session().create_client(
    "s3", endpoint_url=sys.argv[1], region_name="us-east-1",
    aws_access_key_id="package-access-key",
    aws_secret_access_key="package-secret-key").create_bucket(Bucket="package-check")
PY
  export PACKAGE_SECRET_KEY=package-secret-key
  run_plughost=(plughost -q --progress none -P Mardel -p "ServerName=$url"
                -p AccessKeyID=package-access-key -p SecretAccessKey=@env:PACKAGE_SECRET_KEY
                -p Region=us-east-1)
  head -c $((3 * 1024 * 1024 + 1)) /dev/urandom >"$work/original.bin"
  "${run_plughost[@]}" put "$work/original.bin" package-check/original.bin ||
    fail "plughost put through the installed libMardel failed"
  "${run_plughost[@]}" get package-check/original.bin "$work/restored.bin" ||
    fail "plughost get through the installed libMardel failed"
  cmp "$work/original.bin" "$work/restored.bin" || fail "the file got back differs from the one put"
  echo "package: put and got back $(stat -c %s "$work/original.bin") bytes through the installed" \
       "libMardel against moto_server at $url: identical" >&2
  exit 0
fi

[[ $(id -u) -eq 0 ]] || fail "run as root: it installs the package with apt-get and uses a network namespace"
started=$SECONDS

# What the build and the checks need (apt-get update first, only when something is missing).
scripts/install-deps.sh
for tool in readelf dpkg-shlibdeps unshare; do
  command -v "$tool" >/dev/null || fail "$tool is missing after installing the dependencies"
done

if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
  fail "$package is already installed; remove it first (apt-get purge $package)"
fi

build_dir=${BUILD_DIR:-build}
if [[ -f $build_dir/CMakeCache.txt ]]; then
  echo "package: reusing the build folder $build_dir" >&2
  cmake -S . -B "$build_dir" >/dev/null
else
  build_dir=${BUILD_DIR:-build-package}
  echo "package: configuring $build_dir (without the tests)" >&2
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
fi
build_dir=$(cd "$build_dir" && pwd)
source_dir=$(pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/package-check.XXXXXX")
chmod 755 "$work"  # apt-get reads the package as its own unprivileged user
moved=""
installed=0
cleanup() {
  local status=$?
  if ((installed)); then
    if apt-get purge -y -qq "$package" >/dev/null; then
      echo "package: $package removed" >&2
    else
      echo "package: could not remove $package: remove it by hand (apt-get purge $package)" >&2
      status=1
    fi
  fi
  if [[ -n $moved ]]; then
    if [[ ! -e $build_dir ]] && mv "$moved" "$build_dir"; then
      echo "package: $build_dir moved back" >&2
    else
      echo "package: could not move $moved back to $build_dir" >&2
      status=1
    fi
  fi
  rm -rf "$work"
  if ((status == 0)); then
    echo "package: OK ($((SECONDS - started)) s)" >&2
  else
    echo "package: FAILED (exit status $status)" >&2
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# cpack installs what `all` builds, which CI's test step has built already.
cmake --build "$build_dir" -j2 >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log" >&2; fail "the build failed"; }
(cd "$build_dir" && cpack -G DEB -B "$work/cpack") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; }
debs=("$work"/cpack/"$package"_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single $package package"
deb=$work/$(basename "${debs[0]}")
mv "${debs[0]}" "$deb"
chmod 644 "$deb"
rm -rf "$work/cpack"
version=$(dpkg-deb -f "$deb" Version)
echo "package: built $(basename "$deb"): $(dpkg-deb -f "$deb" Depends)" >&2

moved="$build_dir.moved-away"
[[ ! -e $moved ]] || { moved=""; fail "$build_dir.moved-away is in the way"; }
mv "$build_dir" "$moved"
echo "package: build folder moved to $moved while the package is checked" >&2

apt-get update -qq || fail "apt-get update failed"
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt-get install $deb failed"; }
echo "package: installed with apt-get" >&2

# Where the package put the plug-ins and plughost's private folder (lib/ or lib/<arch>/, as
# GNUInstallDirs chose when the build folder was configured).
plugin_dir=$(dpkg -L "$package" | sed -n 's|/libMardel\.so$||p')
private_dir=$(dpkg -L "$package" | sed -n 's|/libTorvik\.so$||p')
[[ $plugin_dir == /usr/lib*/"$package"/plugins ]] || fail "the plug-ins are in '$plugin_dir'"
[[ $private_dir == /usr/lib*/"$package"/plughost ]] || fail "libTorvik is in '$private_dir'"
# shellcheck disable=SC2016  # $ORIGIN is the loader's
plughost_runpath='$ORIGIN/'$(realpath -m --relative-to=/usr/bin "$private_dir")

# Run paths of everything installed.
elf_files=0
while IFS= read -r file; do
  [[ -f $file && ! -L $file && $(head -c 4 "$file" | od -An -c | tr -d ' ') == '177ELF' ]] || continue
  elf_files=$((elf_files + 1))
  paths=$(readelf -d "$file" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p')
  for folder in "$build_dir" "$source_dir"; do
    [[ $paths != *"$folder"* ]] || fail "$file has the run path '$paths', which names $folder"
  done
  case $file in
    "$plugin_dir"/*.so | "$private_dir"/*.so)
      [[ -z $paths ]] || fail "$file has the run path '$paths'; a library must carry none" ;;
    /usr/bin/plughost)
      [[ $paths == "$plughost_runpath" ]] ||
        fail "plughost has the run path '$paths', not its private folder ($plughost_runpath)" ;;
    *) fail "$file: an ELF file in a place the package does not use" ;;
  esac
done < <(dpkg -L "$package")
((elf_files == 7)) || fail "expected 7 ELF files (plughost, libTorvik, five plug-ins), found $elf_files"
for plugin in "${plugins[@]}"; do
  readelf -d "$plugin_dir/lib$plugin.so" | grep -q 'NEEDED.*\[libTorvik\.so\]' ||
    fail "lib$plugin.so does not name libTorvik.so as needed"
done
echo "package: run paths: none in the six libraries, plughost's is its private folder only" >&2

printf '#include "host/Export.h"\n#include "host/HostInterfaces.h"\n' |
  g++ -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I"/usr/include/$package" -Itorvik/include -x c++ - ||
  fail "the installed headers do not compile"
echo "package: the installed headers compile" >&2

# shellcheck disable=SC2016  # expanded by the inner shell
unshare -n sh -c 'ip link set lo up && exec "$0" "$@"' \
  "$self" --run-installed "$version" "$plugin_dir" "$work" || fail "the installed plughost failed its run"
