# Entry points for people and CI. Each target installs what is missing, configures and builds.
BUILD      ?= build
# The tests run on the optimisation the package ships with (Release, -O3): a faster or slower
# build than the one shipped would measure and test another program.
BUILD_TYPE ?= Release
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
# Sanitizer and fuzz builds leave the benchmarks out.
SANITIZE_ARGS ?= -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON $(CMAKE_ARGS)

export TZ := UTC
export LC_ALL := C.UTF-8

.PHONY: all deps build demo test test-asan test-tsan check-package bench fuzz plots docs install package clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_ARGS)

# A build folder configured for another type (an older default, or BUILD_TYPE given) is
# configured again for this one.
build: deps $(BUILD)/CMakeCache.txt
	@grep -qx 'CMAKE_BUILD_TYPE:STRING=$(BUILD_TYPE)' $(BUILD)/CMakeCache.txt || \
		cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMORSEHANDLER_SANITIZE=address,undefined $(SANITIZE_ARGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

test-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DMORSEHANDLER_SANITIZE=thread $(SANITIZE_ARGS)
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The shipped build (Release, no tests), installed into a temporary prefix and used from there by
# the consumer checks and the installed morsetool.
check-package: deps
	JOBS=$(JOBS) CMAKE_ARGS="$(CMAKE_ARGS)" scripts/check-package.sh build-package

bench: build
	@for b in $(BUILD)/bin/bench_*; do [ -f "$$b" ] && [ -x "$$b" ] && "$$b" --benchmark_min_time=0.5; done; true

fuzz: deps
	@scripts/install-deps.sh --extra
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORSEHANDLER_FUZZ=ON $(SANITIZE_ARGS)
	cmake --build build-fuzz -j $(JOBS) --target fuzzers
	@scripts/run-fuzzers.sh build-fuzz $${FUZZ_SECONDS:-60}

plots: build
	@scripts/install-deps.sh --extra
	@scripts/make-plots.sh $(BUILD)

# Reference documentation of the public API only, into docs/html.
docs: deps $(BUILD)/CMakeCache.txt
	@scripts/install-deps.sh --extra
	cmake -S . -B $(BUILD)
	cmake --build $(BUILD) --target docs

install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# The package comes from a release build of its own: no tests, no debug information, installed
# under /usr.
package: deps
	@scripts/install-deps.sh --extra
	cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_INSTALL_PREFIX=/usr $(CMAKE_ARGS)
	cmake --build build-package -j $(JOBS)
	cd build-package && cpack -G DEB

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-package
