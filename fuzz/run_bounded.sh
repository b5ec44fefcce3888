#!/usr/bin/env bash
# Builds every fuzz target and runs each for a bounded time (about a minute
# in all), after replaying its regression inputs; then runs the process
# harness on the whole-run seeds, regressions and a slice of the corpus that
# the in-process whole-run target has grown. Exits 1 on any finding.
#
# Environment: PROFCMP_FUZZ_SECONDS scales the time of every target (default
# 1; 10 gives ten minutes in all), PROFCMP_FUZZ_BUILD the build directory.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${PROFCMP_FUZZ_BUILD:-$root/build-fuzz}
export PROFCMP_FUZZ_BUILD=$build
scale=${PROFCMP_FUZZ_SECONDS:-1}

"$here/build.sh" || { echo "run_bounded.sh: the fuzz build failed" >&2; exit 1; }

mkdir -p "$build/corpus" "$build/artifacts" "$build/logs"
findings=0

# target seconds max_len
targets=(
  "fuzz_parse_integer 10 256"
  "fuzz_parse_real 15 512"
  "fuzz_results_record 12 12000"
  "fuzz_whole_run 15 12000"
  "fuzz_plan_vs_loop 12 512"
  "fuzz_profkit_read 15 12000"
  "fuzz_profkit_write 15 600"
)

for entry in "${targets[@]}"; do
  read -r target seconds max_len <<< "$entry"
  binary="$build/targets/$target"
  log="$build/logs/$target.log"
  work="$build/corpus/$target"
  mkdir -p "$work"

  regressions=("$here/regressions/$target"/*)
  if [[ -e ${regressions[0]} ]]; then
    if ! "$binary" -timeout=10 "${regressions[@]}" > "$log.regressions" 2>&1; then
      echo "run_bounded.sh: $target: a regression input fails again:" >&2
      grep -v '^INFO' "$log.regressions" | head -20 >&2
      findings=$((findings + 1))
      continue
    fi
  fi

  if "$binary" -max_total_time=$((seconds * scale)) -timeout=10 -max_len="$max_len" \
      -artifact_prefix="$build/artifacts/$target-" -print_final_stats=1 \
      "$work" "$here/corpus/$target" > "$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "run_bounded.sh: $target: ${runs:-?} inputs, no finding"
  else
    echo "run_bounded.sh: $target: finding (log $log):" >&2
    grep -v -E '^(INFO|#[0-9])' "$log" | head -30 >&2
    findings=$((findings + 1))
  fi
done

# The process harness: every seed and regression, and the newest inputs of
# the grown corpus.
mapfile -t grown < <(ls -t "$build/corpus/fuzz_whole_run" 2>/dev/null | head -n $((100 * scale)))
grown_paths=()
for name in "${grown[@]}"; do grown_paths+=("$build/corpus/fuzz_whole_run/$name"); done
if ! "$here/run_fuzz_whole.sh" -o "$build/artifacts" "$here/corpus/fuzz_whole_run" \
    "$here/regressions/fuzz_whole_run" "${grown_paths[@]}"; then
  findings=$((findings + 1))
fi

if ((findings > 0)); then
  echo "run_bounded.sh: $findings finding(s); inputs are in $build/artifacts" >&2
  exit 1
fi
echo "run_bounded.sh: no findings"
