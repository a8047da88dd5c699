#!/usr/bin/env bash
# Installs what the build and the tests need and the machine lacks. Debian packages only; as
# root it installs, otherwise it says what is missing.
#
#   install-deps.sh [native | all]
#
# native: what the native build needs (make demo): a compiler, CMake and GoogleTest.
# all (the default): everything make test, make fuzz, make memcheck and make dist use as well:
# clang, lld and LLVM's tools for the DLL, the sanitizers' and libFuzzer's runtimes, valgrind,
# zip, and Wine with 32-bit support for the Windows suite.
set -euo pipefail

mode=${1:-all}
case $mode in
  native | all) ;;
  *)
    echo "usage: install-deps.sh [native | all]" >&2
    exit 2
    ;;
esac

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || need+=(cmake)
have g++ || need+=(g++)
[ -f /usr/lib/x86_64-linux-gnu/cmake/GTest/GTestConfig.cmake ] || need+=(libgtest-dev)
if [ "$mode" = all ]; then
  have clang++ || need+=(clang)
  have lld-link || need+=(lld)
  have llvm-dlltool || need+=(llvm)
  have clang-format || need+=(clang-format)
  have valgrind || need+=(valgrind)
  have zip || need+=(zip)
  have unzip || need+=(unzip)
  # libFuzzer's runtime, for make fuzz: it comes apart from clang.
  [ -n "$(find /usr/lib/llvm-*/lib/clang -name 'libclang_rt.fuzzer-x86_64.a' 2>/dev/null)" ] ||
    need+=(libclang-rt-dev)
fi

if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing ${need[*]}; run as root to install them" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
[ "$mode" = all ] || exit 0

# Wine with 32-bit support runs the Windows suite. Only root can install it; elsewhere the suite is
# skipped and says why.
if ! have wine || [ ! -x /usr/lib/wine/wine ]; then
  if [ "$(id -u)" -eq 0 ]; then
    dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine wine32:i386
  else
    echo "install-deps: Wine with 32-bit support is missing; run as root to install it," \
      "otherwise the Windows suite is skipped" >&2
  fi
fi
