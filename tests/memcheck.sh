#!/usr/bin/env bash
# The native suite under valgrind memcheck. Each test program of the build runs once, whole (one
# process per test would cost valgrind's start-up a hundred times over), and so does each fuzz
# target over its seed corpus. Any memcheck error or leak fails the run.
#   tests/memcheck.sh [build dir]      default: build/memcheck
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/memcheck}
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
for target in enumerate parse transfer; do
  run "$build/tests/fuzz/${target}_fuzz" "tests/fuzz/corpus/$target"
done
exit $failed
