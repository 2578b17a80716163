#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for N seconds
# (default 60): scripts/fuzz.sh [SECONDS] [TARGET-NAME-PART]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
ONLY=${2:-}
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not installed, skipped"
  exit 0
fi
if [ ! -f build-fuzz/build.ninja ]; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DMOVARA_FUZZ=ON -DMOVARA_TESTS=OFF -DMOVARA_BENCH=OFF >/dev/null
fi
cmake --build build-fuzz --target fuzz_all -j "$(nproc)"
for f in build-fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  case "$f" in *"$ONLY"*) ;; *) continue ;; esac
  corpus="build-fuzz/corpus-$(basename "$f")"
  mkdir -p "$corpus"
  echo "fuzz: $(basename "$f") for ${SECONDS_EACH}s"
  "$f" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -max_len=65536 "$corpus" 2>&1 | tail -n 2
done
