#!/usr/bin/env bash
# Installs the Debian packages Vyrelo needs to build, run and test.
# Idempotent: it asks apt only for what is missing and refreshes the package
# lists only when something has to be installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libicu-dev
  duktape-dev
  libcurl4-openssl-dev
  libssl-dev openssl
  libcpp-httplib-dev
  tinyproxy
  qt6-base-dev qt6-qpa-plugins
  fonts-wqy-microhei
  libgtest-dev libgmock-dev libbenchmark-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
