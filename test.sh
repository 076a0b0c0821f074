#!/usr/bin/env bash
# Builds everything when needed and runs every test: the core and widget
# tests of TarnPilot, again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the ZANBIT32 tests under Wine. The
# records tests get a throw-away PostgreSQL server of their own.
set -uo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/ensure-packages.sh" test || exit 1
jobs=$(nproc 2>/dev/null || echo 2)

configure() {  # build dir, cmake options...
  local dir=$1; shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$root" -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 \
      || { cat "$dir.configure.log"; return 1; }
  fi
}

mkdir -p "$root/build"
status=0
configure "$root/build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=ON -DTARN_BUILD_ZANBIT32=OFF || exit 1
configure "$root/build/all" -DCMAKE_BUILD_TYPE=RelWithDebInfo || exit 1
cmake --build "$root/build/sanitize" -j "$jobs" || exit 1
cmake --build "$root/build/all" -j "$jobs" || exit 1

# The records tests' own PostgreSQL server, up for both test runs and
# stopped on any way out.
pg_env=$("$root/scripts/test-postgres.sh" start) || exit 1
eval "$pg_env"
trap '"$root/scripts/test-postgres.sh" stop "$TARN_TEST_PGDIR"' EXIT
trap 'exit 130' INT TERM

echo "== TarnPilot tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build/sanitize" --output-on-failure -j "$jobs" || status=1

echo "== All tests: TarnPilot, and ZANBIT32 (i686 and x86_64) under Wine"
ctest --test-dir "$root/build/all" --output-on-failure -j "$jobs" || status=1
exit $status
