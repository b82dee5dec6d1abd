# The two entry points: `make demo` runs the assistant on the simulated desktop,
# `make test` builds and runs every test suite, plainly and under the sanitizers.
JOBS ?= $(shell nproc)

.PHONY: demo test tsan build build-asan build-tsan build-release deps desktop-deps bench format

# The project's own builds treat every warning as an error; a plain CMake build does not, so a
# newer compiler's new warning never stops a user or packager.
STRICT = -DLUMORA_WARNINGS_AS_ERRORS=ON

deps:
	@scripts/install-deps

# What the real desktop's tests and benchmarks run: applications, servers and tools (installed
# before a build configures, which looks for the model server the tests start).
desktop-deps:
	@scripts/install-deps --desktop

CONFIGURE = cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(STRICT) >/dev/null

build: deps
	@$(CONFIGURE)
	@cmake --build build -j $(JOBS)

build-asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMORA_SANITIZE=ON $(STRICT) >/dev/null
	@cmake --build build-asan -j $(JOBS)

# Only the tests the thread sanitizer runs: the runtime's, the controller's and the end-to-end
# ones with the helper they start.
build-tsan: deps
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMORA_TSAN=ON $(STRICT) >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target runtime_tests audit_tests host_tests e2e_tests \
		linux_platform_tests reader_host_tests reader_host_e2e_tests

# The default build type of packagers, -O3, built with warnings as errors so CI sees what GCC
# and clang say of it.
build-release: deps
	@cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release $(STRICT) >/dev/null
	@cmake --build build-release -j $(JOBS)

# The demo runs the helper alone on the simulated desktop, so only the helper is built.
demo: deps
	@$(CONFIGURE)
	@cmake --build build -j $(JOBS) --target lumora-assistant
	@scripts/demo build

test: desktop-deps build build-asan
	@echo "== tests (release build)"
	@ctest --test-dir build --output-on-failure -j $(JOBS)
	@echo "== tests (address and undefined-behaviour sanitizers)"
	@ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
		UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# The helper that the end-to-end tests start inherits TSAN_OPTIONS: a report in it ends it with
# status 66, which fails its test. Reports inside the desktop's system libraries, which the
# checker cannot follow, are suppressed (tests/tsan.supp). The tests that decode with a Whisper
# model are left out: under the checker, each of ggml's OpenMP threads' unseen barriers is a
# suppressed report, and one decode takes minutes. The recognisers' threads are the same
# worker, which the pocketsphinx tests run. So is the recorded voice's accuracy test: slowed that
# much, the helper heard the end of its eleven seconds garbled.
TSAN_SKIPPED = 'WhisperRecognition\.|SpeechContract\..*/Whisper|AnInstalledWhisperModel|ARecordedVoice'

tsan: desktop-deps build-tsan
	@echo "== tests (thread sanitizer)"
	@TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:exitcode=66:suppressions=$(CURDIR)/tests/tsan.supp \
		ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -E $(TSAN_SKIPPED) \
		-L '^(runtime|audit|host|e2e|linux_platform|reader_host|reader_host_e2e)_tests$$'

bench: desktop-deps build
	@bench/run build

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i
