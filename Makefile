# Thin driver over CMake + Ninja. `make test` is what CI runs.
.PHONY: all deps build asan test run bench fuzz assets format check-format clean \
	package package-check install-check

BUILD_DIR ?= build
ASAN_DIR ?= build-asan
PACKAGE_DIR ?= build-package
FUZZ_SECONDS ?= 60
# Per input: the longest a run may take and the memory it may hold.
FUZZ_INPUT_SECONDS ?= 5
FUZZ_MEMORY_MB ?= 512
JOBS ?= $(shell nproc)

all: build

deps:
	@scripts/install-deps

# The everyday build: GCC, optimised with debug information. Warnings are errors here, as in CI.
build: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALV_WERROR=ON >/dev/null
	@cmake --build $(BUILD_DIR)

# Clang with AddressSanitizer and UndefinedBehaviorSanitizer; any report fails the run. The same
# build carries the fuzz targets and their coverage instrumentation, so CI compiles it once.
asan: deps
	@CC=clang CXX=clang++ cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DHALV_WERROR=ON -DHALV_SANITIZE=ON -DHALV_FUZZ=ON -DHALV_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_DIR)

test: deps check-format build asan
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j$(JOBS)
	ctest --test-dir $(ASAN_DIR) --output-on-failure -j$(JOBS)

run: build
	@scripts/run-saver $(BUILD_DIR)

bench: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALV_WERROR=ON >/dev/null
	@cmake --build $(BUILD_DIR)
	@scripts/run-benchmarks $(BUILD_DIR)

fuzz: asan
	@scripts/run-fuzzers $(ASAN_DIR) $(FUZZ_SECONDS) $(FUZZ_INPUT_SECONDS) $(FUZZ_MEMORY_MB)

# The saver as a Debian package: $(PACKAGE_DIR)/halvorine_<version>_<arch>.deb.
package: deps
	@scripts/build-package $(PACKAGE_DIR)

# The package's contents, lintian, and (as root) dpkg -i and a run of the installed hack.
package-check: package
	@scripts/check-package $(PACKAGE_DIR)

# The loader libraries installed into a scratch prefix, and examples/ built against them.
install-check: package
	@scripts/check-install $(PACKAGE_DIR)

assets:
	@scripts/make-assets $(BUILD_DIR)

format:
	@git ls-files '*.cpp' '*.h' | xargs -r clang-format -i

check-format:
	@git ls-files '*.cpp' '*.h' | xargs -r clang-format --dry-run -Werror

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(PACKAGE_DIR) out
