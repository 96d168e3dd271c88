# The commands users type. Build messages go to standard error, so that
# `make run` hands the terminal (or a script) to the shell untouched.
BUILD        ?= build
CHECK_DIR    ?= build-check
FUZZ_DIR     ?= build-fuzz
BENCH_DIR    ?= build-bench
STATIC_DIR   ?= build-static
FUZZ_SECONDS ?= 60
PREFIX       ?= /usr/local
JOBS         ?= $(shell nproc)

# configure DIR,CMAKE-OPTIONS[,BUILD-OPTIONS] configures DIR, then builds it.
configure = cmake -S . -B $(1) -G Ninja $(2) >&2 && cmake --build $(1) -j $(JOBS) $(3) >&2

.PHONY: build run test test-fast bench check fuzz memcheck lint install uninstall package static clean

# Optimised build of the shell alone, build/husk: no test framework needed.
build:
	@$(call configure,$(BUILD),-DCMAKE_BUILD_TYPE=Release,--target husk)

# Builds, then runs the shell on make's own standard input and output.
run: build
	@./$(BUILD)/husk

# Builds the shell and the tests, and runs every test.
test:
	@$(call configure,$(BUILD),-DCMAKE_BUILD_TYPE=Release -DHUSK_TESTS=ON)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same less the tests labelled slow, for the edit loop: a few seconds.
test-fast:
	@$(call configure,$(BUILD),-DCMAKE_BUILD_TYPE=Release -DHUSK_TESTS=ON)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE slow

# Microbenchmarks, then husk side by side with dash.
bench:
	@$(call configure,$(BENCH_DIR),-DCMAKE_BUILD_TYPE=Release -DHUSK_BENCH=ON -DHUSK_TESTS=OFF)
	@./$(BENCH_DIR)/bench/husk_bench
	@bench/compare-parse.sh ./$(BENCH_DIR)/husk
	@bench/compare-exec.sh ./$(BENCH_DIR)/husk

# Every test again, against a build instrumented with the sanitizers. Each
# report (from the shell, a test, or a child before it runs its program) is
# written to a file of its own in $(CHECK_DIR)/sanitizer-reports, and any
# such file fails the run, even when the test that caused it passed. The
# directory is open to all, as some tests run the shell as another user.
check:
	@$(call configure,$(CHECK_DIR),-DCMAKE_BUILD_TYPE=Debug -DHUSK_SANITIZE=ON -DHUSK_TESTS=ON -DCMAKE_CXX_COMPILER=clang++)
	@reports='$(abspath $(CHECK_DIR))/sanitizer-reports'; \
	rm -rf "$$reports" && mkdir -m 1777 "$$reports" || exit 1; \
	export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:log_path=$$reports/report"; \
	export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$$reports/report"; \
	(cd $(CHECK_DIR) && ctest --output-on-failure -j $(JOBS)); status=$$?; \
	if [ -n "$$(ls -A "$$reports")" ]; then \
		for f in "$$reports"/*; do echo "== $$f"; cat "$$f"; done >&2; \
		echo "check: sanitizer reports above ($$reports)" >&2; exit 1; \
	fi; \
	[ $$status -eq 0 ] && echo "check: all tests pass, no sanitizer report" >&2

# Each fuzz target for FUZZ_SECONDS seconds.
fuzz:
	@$(call configure,$(FUZZ_DIR),-DCMAKE_BUILD_TYPE=Debug -DHUSK_FUZZ=ON -DHUSK_TESTS=OFF -DCMAKE_CXX_COMPILER=clang++)
	@fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# A representative script under valgrind's memory checker.
memcheck: build
	@tests/memcheck.sh ./$(BUILD)/husk

# Static analysis of src/: clang-tidy (.clang-tidy) and cppcheck.
lint: build
	@tests/lint.sh $(BUILD)

# The shell and its manual page under $(DESTDIR)$(PREFIX); the list of the
# files written, with DESTDIR, is kept for uninstall.
install: build
	@DESTDIR='$(DESTDIR)' cmake --install $(BUILD) --prefix '$(PREFIX)' >&2
	@awk -v d='$(DESTDIR)' '{ print d $$0 }' $(BUILD)/install_manifest.txt > $(BUILD)/installed-files.txt

# Removes exactly the files the last install wrote (give the same PREFIX and
# DESTDIR); directories stay.
uninstall:
	@list=$(BUILD)/installed-files.txt; \
	[ -f "$$list" ] || { echo "uninstall: no $$list: nothing installed from this build" >&2; exit 1; }; \
	while IFS= read -r f; do case "$$f" in '$(DESTDIR)$(PREFIX)'/*) ;; \
	*) echo "uninstall: $$f lies outside $(DESTDIR)$(PREFIX); give the PREFIX and DESTDIR of the install" >&2; exit 1;; \
	esac; done < "$$list"; \
	xargs -r -d '\n' rm -fv -- < "$$list" >&2 && rm -f "$$list"

# A Debian package of the shell and its manual page, in $(BUILD)/.
package: build
	@cd $(BUILD) && cpack -G DEB >&2
	@ls -t $(BUILD)/husk_*.deb | head -n 1

# The shell linked fully statically, $(STATIC_DIR)/husk: for containers and
# rescue systems with no C library. tests/static-check.sh tests it.
static:
	@$(call configure,$(STATIC_DIR),-DCMAKE_BUILD_TYPE=Release -DHUSK_STATIC=ON -DHUSK_TESTS=OFF)

clean:
	rm -rf $(BUILD) $(CHECK_DIR) $(FUZZ_DIR) $(BENCH_DIR) $(STATIC_DIR)
