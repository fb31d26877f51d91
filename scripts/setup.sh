#!/usr/bin/env bash
# Installs the Debian packages the build and the demo need (only those missing), then
# configures and builds into the given folder (only configures with
# VELKLK_SETUP_NO_BUILD=1).
# usage: scripts/setup.sh BUILD_DIR [extra cmake arguments...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
shift || true

packages=(g++ cmake ninja-build pkg-config libsqlite3-dev libpugixml-dev libcli11-dev
          nlohmann-json3-dev libfmt-dev libicu-dev libgtest-dev libgmock-dev libbenchmark-dev
          librapidcheck-dev clang libclang-rt-14-dev libfuzzer-14-dev python3
          qt6-base-dev qt6-translations-l10n fonts-dejavu-core libcurl4-openssl-dev radicale
          xandikos openssl tzdata vdirsyncer khard khal todoman
          libical-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi

cmake -S "$here" -B "$build" -G Ninja "$@" >/dev/null
[ "${VELKLK_SETUP_NO_BUILD:-0}" = 1 ] || cmake --build "$build"
