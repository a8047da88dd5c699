# The two commands of the README: `make demo` and `make test`. Everything else is a piece of them.
# Each piece is a workflow preset of CMakePresets.json: configure, build, test.
JOBS ?= 2
export CMAKE_BUILD_PARALLEL_LEVEL := $(JOBS)
export CTEST_PARALLEL_LEVEL := $(JOBS)

.PHONY: all test demo deps deps-native native asan windows windows-vm demo-windows-vm bench clean tsan fuzz memcheck dist demo-windows

all: native

test: deps native asan tsan windows

deps:
	@bash tools/install-deps.sh all

# Only what the native build needs: no Wine and no LLVM.
deps-native:
	@bash tools/install-deps.sh native

native:
	cmake --workflow --preset default

asan:
	cmake --workflow --preset asan

# The suite under ThreadSanitizer, threads tests included.
tsan:
	cmake --workflow --preset tsan

# Every libFuzzer target for FUZZ_SECONDS each, from its seeds; fails on any finding.
FUZZ_SECONDS ?= 60
export FUZZ_SECONDS
fuzz: deps
	cmake --workflow --preset fuzz

# The default build's test programs under valgrind memcheck; fails on any error or leak.
memcheck: deps
	cmake --workflow --preset memcheck

# The README's first command: usb1284-probe on its built-in simulated machine.
demo: deps-native
	@echo "building usb1284-probe..."
	@cmake --preset default > /dev/null
	@cmake --build --preset demo > /dev/null
	@echo
	@bash tools/probe/demo.sh build/default/tools/probe/usb1284-probe

# The DLL, its image check, and its suite under Wine. Without Wine the DLL is still built and
# checked, and the Wine suite says why it is skipped.
windows:
	cmake --workflow --preset windows

# The same suite, device group included, in an emulated machine (tools/wine-vm/), for machines
# that cannot execute 32-bit programs, where Wine cannot start and `make windows` skips the suite.
# The machine is built once, into build/wine-vm (about 7 minutes); the suite then takes about 8.
windows-vm: deps
	cmake --preset windows > /dev/null
	cmake --build --preset windows > /dev/null
	@[ -f build/wine-vm/rootfs.ext4 ] || bash tools/wine-vm/build.sh build/wine-vm
	@bash tools/wine-vm/run.sh build/wine-vm . 'ctest --preset windows --output-on-failure' build/windows

# The port's Write and Read against a hand-written overlapped loop, under Wine: over pipes, and
# through the virtual device's loopback (installed for the run, removed after it).
bench:
	cmake --preset windows > /dev/null
	cmake --build --preset windows > /dev/null
	@bash tests/device/with-devices.sh build/windows usb1284_bench.exe usb1284.dll

# usb1284-probe.exe under Wine on the virtual devices: list, then a chat with the virtual modem.
demo-windows: deps
	@echo "building the windows preset..."
	@cmake --preset windows > /dev/null
	@cmake --build --preset windows > /dev/null
	@echo
	@bash tests/device/demo-windows.sh build/windows

# The same demo in the emulated machine of `make windows-vm`.
demo-windows-vm: deps
	@cmake --preset windows > /dev/null
	@cmake --build --preset windows > /dev/null
	@[ -f build/wine-vm/rootfs.ext4 ] || bash tools/wine-vm/build.sh build/wine-vm
	@bash tools/wine-vm/run.sh build/wine-vm . 'bash tests/device/demo-windows.sh build/windows' build/windows

# The integrator's kit: build/dist/usb1284-<version>-win32.zip.
dist: deps
	cmake --preset windows
	cmake --build --preset windows --target dist -j $(JOBS)

clean:
	rm -rf build
