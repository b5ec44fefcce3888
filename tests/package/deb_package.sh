#!/bin/sh
# Builds the Debian package of a build directory with cpack (into a scratch
# directory, so the build directory keeps no package), unpacks it with
# dpkg-deb and uses what it holds: the file list and the control fields, both
# programs' --version, profcmp on a copy of the bundled example (its report and
# script must equal the golden files), profkit's PNG of it (drawn by the
# renderer module, found beside the program where the package puts it) and
# man -l on both manual pages.
#
# usage: deb_package.sh BUILD_DIR SOURCE_DIR VERSION
# Exit status 77 (skipped) when a Debian packaging tool is missing;
# scripts/install-deps installs them all.
set -eu
build=$1
source=$2
version=$3

for tool in cpack dpkg-deb dpkg-shlibdeps man cmp; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/profcmp-deb-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack -G DEB"
  exit 1
fi
deb=$work/out/profcmp_${version}_$(dpkg --print-architecture).deb
if [ ! -f "$deb" ]; then
  ls -l "$work/out"
  echo "FAIL: no package $deb"
  exit 1
fi

# Control fields: the name, the version and the libraries dpkg-shlibdeps found
# (profkit is always a dynamic program, so libc6 is among them).
dpkg-deb -f "$deb" Package Version Maintainer Depends >"$work/control"
grep -qx 'Package: profcmp' "$work/control" || fail "package name: $(cat "$work/control")"
grep -qx "Version: $version" "$work/control" || fail "version: $(cat "$work/control")"
grep -q '^Maintainer: .*<.*@.*>$' "$work/control" || fail "maintainer: $(cat "$work/control")"
grep -q '^Depends: .*libc6 (>= ' "$work/control" || fail "dependencies: $(cat "$work/control")"
grep -q '^Depends: .*librsvg2-2 (>= ' "$work/control" || fail "dependencies: $(cat "$work/control")"

root=$work/root
dpkg-deb -x "$deb" "$root"
(cd "$root" && find . -type f | sort) >"$work/files"
printf '%s\n' ./usr/bin/profcmp ./usr/bin/profkit ./usr/lib/profkit/profkit-render.so \
  ./usr/share/doc/profcmp/README.md \
  ./usr/share/man/man1/profcmp.1 ./usr/share/man/man1/profkit.1 >"$work/files.expected"
cmp -s "$work/files" "$work/files.expected" || fail "files in the package: $(cat "$work/files")"
cmp -s "$root/usr/share/doc/profcmp/README.md" "$source/README.md" || fail "README differs"

for program in profcmp profkit; do
  got=$("$root/usr/bin/$program" --version 2>&1) || fail "$program --version ended with $?"
  [ "$got" = "$program $version" ] || fail "$program --version printed: $got"
done

mkdir "$work/run"
cp "$source/examples/P.PER" "$work/run/P.PER"
(cd "$work/run" && "$root/usr/bin/profcmp" >"$work/run.out" 2>&1) || fail "profcmp on the example ended with $?"
[ -s "$work/run.out" ] && fail "profcmp on the example wrote: $(cat "$work/run.out")"
for file in PRO sci; do
  cmp -s "$work/run/P.$file" "$source/tests/profcmp/data/example/NFV.$file" ||
    fail "P.$file of the example differs from tests/profcmp/data/example/NFV.$file"
done
"$root/usr/bin/profkit" check "$work/run/P.PER" >"$work/check.out" 2>&1 ||
  fail "profkit check on the example: $(cat "$work/check.out")"
"$root/usr/bin/profkit" export --format png -o "$work/run/P.png" "$work/run/P.PER" \
  >"$work/png.out" 2>&1 || fail "profkit export --format png on the example: $(cat "$work/png.out")"
[ "$(head -c 4 "$work/run/P.png" | od -An -c | tr -d ' ')" = "211PNG" ] ||
  fail "profkit export --format png wrote no PNG"

for program in profcmp profkit; do
  page=$root/usr/share/man/man1/$program.1
  if ! MANWIDTH=80 man -P cat -l "$page" >"$work/man.out" 2>"$work/man.err"; then
    fail "man -l $program.1: $(cat "$work/man.err")"
  fi
  [ -s "$work/man.err" ] && fail "man -l $program.1 warned: $(cat "$work/man.err")"
  grep -q "^ *$program - " "$work/man.out" || fail "man -l $program.1 shows no NAME line"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package $(basename "$deb"): $(grep '^Depends' "$work/control")"
