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

# The DLL and its suite under Wine.
windows:
	@echo "windows: not built yet"

clean:
	rm -rf build
