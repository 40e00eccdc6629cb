#!/usr/bin/env bash
# Installs the Debian packages Skyloom needs and builds it into build/.
set -euo pipefail
cd "$(dirname "$0")"

packages=(build-essential cmake ccache pkg-config
          libfmt-dev nlohmann-json3-dev libmsgsl-dev libpugixml-dev libsodium-dev
          libcurl4-openssl-dev libssl-dev libzip-dev libwxgtk3.2-dev
          libgtest-dev libgmock-dev libbenchmark-dev
          xvfb xauth python3)
# SKYLOOM_FUZZ=1: clang and its libFuzzer runtime for the fuzz targets (tests/fuzz/ci.sh).
if [ "${SKYLOOM_FUZZ:-0}" = 1 ]; then
  packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build_dir=${SKYLOOM_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${SKYLOOM_BUILD_TYPE:-RelWithDebInfo} ${SKYLOOM_CMAKE_ARGS:-}
cmake --build "$build_dir" -j "$(nproc)"
