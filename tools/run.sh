#!/usr/bin/env bash
# Installs what is missing, builds Vyrelo and starts it. Arguments go to the
# program (for example --host 127.0.0.1:8080 to use the stand-in service).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset release
cmake --build --preset release --target vyrelo vyrelo-standin
exec ./build/release/src/app/vyrelo "$@"
