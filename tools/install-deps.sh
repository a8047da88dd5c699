#!/usr/bin/env bash
# Installs what the build and the tests need and the machine lacks. Debian packages only; as
# root it installs, otherwise it says what is missing.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || need+=(cmake)
have g++ || need+=(g++)
have clang++ || need+=(clang)
have lld-link || need+=(lld)
have llvm-dlltool || need+=(llvm)
have clang-format || need+=(clang-format)
[ -f /usr/lib/x86_64-linux-gnu/cmake/GTest/GTestConfig.cmake ] || need+=(libgtest-dev)
have valgrind || need+=(valgrind)
# libFuzzer's runtime, for make fuzz: it comes apart from clang.
[ -n "$(find /usr/lib/llvm-*/lib/clang -name 'libclang_rt.fuzzer-x86_64.a' 2>/dev/null)" ] ||
  need+=(libclang-rt-dev)

if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing ${need[*]}; run as root to install them" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

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
