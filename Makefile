# The two entry points: `make demo` runs the assistant on the simulated desktop,
# `make test` builds and runs every test suite, plainly and under the sanitizers.
JOBS ?= $(shell nproc)

.PHONY: demo test build build-asan deps bench format

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS)

build-asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMORA_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j $(JOBS)

demo: build
	@scripts/demo build

test: build build-asan
	@echo "== tests (release build)"
	@ctest --test-dir build --output-on-failure -j $(JOBS)
	@echo "== tests (address and undefined-behaviour sanitizers)"
	@ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --test-dir build-asan --output-on-failure -j $(JOBS)

bench: build
	@bench/run build

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
