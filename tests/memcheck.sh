#!/usr/bin/env bash
# The native suite under valgrind memcheck. Each test program of the build runs once, whole (one
# process per test would cost valgrind's start-up a hundred times over), and so does each fuzz
# target over its seed corpus. Any memcheck error or leak fails the run.
# The default build's `memcheck` test runs it (`make memcheck`).
#   tests/memcheck.sh [build dir]      default: build/default
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
logs=$build/memcheck-logs
mkdir -p "$logs"

valgrind=(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full
  --errors-for-leak-kinds=definite,indirect --track-origins=yes -q)
failed=0
run() {
  local log=$logs/$(basename "$1").log
  if "${valgrind[@]}" "$@" >"$log" 2>&1; then
    echo "memcheck: clean: $*"
  else
    tail -n 80 "$log" >&2
    echo "memcheck: FAILED: $* (log: $log)" >&2
    failed=1
  fi
}

programs=$(find "$build/tests" -name '*_tests' -type f -executable | sort)
[ -n "$programs" ] || { echo "memcheck: no test programs under $build/tests" >&2; exit 1; }
for program in $programs; do run "$program"; done
for target in $(find "$build/tests/fuzz" -name '*_fuzz' -type f -executable | sort); do
  name=$(basename "$target")
  run "$target" "tests/fuzz/corpus/${name%_fuzz}"
done
exit $failed
