# The commands people type. Each one first installs whatever packages.txt lists that is missing.
#   make run     build the program and start its window
#   make test    sanitizer build, then every test (unit, gui, e2e, short fuzz runs)
#   make bench   optimised build, then every benchmark under bench/
#   make fuzz    longer fuzz runs (FUZZ_SECONDS each, default 600)
#   make install install the program and the converter (PREFIX, default /usr/local)

FUZZ_SECONDS ?= 600
PREFIX ?= /usr/local

.PHONY: deps build run test bench fuzz install format clean

deps:
	@scripts/install-deps.sh

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default

# Only what the window needs: the program and the libraries under it, no tests or benchmarks.
run: deps
	cmake --preset default >/dev/null
	cmake --build --preset default --target vorlix
	./build/default/app/vorlix

test: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	ctest --preset asan

bench: build
	scripts/run-benchmarks.sh build/default/bench

fuzz: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan
	cd build/asan && VORLIX_FUZZ_SECONDS=$(FUZZ_SECONDS) ctest -L fuzz --output-on-failure -j 2

install: build
	cmake --install build/default --prefix $(PREFIX)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
