#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libcurl4-openssl-dev libssl-dev libtinyxml2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  openssl python3 curl iproute2
)
if [[ "${PLUGINS_WITH_CLANG:-0}" == 1 ]]; then
  # libFuzzer and the sanitizer runtimes for the fuzz targets.
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}" >&2
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The local S3 server the tests and the demo run against, and the reference signer the
# signing tests compare with.
if ! command -v moto_server >/dev/null 2>&1; then
  echo "moto_server is not on PATH; the tests need it (pip install 'moto[server]')." >&2
  exit 1
fi
python3 -c "import botocore" 2>/dev/null || {
  echo "python3 cannot import botocore; the tests need it." >&2
  exit 1
}
