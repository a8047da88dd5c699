# The two commands of the README: `make demo` and `make test`. Everything else is a piece of them.
JOBS ?= 2

.PHONY: all test demo deps native asan windows bench clean tsan fuzz memcheck demo-windows

all: native

test: deps native asan tsan windows

deps:
	@bash tools/install-deps.sh

native:
	cmake --preset default
	cmake --build --preset default -j $(JOBS)
	ctest --preset default -j $(JOBS)

asan:
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

# The suite under ThreadSanitizer, threads tests included.
tsan:
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

# Every libFuzzer target for FUZZ_SECONDS each, from its seeds; fails on any finding.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) bash tests/fuzz/run.sh

# The native suite under valgrind memcheck; fails on any error or leak.
memcheck: deps
	cmake --preset memcheck
	cmake --build --preset memcheck -j $(JOBS)
	bash tests/memcheck.sh build/memcheck

# The README's first command: usb1284-probe on its built-in simulated machine.
demo: deps
	@echo "building usb1284-probe..."
	@cmake --preset default > /dev/null
	@cmake --build --preset default --target usb1284-probe -j $(JOBS) > /dev/null
	@echo
	@bash tools/probe/demo.sh build/default/tools/probe/usb1284-probe

# The DLL and its suite under Wine. Without Wine the DLL is still built and the suite says why it
# is skipped.
windows:
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS)
	ctest --preset windows

# The port's Write and Read against a hand-written overlapped loop, under Wine: over pipes, and
# through the virtual device's loopback (installed for the run, removed after it).
bench:
	cmake --preset windows > /dev/null
	cmake --build --preset windows -j $(JOBS) > /dev/null
	@bash tests/device/with-devices.sh build/windows usb1284_bench.exe usb1284.dll

# usb1284-probe.exe under Wine on the virtual devices: list, then a chat with the virtual modem.
demo-windows: deps
	@echo "building the windows preset..."
	@cmake --preset windows > /dev/null
	@cmake --build --preset windows -j $(JOBS) > /dev/null
	@echo
	@bash tests/device/demo-windows.sh build/windows

clean:
	rm -rf build
