# Front door over CMake.
#   make run     build Quillon and open its window replaying the demo log, with the demo's
#                network configuration (ARGS="..." passes other options); without a display,
#                print the decoded demo instead
#   make check   check the layers and the formatting, build with warnings as errors and run
#                every test, then again under AddressSanitizer and UndefinedBehaviorSanitizer,
#                and the concurrency tests under ThreadSanitizer, and last the SocketCAN tests
#                inside a user-mode Linux kernel with vcan interfaces (a SKIP line when none runs)
# Both install missing build dependencies from Debian packages first.

JOBS := $(shell nproc)
MAKEFLAGS += --no-print-directory
, := ,
CONFIGURE = cmake -S . -B $(1) -DBUILD_TESTING=ON -DQUILLON_WERROR=ON $(2) >/dev/null
FORMATTED = $(shell find src tests bench scripts -name '*.cpp' -o -name '*.h')

.PHONY: all deps build run check lint test test-asan test-tsan kernel-check fuzz clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@$(call CONFIGURE,build,-DCMAKE_BUILD_TYPE=RelWithDebInfo)
	@cmake --build build -j $(JOBS)

ARGS ?= -f examples/demo.log
run: build
	@if [ -n "$$DISPLAY" ]; then \
	    QUILLON_SIM=$${QUILLON_SIM-demo} \
	    QUILLON_NETCFG=$${QUILLON_NETCFG-$(CURDIR)/examples/demo.netcfg} ./build/bin/quillon $(ARGS); \
	else \
	    echo "No display (DISPLAY is not set): printing the decoded demo log instead."; \
	    ./build/bin/quillon-dump -n examples/demo.netcfg examples/demo.log; \
	fi

test: build
	ctest --test-dir build --output-on-failure -j $(JOBS)

test-asan: deps
	@$(call CONFIGURE,build-asan,-DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=address$(,)undefined)
	@cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

test-tsan: deps
	@$(call CONFIGURE,build-tsan,-DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=thread)
	@cmake --build build-tsan -j $(JOBS) --target quillon_concurrency_tests
	ctest --test-dir build-tsan -L concurrency --output-on-failure -j $(JOBS)

# Includes only reach down the layers; the code is formatted as .clang-format says.
lint: deps
	@scripts/check-layers.sh
	@clang-format --dry-run --Werror $(FORMATTED)
	@echo "Formatting: clean"

# The tests labelled socketcan, on real SocketCAN sockets: scripts/kernel-check.sh runs them in
# a kernel of their own; its status 77 means no such kernel can run here.
kernel-check: build
	@scripts/kernel-check.sh build; status=$$?; \
	if [ $$status -eq 77 ]; then echo "==== SKIP: SocketCAN tests in a user-mode Linux kernel (reason above)"; \
	elif [ $$status -ne 0 ]; then exit $$status; fi

check: lint test test-asan test-tsan kernel-check

# Fuzzes each target for FUZZ_SECONDS (or only FUZZ_TARGETS); new inputs collect in
# build-fuzz/corpus/<target>.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= log_reader candump_reader asc_reader trc_reader filter_expr canopen_decoder eds_reader \
                cfg_element firmware_file
fuzz:
	@scripts/install-deps.sh clang libclang-rt-14-dev
	@CXX=clang++ $(call CONFIGURE,build-fuzz,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_FUZZ=ON -DQUILLON_SANITIZE=address$(,)undefined$(,)fuzzer-no-link)
	@cmake --build build-fuzz -j $(JOBS) $(foreach t,$(FUZZ_TARGETS),--target $(t)_fuzzer)
	@for t in $(FUZZ_TARGETS); do \
	    mkdir -p build-fuzz/corpus/$$t && \
	    build-fuzz/bin/$${t}_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	        build-fuzz/corpus/$$t tests/fuzz/$${t}_corpus || exit 1; \
	done

clean:
	rm -rf build build-asan build-tsan build-fuzz
