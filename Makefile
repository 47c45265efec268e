# The two commands a new user needs: `make run` and `make test`. Each installs what is
# missing, configures and builds in build/.
BUILD      ?= build
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

.PHONY: all deps configure build run test bench run-benches clean test-asan soak

all: build

deps:
	@tools/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DQUORVEL_WERROR=ON $(CMAKE_ARGS)

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/quorvel $(abspath $(BUILD))/samples

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	@$(MAKE) --no-print-directory run-benches

# The benchmark programs already built; their folder also holds CMake's bench_*_autogen folders.
run-benches:
	@for b in $(BUILD)/bench/bench_*; do \
	  if [ -f "$$b" ] && [ -x "$$b" ]; then "$$b" || exit 1; fi; \
	done

clean:
	rm -rf $(BUILD)

# Start-up times, from exec until the window is painted, against nsxiv and bare Qt programs, on
# a private Xvfb with openbox and, as on a desktop, a session bus and the accessibility bus
# (BENCH_DISPLAY=:N picks its display, default a free one; BENCH_BUS=none runs without any bus).
BENCH_DISPLAY ?=
BENCH_BUS ?=
.PHONY: bench-launch
bench-launch: build
	@QUORVEL_BENCH_LAUNCH=1 tools/install-deps.sh
	/usr/bin/python3 bench/launch/bench_launch.py $(BUILD) $(if $(BENCH_DISPLAY),--display $(BENCH_DISPLAY)) \
	  $(if $(BENCH_BUS),--bus $(BENCH_BUS))

# Thumbnails: N camera-like photos (4000 x 3000, cold and warm cache) against nsxiv -t and a bare
# QImageReader loop on all cores and on one, and SMALL tiny pictures scrolled top to bottom with
# a key held (stalls and memory, against the name list); BENCH_THUMBS_SMALL=0 skips those. The
# folders are made once into $(BUILD)/bench-thumbs/. Medians of BENCH_THUMBS_RUNS rounds.
BENCH_THUMBS_N ?= 1000
BENCH_THUMBS_SMALL ?= 100000
BENCH_THUMBS_RUNS ?= 3
.PHONY: bench-thumbs
bench-thumbs: configure
	@QUORVEL_BENCH_THUMBS=1 tools/install-deps.sh
	cmake --build $(BUILD) -j $(JOBS) --target quorvel make_thumb_photos bench_thumbs_bare
	/usr/bin/python3 bench/thumbs/bench_thumbs.py $(BUILD) --n $(BENCH_THUMBS_N) --small $(BENCH_THUMBS_SMALL) \
	  --runs $(BENCH_THUMBS_RUNS) $(if $(BENCH_DISPLAY),--display $(BENCH_DISPLAY))

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer, in its own folder.
# Any memory error, undefined behaviour or leak of our own code fails the test that meets it;
# leaks inside system libraries are listed in tests/sanitizer/lsan.supp. The build runs the
# sample and icon generators, so it gets the same settings.
ASAN_BUILD ?= build-asan
SANITIZER_ENV = \
	ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DQUORVEL_WERROR=ON -DQUORVEL_SANITIZE=ON -DQUORVEL_BENCH=OFF $(CMAKE_ARGS)

test-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	$(SANITIZER_ENV) cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# A long show over 500 pictures, good and bad; fails on a crash, a stop or memory growth.
soak: configure
	cmake --build $(BUILD) -j $(JOBS) --target soak_show
	QT_QPA_PLATFORM=offscreen $(BUILD)/tests/soak/soak_show

# A Debian package of the build, in $(BUILD)/.
.PHONY: package
package: build
	cd $(BUILD) && cpack -G DEB

# Fuzzing (clang's libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer); not part of
# `make test`. FUZZ_SECONDS per target; findings land in build-fuzz/findings-*.
FUZZ_SECONDS ?= 300
# Per input: every picture is bounded to a few seconds (more under the sanitizers), so an input
# that takes longer is a finding (a scan bomb took over a minute).
FUZZ_TIMEOUT ?= 10
FUZZ_FLAGS   := -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
.PHONY: fuzz
fuzz:
	@QUORVEL_WITH_CLANG=1 tools/install-deps.sh
	cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUORVEL_FUZZ=ON \
	  -DQUORVEL_TESTS=OFF -DQUORVEL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  "-DCMAKE_C_FLAGS=$(FUZZ_FLAGS)" "-DCMAKE_CXX_FLAGS=$(FUZZ_FLAGS)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined"
	cmake --build build-fuzz -j $(JOBS) --target fuzz_picture fuzz_settings make_hostile_pictures
	tools/make_fuzz_seeds.sh ../shared/corpus build-fuzz/seeds-picture build-fuzz/tools/make_hostile_pictures
	mkdir -p build-fuzz/corpus-picture build-fuzz/corpus-settings build-fuzz/findings-picture build-fuzz/findings-settings
	build-fuzz/fuzz/fuzz_picture -max_total_time=$(FUZZ_SECONDS) -timeout=$(FUZZ_TIMEOUT) -rss_limit_mb=2048 \
	  -malloc_limit_mb=1100 -max_len=1048576 \
	  -artifact_prefix=build-fuzz/findings-picture/ build-fuzz/corpus-picture build-fuzz/seeds-picture tests/data/fuzz-picture
	build-fuzz/fuzz/fuzz_settings -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	  -artifact_prefix=build-fuzz/findings-settings/ build-fuzz/corpus-settings tests/data/fuzz-settings
