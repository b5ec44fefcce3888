#!/usr/bin/env bash
# Runs the built profcmp as a process on P.PER inputs and checks the contract
# of a run on every one of them:
#   - the exit status is 0 or the number of a catalogue message;
#   - after 0, nothing on stdout or stderr;
#   - otherwise stderr begins with the diagnostic line
#     "rtdiag: severe (N): <text>, unit U, file F" + CR LF for that N, perhaps
#     after one platform-error line "rtdiag: <text>" + CR LF;
#   - P.PER is byte for byte what it was;
#   - no sanitizer report, no hang (each run is killed after a timeout).
# The arguments of a run follow from the input's size, as in the in-process
# target (run_arguments.h keeps the same table).
#
# Usage: run_fuzz_whole.sh [-b profcmp] [-t seconds] [-n max-inputs] [-o findings-dir] input-or-dir...
# Exits 1 when any input breaks the contract; the offending inputs are copied
# to the findings directory.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
binary=${PROFCMP_FUZZ_BUILD:-$root/build-fuzz}/tool/profcmp
timeout_seconds=20
max_inputs=0
findings=${PROFCMP_FUZZ_BUILD:-$root/build-fuzz}/artifacts
while getopts "b:t:n:o:" option; do
  case $option in
    b) binary=$OPTARG ;;
    t) timeout_seconds=$OPTARG ;;
    n) max_inputs=$OPTARG ;;
    o) findings=$OPTARG ;;
    *) echo "usage: $0 [-b profcmp] [-t seconds] [-n max-inputs] [-o findings-dir] input-or-dir..." >&2
       exit 2 ;;
  esac
done
shift $((OPTIND - 1))
if [[ ! -x $binary ]]; then
  echo "run_fuzz_whole.sh: no profcmp at $binary (run fuzz/build.sh first)" >&2
  exit 2
fi
binary=$(realpath "$binary")
mkdir -p "$findings"

# Exit statuses a run may end with: a normal end and the severe messages.
catalogue=" 0 9 10 22 24 28 29 30 38 39 42 43 47 64 66 120 121 "
# Arguments by input size modulo 7, as in run_arguments.h.
arguments=("" "NIT" "NFG 3." "NCGR 0.5" "TIME 5" "nfv" "NFV 1.25")

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:halt_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/profcmp-whole-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

inputs=()
for source in "$@"; do
  if [[ -d $source ]]; then
    while IFS= read -r -d '' file; do inputs+=("$file"); done \
      < <(find "$source" -maxdepth 1 -type f -print0 | sort -z)
  elif [[ -f $source ]]; then
    inputs+=("$source")
  fi
done
if ((max_inputs > 0 && ${#inputs[@]} > max_inputs)); then
  inputs=("${inputs[@]:0:max_inputs}")
fi

checked=0
broken=0
report() {  # input, reason
  broken=$((broken + 1))
  local copy
  copy="$findings/whole-run-$(sha1sum < "$1" | cut -c1-40)"
  cp "$1" "$copy"
  echo "run_fuzz_whole.sh: $2: $1 (copied to $copy)" >&2
  sed -n '1,20p' "$scratch/err" | cut -c1-300 >&2
}

for input in "${inputs[@]}"; do
  dir="$scratch/run"
  rm -rf "$dir"
  mkdir "$dir"
  cp "$input" "$dir/P.PER"
  size=$(stat -c %s "$input")
  read -r -a args <<< "${arguments[size % 7]}"
  (cd "$dir" && timeout -s KILL "$timeout_seconds" "$binary" "${args[@]}" \
    > "$scratch/out" 2> "$scratch/err")
  status=$?
  checked=$((checked + 1))

  if ((status == 137)); then report "$input" "no end within ${timeout_seconds}s"; continue; fi
  if grep -q -a -E "Sanitizer|runtime error:" "$scratch/err"; then
    report "$input" "sanitizer report"
    continue
  fi
  if [[ $catalogue != *" $status "* ]]; then
    report "$input" "exit status $status is not in the catalogue"
    continue
  fi
  if [[ -s $scratch/out ]]; then report "$input" "output on stdout"; continue; fi
  if ((status == 0)); then
    if [[ -s $scratch/err ]]; then report "$input" "diagnostics after a normal end"; continue; fi
  else
    # The severe line is the first line, or the second after a platform-error line.
    line=$(head -n 1 "$scratch/err")
    if [[ $line != "rtdiag: severe ("* ]]; then line=$(sed -n 2p "$scratch/err"); fi
    cr=$'\r'
    pattern="^rtdiag: severe \\($status\\): [^$cr]*, unit -?[0-9]+, file [^$cr]*$cr\$"
    if ! [[ $line =~ $pattern ]]; then
      report "$input" "no well-formed diagnostic line for status $status"
      continue
    fi
  fi
  if ! cmp -s "$input" "$dir/P.PER"; then report "$input" "P.PER changed"; continue; fi
done

echo "run_fuzz_whole.sh: $checked runs checked, $broken broke the contract"
((broken == 0))
