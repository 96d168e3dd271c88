# The commands users type. Build messages go to standard error so that
# `make run` gives the shell's own standard output untouched.
BUILD      ?= build
CHECK_DIR  ?= build-check
FUZZ_DIR   ?= build-fuzz
BENCH_DIR  ?= build-bench
FUZZ_SECONDS ?= 60
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc)

CMAKE_GEN = -G Ninja

.PHONY: build run test bench check fuzz memcheck lint install uninstall package clean

build:
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release >&2
	@cmake --build $(BUILD) -j $(JOBS) >&2

run: build
	@./$(BUILD)/husk

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(CHECK_DIR) $(FUZZ_DIR) $(BENCH_DIR)
