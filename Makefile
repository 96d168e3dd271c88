# The commands users type; `make help` lists them. Build messages go to
# standard error, so that `make run` hands the terminal (or a script) to the
# shell untouched.
BUILD        ?= build
CHECK_DIR    ?= build-check
FUZZ_DIR     ?= build-fuzz
BENCH_DIR    ?= build-bench
STATIC_DIR   ?= build-static
PLAIN_DIR    ?= build-plain
AB_DIR       ?= build-ab
PROVE_DIR    ?= build-prove
FUZZ_SECONDS ?= 60
# The runs of make prove, each kind:bound (fuzz/prove_*.cpp): lines of up to
# 8 bytes, the same at the edge of the line analysis' blocks, inputs of -s of
# up to 7 bytes, the same read a byte at a time, command lines of up to 7
# tokens.
PROVE_BOUNDS ?= line:8 edge:6 loop:7 pieces:6 exec:7
PREFIX       ?= /usr/local
JOBS         ?= $(shell nproc)
# What `make install` wrote, after the PREFIX and DESTDIR it was given.
record        = $(BUILD)/installed-files.txt

# configure DIR,CMAKE-OPTIONS[,BUILD-OPTIONS] configures DIR, then builds it.
configure = cmake -S . -B $(1) -G Ninja $(2) >&2 && cmake --build $(1) -j $(JOBS) $(3) >&2

.PHONY: help build run test test-fast test-plain bench ab check fuzz prove memcheck lint install uninstall package static clean

# Optimised build of what an install takes: the shell, and its compressed
# manual page and changelog, remade whenever doc/husk.1 or packaging/changelog
# changed. Only these targets, and configured without the tests, whatever
# an earlier `make test` asked for: no test framework is needed, and a
# `make test` that failed for want of one leaves nothing in the way.
build_shell = $(call configure,$(BUILD),-DCMAKE_BUILD_TYPE=Release -DHUSK_TESTS=OFF,--target husk husk_manpage husk_changelog)

build: ## builds build/husk and its compressed manual page and changelog
	@$(build_shell)

run: build ## builds, then runs the shell on make's standard input (the prompt, or a script)
	@./$(BUILD)/husk

test: ## builds the shell and the tests in build/ and runs every test
	@$(call configure,$(BUILD),-DCMAKE_BUILD_TYPE=Release -DHUSK_TESTS=ON)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-fast: ## the same, less the tests labelled slow: a few seconds, for the edit loop
	@$(call configure,$(BUILD),-DCMAKE_BUILD_TYPE=Release -DHUSK_TESTS=ON)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE slow

# The code that the three speed tricks of the line analysis stand in for
# (the switches HUSK_COPY16, HUSK_SSE2 and HUSK_INLINE_WALK) is built by no
# other target: every other build has them on, and on x86-64, which always
# has SSE2, the scalar block classifier is compiled nowhere else.
test-plain: ## the tests, less the slow ones, with the speed tricks off (build-plain/)
	@$(call configure,$(PLAIN_DIR),-DCMAKE_BUILD_TYPE=Release -DHUSK_TESTS=ON -DHUSK_COPY16=OFF -DHUSK_SSE2=OFF -DHUSK_INLINE_WALK=OFF)
	@cd $(PLAIN_DIR) && ctest --output-on-failure -j $(JOBS) -LE slow

bench: ## runs the microbenchmarks, then husk side by side with dash (build-bench/)
	@$(call configure,$(BENCH_DIR),-DCMAKE_BUILD_TYPE=Release -DHUSK_BENCH=ON -DHUSK_TESTS=OFF)
	@[ -x $(BENCH_DIR)/bench/husk_bench ] || { echo "bench: install libbenchmark-dev first" >&2; exit 1; }
	@./$(BENCH_DIR)/bench/husk_bench
	@bench/compare-parse.sh ./$(BENCH_DIR)/husk
	@bench/compare-exec.sh ./$(BENCH_DIR)/husk

ab: ## builds each speed trick on and off (build-ab/) and prints what each buys (needs valgrind)
	@bench/ab.sh $(AB_DIR)

