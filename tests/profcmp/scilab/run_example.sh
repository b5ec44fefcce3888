#!/bin/sh
# Runs profcmp on the bundled example table, then runs the P.sci it wrote in
# Scilab under a virtual display, and checks that the script ends without an
# error and exports the figure as P.eps.
#
# Usage: run_example.sh PROFCMP_BINARY EXAMPLE_TABLE
# Exits 77 (reported by CTest as skipped) when scilab or xvfb-run is missing.
# With PROFCMP_SCILAB_KEEP set to a directory, P.PER, P.PRO, P.sci and P.eps
# are copied there for a look at the plot.
set -u

skip=77
scilab_seconds=240

profcmp=${1:?usage: run_example.sh PROFCMP_BINARY EXAMPLE_TABLE}
table=${2:?usage: run_example.sh PROFCMP_BINARY EXAMPLE_TABLE}

# The script works in a temporary directory: make the paths absolute first.
case $profcmp in /*) ;; *) profcmp=$(pwd)/$profcmp ;; esac

if ! command -v scilab >/dev/null 2>&1; then
  echo "SKIPPED: scilab is not installed (apt-get install scilab xvfb to run this test)"
  exit "$skip"
fi
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "SKIPPED: xvfb-run is not installed (apt-get install xvfb to run this test)"
  exit "$skip"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/profcmp-scilab-XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT INT TERM

fail() {
  echo "FAILED: $*"
  if [ -f "$work/scilab.log" ]; then
    echo "--- Scilab output (Java rendering traces left out) ---"
    grep -v -e '^[[:space:]]*at ' -e '^[[:space:]]*\.\.\. [0-9]* more' "$work/scilab.log" | tail -n 40
  fi
  exit 1
}

if [ -f "$table" ]; then
  cp "$table" "$work/P.PER" || exit 1
else
  # No bundled table: two methods on three problems, counts in columns 23 to 72.
  printf '%s\r\n' \
    'METHOD  FIRST                  0         0         0         0         0' \
    '  P001                        10        12        12         3         5' \
    '  P002                        30        41        41         7         9' \
    '  P003                        25        30        30         4         8' \
    'METHOD  SECOND                 0         0         0         0         0' \
    '  P001                        20        22        22         5         4' \
    '  P002                        15        19        19         3        11' \
    '  P003                        25        35        35         6         8' \
    >"$work/P.PER"
fi

cd "$work" || exit 1
"$profcmp" </dev/null >profcmp.out 2>&1
status=$?
if [ "$status" -ne 0 ]; then
  cat profcmp.out
  fail "profcmp exited with status $status"
fi
[ -s P.sci ] || fail "profcmp wrote no P.sci"

# -quit ends Scilab after the -e text in every case; the try block turns an
# error anywhere in the script into exit status 1. timeout makes sure a Scilab
# that waits for something never hangs the test.
timeout -k 10 "$scilab_seconds" xvfb-run -a scilab -nw -quit \
  -e "try; exec('P.sci', -1); catch; disp(lasterror()); exit(1); end; exit(0);" \
  </dev/null >scilab.log 2>&1
status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  fail "Scilab did not finish within $scilab_seconds seconds"
fi
[ "$status" -eq 0 ] || fail "Scilab stopped with status $status while running P.sci"
[ -s P.eps ] || fail "Scilab ran P.sci but exported no P.eps"
head -c 11 P.eps | grep -q '^%!PS-Adobe' || fail "P.eps is not a PostScript file"
grep -q "Performance profiles for" P.eps || fail "P.eps has no title"

if [ -n "${PROFCMP_SCILAB_KEEP:-}" ]; then
  mkdir -p "$PROFCMP_SCILAB_KEEP" && cp P.PER P.PRO P.sci P.eps "$PROFCMP_SCILAB_KEEP"/ ||
    fail "cannot copy the files to $PROFCMP_SCILAB_KEEP"
fi
echo "P.sci ran in Scilab without error and exported P.eps ($(wc -c <P.eps) bytes)"
