#!/usr/bin/env bash
# Installs what is needed, builds and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j "$(nproc)" --timeout 600
# the picture-loader fuzz targets run for a few seconds when clang is there
if [ "${MOVARA_SKIP_FUZZ:-0}" != 1 ] && command -v clang++ >/dev/null 2>&1; then
  bash ../scripts/fuzz.sh 5
fi
