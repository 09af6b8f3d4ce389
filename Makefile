# KroFileList: the two everyday commands are `make demo` and `make test`.
# Each installs what it needs on a fresh Debian machine.

BUILD ?= build
GEN   := -G Ninja
export CMAKE_BUILD_PARALLEL_LEVEL ?= $(shell nproc)

.PHONY: all deps native native-tsan win64 win32 fuzz-tree fuzz soak matrix test demo dist bench bench-long clean

all: native win64 win32

deps:
	@scripts/install-deps.sh

# Portable code, simulator, tools and unit tests, with ASan + UBSan.
native: deps
	@cmake -S . -B $(BUILD)/native $(GEN) -DCMAKE_BUILD_TYPE=Debug -DKRO_SANITIZER=address >/dev/null
	@cmake --build $(BUILD)/native

# The threading tests again, under ThreadSanitizer: only they and what they
# load are built there.
native-tsan: deps
	@cmake -S . -B $(BUILD)/native-tsan $(GEN) -DCMAKE_BUILD_TYPE=Debug -DKRO_SANITIZER=thread >/dev/null
	@cmake --build $(BUILD)/native-tsan --target kro_thread_tests

# The program, the simulator DLL and the Windows tests, for 64-bit Windows.
win64: deps
	@cmake -S . -B $(BUILD)/win64 $(GEN) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	@cmake --build $(BUILD)/win64

# The program and the simulator for 32-bit Windows, to pair with a 32-bit
# device library, and the tests that cross the library boundary (they run
# 32-bit Wine, through qemu where the kernel cannot run 32-bit code).
win32: deps
	@cmake -S . -B $(BUILD)/win32 $(GEN) -DCMAKE_BUILD_TYPE=Release -DKRO_BUILD_TESTS=ON \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build $(BUILD)/win32 --target KroFileList KroFileListCLI KroLibHost KROLib kro_library_tests

# The libFuzzer targets with ASan + UBSan, built by clang in their own tree.
fuzz-tree: deps
	@cmake -S . -B $(BUILD)/fuzz $(GEN) -DCMAKE_BUILD_TYPE=Debug -DKRO_FUZZ=ON \
	    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
	@cmake --build $(BUILD)/fuzz

# Runs every fuzz target for FUZZ_SECONDS each over its seed corpus; what a
# run finds is left in $(BUILD)/fuzz/findings. `make test` only replays the
# seeds.
FUZZ_SECONDS ?= 120
fuzz: fuzz-tree
	@scripts/run-fuzz.sh $(BUILD)/fuzz $(FUZZ_SECONDS)

# Card pulls, window closes, exports and crashes and hangs of the device
# library at random moments under Wine, from a seed (printed first;
# SOAK_SEED replays one). `make test` runs a twentieth.
SOAK_SCALE ?= 1
SOAK_SEED ?= random
SOAK_RECORDINGS ?= 10000
# Then the program's handles, threads and memory across GROWTH_CYCLES card
# cycles in one process, and across GROWTH_HOST_ENDS ends of its library
# host in another (crashes and hangs, three a minute at most by the restart
# pause, and the user's stops of a stalled export: over an hour for 200).
GROWTH_CYCLES ?= 200
GROWTH_HOST_ENDS ?= 200
GROWTH_SEED ?= random
soak: native win64
	@scripts/wine-session.sh $(BUILD)/win64/wine -- bash tests/e2e/soak.sh $(BUILD)/win64/bin \
	    $(BUILD)/native/demo-card $(BUILD)/native/bin/kro_cardgen $(BUILD)/win64/e2e-soak \
	    $(SOAK_SCALE) $(SOAK_SEED) $(SOAK_RECORDINGS)
	@scripts/wine-session.sh $(BUILD)/win64/wine -- bash tests/e2e/growth.sh $(BUILD)/win64/bin \
	    $(BUILD)/native/demo-card $(BUILD)/win64/e2e-growth $(GROWTH_CYCLES)
	@scripts/wine-session.sh $(BUILD)/win64/wine -- bash tests/e2e/growth.sh $(BUILD)/win64/bin \
	    $(BUILD)/native/demo-card $(BUILD)/win64/e2e-growth-hosts $(GROWTH_HOST_ENDS) hosts $(GROWTH_SEED)

# Every simulator fault switch against every step of the journey under Wine;
# the table lands in $(BUILD)/win64/e2e-matrix/matrix.md.
matrix: native win64
	@scripts/wine-session.sh $(BUILD)/win64/wine -- bash tests/e2e/matrix.sh $(BUILD)/win64/bin \
	    $(BUILD)/native/demo-card $(BUILD)/win64/e2e-matrix

# Builds the five trees and the packages and runs every level of tests; the
# levels under Wine start as soon as their trees are built, beside the rest
# (scripts/run-tests.sh).
test: deps
	@scripts/run-tests.sh $(BUILD)

demo: native win64
	@scripts/demo.sh $(BUILD)

# Windows packages: one zip per architecture in $(BUILD)/dist.
dist: native win64 win32
	@scripts/dist.sh $(BUILD)

# Benchmarks, optimised and without sanitizers; each prints ratios against a
# baseline measured in the same run (docs/PERFORMANCE.md). `make bench-long`
# adds 60 s idle windows and a 50,000-recording card.
BENCH_IDLE_SECONDS ?= 10
BENCH_LARGE ?=
bench: native win64
	@cmake -S . -B $(BUILD)/bench $(GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD)/bench --target export_bench KROLib demo_card
	@echo "== export: 100 demo recordings as AVI against a plain copy"
	@$(BUILD)/bench/bin/export_bench $(BUILD)/bench/bin/libKROLib.so $(BUILD)/bench/demo-card 100
	@echo "== export at a camera's sizes: AVI of 50-150 MB, pictures of 700 KiB, against a plain copy"
	@$(BUILD)/bench/bin/export_bench $(BUILD)/bench/bin/libKROLib.so $(BUILD)/bench/demo-card --real-sizes
	@for count in 10000 $(BENCH_LARGE); do \
	    echo "== list loading: $$count recordings under Wine against the list view's floor"; \
	    bench/run-load-bench.sh $(BUILD) $$count || exit 1; done
	@echo "== a stop while the library's host lingers after its end, under Wine"
	@scripts/wine-session.sh $(abspath $(BUILD))/bench/wine -- bash -c \
	    'export KROSIM_CARD=$$(winepath -w "$$1" 2>/dev/null | tr -d "\r"); \
	     /usr/lib/wine/wine64 "$$2/stop_bench.exe" | tr -d "\r"' \
	    stop_bench $(abspath $(BUILD))/native/demo-card $(abspath $(BUILD))/win64/bin
	@echo "== the program as a user feels it, under Wine"
	@bench/run-program-bench.sh $(BUILD) $(BENCH_IDLE_SECONDS) $(BENCH_LARGE)

bench-long:
	@$(MAKE) --no-print-directory bench BENCH_IDLE_SECONDS=60 BENCH_LARGE=50000

clean:
	rm -rf $(BUILD)
