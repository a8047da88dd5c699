# The two commands of the README: `make demo` and `make test`. Everything else is a piece of them.
JOBS ?= 2

.PHONY: all test demo deps native asan windows clean

all: native

test: deps native asan windows

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

# The README's first command: usb1284-probe on its built-in simulated machine.
demo: deps
	@echo "building usb1284-probe..."
	@cmake --preset default > /dev/null
	@cmake --build --preset default --target usb1284-probe -j $(JOBS) > /dev/null
	@echo
	@bash tools/probe/demo.sh build/default/tools/probe/usb1284-probe

# The DLL and its suite under Wine.
windows:
	@echo "windows: not built yet"

clean:
	rm -rf build