# Every test again, against a build instrumented with the sanitizers. Each
# report (from the shell, a test, or a child before it runs its program) is
# written to a file of its own in a new directory under /tmp, open to all
# and on a path every user can reach, as some tests run the shell as
# another user (the sanitizers of newer compilers stop a program whose
# report directory it cannot reach). Any such file fails the run, even when
# the test that caused it passed, and is kept in
# $(CHECK_DIR)/sanitizer-reports.
check: ## runs every test against a sanitizer build (build-check/; needs clang)
	@$(call configure,$(CHECK_DIR),-DCMAKE_BUILD_TYPE=Debug -DHUSK_SANITIZE=ON -DHUSK_TESTS=ON -DCMAKE_CXX_COMPILER=clang++)
	@kept='$(abspath $(CHECK_DIR))/sanitizer-reports'; rm -rf "$$kept"; \
	reports=$$(mktemp -d /tmp/husk-check.XXXXXX) && chmod 1777 "$$reports" || exit 1; \
	trap 'rm -rf "$$reports"' EXIT; trap 'exit 130' INT TERM; \
	export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:log_path=$$reports/report"; \
	export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$$reports/report"; \
	(cd $(CHECK_DIR) && ctest --output-on-failure -j $(JOBS)); status=$$?; \
	if [ -n "$$(ls -A "$$reports")" ]; then \
		for f in "$$reports"/*; do echo "== $$f"; cat "$$f"; done >&2; \
		mv "$$reports" "$$kept"; \
		echo "check: sanitizer reports above (kept in $$kept)" >&2; exit 1; \
	fi; \
	[ $$status -eq 0 ] && echo "check: all tests pass, no sanitizer report" >&2

fuzz: ## runs each fuzz target for FUZZ_SECONDS seconds (build-fuzz/; needs clang)
	@$(call configure,$(FUZZ_DIR),-DCMAKE_BUILD_TYPE=Debug -DHUSK_FUZZ=ON -DHUSK_TESTS=OFF -DCMAKE_CXX_COMPILER=clang++)
	@fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# The checks of the three fuzz targets on every input up to a size, not a
# sample (fuzz/prove.h): each run prints its figures, and stops at the first
# difference with the input that shows it.
prove: ## checks every input up to the sizes of PROVE_BOUNDS against the fuzz models (build-prove/)
	@$(call configure,$(PROVE_DIR),-DCMAKE_BUILD_TYPE=Release -DHUSK_PROVE=ON -DHUSK_TESTS=OFF,--target prove_line prove_loop prove_exec)
	@for run in $(PROVE_BOUNDS); do \
		kind=$${run%%:*}; \
		case $$kind in edge) bin=line;; pieces) bin=loop;; *) bin=$$kind;; esac; \
		./$(PROVE_DIR)/fuzz/prove_$$bin -k $$kind -j $(JOBS) $${run#*:} || exit 1; \
	done

memcheck: build ## runs a representative script under valgrind's memory checker
	@.ci/memcheck.sh ./$(BUILD)/husk

lint: build ## checks the layout of the sources and runs static analysis (clang-format, clang-tidy, cppcheck)
	@.ci/lint.sh $(BUILD)

# The shell, its manual page and documentation under $(DESTDIR)$(PREFIX).
# The files it will write are learnt first from an install into a scratch
# directory, and recorded, after PREFIX and DESTDIR, before anything is
# written: an install that fails half-way leaves a record that uninstall
# uses. PREFIX must be absolute (cmake takes an empty one for its default),
# which is checked before anything is configured or built. Every file is
# written, even one whose time stamp is within a second of the installed
# copy's, which cmake would otherwise take for the same file: a page edited
# and installed again at once would keep the old text.
install: ## installs the shell, its manual page and docs in DESTDIR PREFIX (default /usr/local)
	@case '$(PREFIX)' in /*) ;; *) echo "install: PREFIX must be an absolute path, not '$(PREFIX)'" >&2; exit 1;; esac
	@$(build_shell)
	@plan='$(abspath $(BUILD))/install-plan'; rm -rf "$$plan" && \
	DESTDIR="$$plan" cmake --install $(BUILD) --prefix '$(PREFIX)' > /dev/null && rm -rf "$$plan" && \
	{ printf 'PREFIX=%s\nDESTDIR=%s\n' '$(PREFIX)' '$(DESTDIR)' && \
	  awk -v d='$(DESTDIR)' '{ print d $$0 }' $(BUILD)/install_manifest.txt; } > $(record) || exit 1; \
	DESTDIR='$(DESTDIR)' CMAKE_INSTALL_ALWAYS=1 cmake --install $(BUILD) --prefix '$(PREFIX)' >&2 || { \
	echo "install: failed; make uninstall PREFIX='$(PREFIX)' DESTDIR='$(DESTDIR)' removes what it wrote" >&2; exit 1; }

# Removes exactly the files of the recorded install, given that install's
# PREFIX and DESTDIR, and refuses any other pair; directories stay.
uninstall: ## removes exactly what make install wrote (give it the same PREFIX and DESTDIR)
	@[ -f $(record) ] || { echo "uninstall: no $(record): nothing installed from this build" >&2; exit 1; }; \
	made=$$(head -n 2 $(record)); \
	[ "$$made" = "$$(printf 'PREFIX=%s\nDESTDIR=%s' '$(PREFIX)' '$(DESTDIR)')" ] || { \
	echo "uninstall: refused: the install was made with" $$made"; run: make uninstall" $$made >&2; exit 1; }; \
	tail -n +3 $(record) | xargs -r -d '\n' rm -fv -- >&2 && rm -f $(record)

package: build ## builds a Debian package in build/ and prints its path
	@cd $(BUILD) && cpack -G DEB >&2
	@ls -t $(BUILD)/husk_*.deb | head -n 1

# For containers and rescue systems with no C library; .ci/static-check.sh
# tests it.
static: ## builds the shell linked fully statically, build-static/husk
	@$(call configure,$(STATIC_DIR),-DCMAKE_BUILD_TYPE=Release -DHUSK_STATIC=ON -DHUSK_TESTS=OFF)

clean: ## removes every build directory, those of CI's gates too (build-*)
	rm -rf $(BUILD) $(CHECK_DIR) $(FUZZ_DIR) $(PROVE_DIR) $(BENCH_DIR) $(STATIC_DIR) build-*/

help: ## lists these targets
	@awk -F ':[^#]*## ' '/^[a-z-]+:.*## / { printf "make %-10s %s\n", $$1, $$2 }' $(firstword $(MAKEFILE_LIST))
