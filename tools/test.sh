#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole suite.
#   bash tools/test.sh            the release build (with debug info)
#   bash tools/test.sh debug      the AddressSanitizer + UBSan build
# Under CI (CI=true) warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
if [ "${CI:-}" = "true" ]; then preset="ci-${preset}"; fi
bash tools/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
