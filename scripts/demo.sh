#!/usr/bin/env bash
# Installs what is needed, builds, and runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
./build/movara demo "$@"
