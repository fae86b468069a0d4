# Quick start: `make demo` runs the tool on the shipped example; `make test` runs every test.
# Both install what is missing on a Debian machine first.

BUILD_PACKAGES := g++ cmake make libgtest-dev libgmock-dev libcli11-dev nlohmann-json3-dev \
  libtbb-dev libopenmpi-dev openmpi-bin libhdf5-openmpi-dev libnanoflann-dev libvtk9-dev \
  pybind11-dev python3-dev python3-numpy
# gnuplot draws the plots (the wgnuplot adapter, the study's report, and the study's figures:
# PDF by its pdfcairo terminal, which gnuplot-nox has); without it a run still completes.
RUN_PACKAGES := gnuplot-nox
# The study's report is loaded in headless Chromium by a test (skipped when it cannot run);
# h5dump and h5py (MPI build) are for looking into HDF5 fields and writing them; meshio reads
# back the .vtu files a test writes; pytest and pandas run the tests of the Python module; man-db
# and bash-completion read the installed man page and completion.
TEST_PACKAGES := chromium hdf5-tools python3-h5py-mpi python3-meshio python3-pandas python3-pytest \
  man-db bash-completion
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

RELEASE := build/release
ASAN := build/asan

.PHONY: all deps build build-all demo test test-release test-asan test-fuzz test-windows install clean

all: build

deps:
	@tools/ensure-deps.sh $(BUILD_PACKAGES) $(RUN_PACKAGES)

$(RELEASE)/CMakeCache.txt: | deps
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release

$(ASAN)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON

# The tool alone, with its man page and bash completion (make demo, make install); build-all adds
# the tests.
build: deps $(RELEASE)/CMakeCache.txt
	cmake --build $(RELEASE) -j $(JOBS) --target kestrovanilque manual_pages

build-all: deps $(RELEASE)/CMakeCache.txt
	cmake --build $(RELEASE) -j $(JOBS)

# Every test of the release build, then the sanitizer pass: the unit tests and the replay of
# every fuzz target's seed corpus and regression inputs under AddressSanitizer and UBSan.
# Timed fuzzing is make fuzz's.
test: test-release test-asan

test-release: build-all
	@tools/ensure-deps.sh $(TEST_PACKAGES) || echo "make: chromium is missing: the report test will be skipped"
	cd $(RELEASE) && ctest --output-on-failure -j $(JOBS)

test-asan: deps $(ASAN)/CMakeCache.txt
	cmake --build $(ASAN) -j $(JOBS) --target unit_tests fuzz_targets
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -L "unit|fuzz"

# Each example is copied into a fresh folder under build/demo and run there as a user would
# (editor launches return at once without a terminal; without a display the plots are PNGs);
# then a study is made of each (the two classic cases and the CSV table of examples/study).
DEMO := build/demo
demo: build
	@rm -rf $(DEMO) && mkdir -p $(DEMO)
	@for case in trapezoid variable_ratio; do \
	  mkdir -p $(DEMO)/$$case && cp examples/$$case/* examples/plot_scripts/*.gnu $(DEMO)/$$case/ && \
	  (cd $(DEMO)/$$case && env -u DISPLAY -u WAYLAND_DISPLAY -u COMSPEC \
	     ../../release/kestrovanilque < /dev/null) || exit 1; \
	done
	@echo
	@echo "demo: the shipped examples ran in $(DEMO)/:"
	@for case in trapezoid variable_ratio; do \
	  listing=$$(sed -n 2p $(DEMO)/$$case/$$(head -n 1 $(DEMO)/$$case/Kestrovanilque.in | awk '{print $$1}') | awk '{print $$1}'); \
	  echo "  $$case: listing $(DEMO)/$$case/$$listing"; \
	  for png in $(DEMO)/$$case/*.png; do [ -f "$$png" ] && echo "    plot $$png"; done; \
	done; true
	@echo
	@mkdir -p $(DEMO)/study && cp examples/study/*.csv $(DEMO)/study/
	@for study in trapezoid/trapezoid_case.txt variable_ratio/convection_diffusion.txt study/step_flow.csv; do \
	  echo "demo: kestrovanilque study $(DEMO)/$$study"; \
	  $(RELEASE)/kestrovanilque study $(DEMO)/$$study || exit 1; \
	  echo; \
	done

# The Windows build (mingw-w64 cross-compiler) tested under wine against the Linux build.
test-windows:
	@JOBS=$(JOBS) tools/test-windows.sh

# The Python module too, where the build has it (pybind11 and numpy found): into
# $(PREFIX)/lib/python3.X/dist-packages, where Debian's python3 finds it.
install: build
	@if [ -f $(RELEASE)/python/cmake_install.cmake ]; then \
	  cmake --build $(RELEASE) -j $(JOBS) --target kestrovanilque_python; fi
	cmake --install $(RELEASE) --prefix $(PREFIX)

clean:
	rm -rf build

# Fuzzing (fuzz/): clang with libFuzzer, AddressSanitizer and UBSan, in a build folder of its
# own. `make fuzz` runs each target for FUZZ_SECONDS (`make test-fuzz` for 20 seconds), one
# target at a time, at the lowest priority; `make test` replays their inputs (above).
FUZZ := build/fuzz
FUZZ_PACKAGES := clang libfuzzer-14-dev libclang-rt-14-dev
FUZZ_SECONDS ?= 600

.PHONY: fuzz fuzz-build
fuzz-build:
	@tools/ensure-deps.sh $(BUILD_PACKAGES) $(FUZZ_PACKAGES)
	@[ -f $(FUZZ)/CMakeCache.txt ] || CC=clang CXX=clang++ cmake -S . -B $(FUZZ) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_FUZZ=ON -DKV_BUILD_TESTS=OFF
	cmake --build $(FUZZ) -j $(JOBS) --target fuzz_targets

fuzz: fuzz-build
	@fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)

test-fuzz: fuzz-build
	@fuzz/run.sh $(FUZZ) 20

# Benchmarks, never part of `make test`: the formatted-record writer against std::to_chars, the
# least-squares estimate per point, then
# whole runs of the binary for N = 250 to 2000 grids, then field studies of 10^5 to 10^7 points
# beside a pandas reference, then HDF5 fields of 10^6 and 10^7 points on 1 and 2 MPI ranks; each
# prints PASS or FAIL per target.
BENCH := build/bench

.PHONY: bench
bench:
	@tools/ensure-deps.sh $(BUILD_PACKAGES) libbenchmark-dev python3-pandas
	cmake -S . -B $(BENCH) -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_BENCH=ON -DKV_BUILD_TESTS=OFF
	cmake --build $(BENCH) -j $(JOBS)
	@status=0; \
	$(BENCH)/bench/writer_bench || status=1; \
	$(BENCH)/bench/least_squares_bench || status=1; \
	$(BENCH)/bench/run_bench || status=1; \
	$(BENCH)/bench/field_bench || status=1; \
	if [ -x $(BENCH)/bench/cluster_bench ]; then $(BENCH)/bench/cluster_bench || status=1; fi; \
	exit $$status
