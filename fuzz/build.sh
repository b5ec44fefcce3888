#!/usr/bin/env bash
# Builds the libFuzzer targets (clang++, -fsanitize=fuzzer,address,undefined)
# and a profcmp built by clang with AddressSanitizer and UndefinedBehaviorSanitizer
# for the process harness. Output goes to $PROFCMP_FUZZ_BUILD (default:
# build-fuzz at the root of the tree):
#   <build>/targets/fuzz_*    the fuzz targets
#   <build>/tool/profcmp      the sanitized tool
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${PROFCMP_FUZZ_BUILD:-$root/build-fuzz}
jobs=${PROFCMP_FUZZ_JOBS:-2}

if ! command -v clang++ >/dev/null; then
  echo "fuzz/build.sh: clang++ is not installed (Debian: apt-get install clang)" >&2
  exit 2
fi
runtime_dir=$(clang++ --print-runtime-dir 2>/dev/null || true)
if ! ls "$runtime_dir"/libclang_rt.fuzzer*.a >/dev/null 2>&1; then
  echo "fuzz/build.sh: clang's libFuzzer runtime is missing (Debian: apt-get install libclang-rt-dev)" >&2
  exit 2
fi

cmake -S "$root/fuzz" -B "$build/targets" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build/targets" -j "$jobs"
cmake -S "$root" -B "$build/tool" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DPROFCMP_SANITIZE=ON -DPROFCMP_TESTS=OFF -DPROFCMP_BENCH=OFF >/dev/null
cmake --build "$build/tool" -j "$jobs" --target profcmp
