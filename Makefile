# make run   installs what is missing, builds, and exports the bundled example scene
# make test  installs what is missing, builds, and runs the whole test suite
# make sanitize  the test suite again, built with AddressSanitizer and UBSan
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
EXAMPLE ?= examples/crate.scene.json

.PHONY: all deps build run test sanitize bench clean

all: build

deps:
	@scripts/ensure-deps

$(BUILD)/Makefile: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@mkdir -p $(BUILD)/config
	$(BUILD)/vekexport --no-prompt --config-dir $(BUILD)/config $(EXAMPLE) $(BUILD)/crate.vek

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/Makefile: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVEK_SANITIZE=ON -DVEK_BENCHMARKS=OFF

sanitize: deps $(ASAN_BUILD)/Makefile
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/vek_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
