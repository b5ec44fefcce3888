#!/usr/bin/env bash
# Reading a long CSV table of 20 methods x 1,000,000 problems (20 M rows,
# about 600 MB): `profkit export --input-format csv --format csv` against
# mawk summing the cost column of the same file, run in turn, with the wall
# time, the CPU time (user and system) and the peak resident memory of each
# and the load average beside them. On a shared machine the CPU time is the
# steadier figure: the scheduler shares the cores between sessions, not
# threads. The table is generated into a temporary directory and removed
# afterwards.
#
#   bench/long_csv_bench.sh BUILD_DIR [RUNS]
#
# Needs mawk and GNU time (/usr/bin/time); says so and exits 77 without them.
set -euo pipefail
build=${1:?usage: bench/long_csv_bench.sh BUILD_DIR [RUNS]}
runs=${2:-3}
profkit=$build/profkit/profkit
for tool in mawk /usr/bin/time "$profkit"; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "long_csv_bench: $tool is not installed (mawk: apt-get install mawk; time: apt-get install time)" >&2
    exit 77
  fi
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
table=$dir/long.csv

# Costs with two significant digits (4.6e+01), 3 % failures, rows method by
# method, every method the problems in the same order.
mawk -v methods=20 -v problems=1000000 'BEGIN {
  srand(18); print "solver,problem,status,cost"
  for (m = 1; m <= methods; ++m)
    for (p = 1; p <= problems; ++p)
      printf "solver%d,p%d,%s,%.1e\n", m, p, (rand() < 0.03 ? "failed" : "solved"), 1 + 999 * rand() * rand()
}' > "$table"
bytes=$(stat -c %s "$table")
echo "table: $(wc -l < "$table") lines, $bytes bytes"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

measure() {  # label command...: wall, user and system seconds, peak RSS (KiB) of one run
  local label=$1
  shift
  /usr/bin/time -f "$label %e s wall, %U s user, %S s system, %M KiB peak RSS" "$@" > /dev/null \
    2>> "$dir/times"
  echo "  load average: $(cut -d' ' -f1-3 /proc/loadavg)" >> "$dir/times"
}
for ((r = 1; r <= runs; ++r)); do
  measure profkit "$profkit" export --input-format csv --format csv "$table"
  measure mawk mawk -F, '{s += $4} END {print s}' "$table"
done
cat "$dir/times"
# The parse part alone, libcsv against memchr splitting, where it is built.
if [[ -x ${CSV_SPLIT:-$build/bench/csv_split} ]]; then
  /usr/bin/time -f "csv_split (4 passes) %e s %M KiB" "${CSV_SPLIT:-$build/bench/csv_split}" "$table"
fi
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
