# make run   installs what is missing, builds, and exports the bundled example scene
#            (and draws the file written into build/crate.png)
# make test  installs what is missing, builds, and runs the whole test suite
# make sanitize  the test suite again, built with AddressSanitizer and UBSan
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
EXAMPLE ?= examples/crate.scene.json

.PHONY: all deps build run test sanitize fuzz bench clean

all: build

deps:
	@scripts/ensure-deps

$(BUILD)/Makefile: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@mkdir -p $(BUILD)/config
	$(BUILD)/vekexport --no-prompt --config-dir $(BUILD)/config $(EXAMPLE) $(BUILD)/crate.vek \
		--preview $(BUILD)/crate.png --wire

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/Makefile: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVEK_SANITIZE=ON -DVEK_BENCHMARKS=OFF

sanitize: deps $(ASAN_BUILD)/Makefile
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
		ctest --output-on-failure -j $(JOBS)

FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

# The fuzz targets of the file checker and of the scene loader, each for a fixed
# time, seeded with the project's own files.
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVEK_FUZZ=ON -DVEK_BENCHMARKS=OFF
	cmake --build $(FUZZ_BUILD) --target check_fuzz scene_fuzz -j $(JOBS)
	rm -rf $(FUZZ_BUILD)/corpus && mkdir -p $(FUZZ_BUILD)/corpus/check $(FUZZ_BUILD)/corpus/scene
	for f in tests/golden/*/expected.vek; do printf '\000' | cat - $$f > $(FUZZ_BUILD)/corpus/check/$$(echo $$f | tr / _); done
	for f in tests/golden/*/expected.box; do [ -f $$f ] && printf '\001' | cat - $$f > $(FUZZ_BUILD)/corpus/check/$$(echo $$f | tr / _); done; true
	for f in tests/golden/*/scene.json examples/*.json; do cp $$f $(FUZZ_BUILD)/corpus/scene/$$(echo $$f | tr / _); done
	$(FUZZ_BUILD)/check_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -timeout=10 $(FUZZ_BUILD)/corpus/check
	$(FUZZ_BUILD)/scene_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -timeout=10 -rss_limit_mb=4096 $(FUZZ_BUILD)/corpus/scene

bench: build
	$(BUILD)/vek_bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
