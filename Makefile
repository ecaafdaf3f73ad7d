# make run   installs what is missing, builds vekexport and its module only, exports
#            the bundled example scene and draws the file written into build/crate.png
# make test  installs what is missing, builds everything, and runs the whole test suite
# make install  builds vekexport and installs it under PREFIX (default /usr/local; DESTDIR
#            stages the tree elsewhere, as for a package)
# make package  the Debian package of that tree, in build/ (vekexport_<version>_<arch>.deb)
# make sanitize  the test suite again, built with AddressSanitizer and UBSan
# make lint  checks the formatting and clang-tidy's findings; make format applies the formatting
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
# WERROR=ON makes every compiler warning an error, as CI builds.
WERROR ?= OFF
EXAMPLE ?= examples/crate.scene.json

.PHONY: all deps build run install package test test-corpus sanitize fuzz fuzz-models bench lint format clean

all: build

deps:
	@scripts/ensure-deps

$(BUILD)/Makefile: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEK_WERROR=$(WERROR)

build: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j $(JOBS)

run: deps $(BUILD)/Makefile
	cmake --build $(BUILD) --target vekexport -j $(JOBS)
	@mkdir -p $(BUILD)/config
	$(BUILD)/vekexport --no-prompt --config-dir $(BUILD)/config $(EXAMPLE) $(BUILD)/crate.vek \
		--preview $(BUILD)/crate.png --wire

PREFIX ?= /usr/local
# Only what is installed is built; cmake --install honours DESTDIR from the environment.
INSTALLED_TARGETS = vekexport vekexport_man
install: deps $(BUILD)/Makefile
	cmake --build $(BUILD) --target $(INSTALLED_TARGETS) -j $(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

package: deps $(BUILD)/Makefile
	cmake --build $(BUILD) --target $(INSTALLED_TARGETS) -j $(JOBS)
	cd $(BUILD) && cpack -G DEB

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The world-space oracle over every model of Assimp's corpus (make test runs a sample):
# prints the share of exported models that agree and the exceptions with their reasons.
test-corpus: build
	cd $(BUILD) && VEK_ORACLE_CORPUS=all ./vek_tests --gtest_filter='ModelOracle.*'

$(ASAN_BUILD)/Makefile: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVEK_SANITIZE=ON -DVEK_BENCHMARKS=OFF -DVEK_WERROR=$(WERROR)

sanitize: deps $(ASAN_BUILD)/Makefile
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
		ctest --output-on-failure -j $(JOBS)

FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

# The fuzz targets of our own readers, each for a fixed time: the file checker; load,
# export and check of scene descriptions and .ase exports (with a dictionary of the
# words their readers look for). make fuzz-models runs the model loader's
# target, through Assimp: it finds faults inside Assimp's own readers within a minute
# (a segmentation fault in its OpenGEX reader, endless loops in its LightWave scene
# reader, ...), so it is not part of CI: vekexport reads models in a child process that
# may crash or be stopped (app/cli/ImportGuard.h); the target reads them in-process.
# Seeded with the project's own files and the models Debian ships with Assimp
# (fuzz/seeds.sh). The model target replaces the allocation functions, so allocations
# and deallocations are not matched by kind.
FUZZ_ENV = ASAN_OPTIONS=alloc_dealloc_mismatch=0 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp
FUZZ_FLAGS = -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -timeout=30 -rss_limit_mb=4096
$(FUZZ_BUILD)/Makefile: | deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVEK_FUZZ=ON -DVEK_BENCHMARKS=OFF
fuzz: deps $(FUZZ_BUILD)/Makefile
	cmake --build $(FUZZ_BUILD) --target check_fuzz export_fuzz -j $(JOBS)
	fuzz/seeds.sh $(FUZZ_BUILD)/corpus
	$(FUZZ_ENV) $(FUZZ_BUILD)/check_fuzz $(FUZZ_FLAGS) $(FUZZ_BUILD)/corpus/check
	$(FUZZ_ENV) $(FUZZ_BUILD)/export_fuzz $(FUZZ_FLAGS) -dict=$(FUZZ_BUILD)/corpus/export.dict \
		$(FUZZ_BUILD)/corpus/export

fuzz-models: deps $(FUZZ_BUILD)/Makefile
	cmake --build $(FUZZ_BUILD) --target model_fuzz -j $(JOBS)
	fuzz/seeds.sh $(FUZZ_BUILD)/corpus
	$(FUZZ_ENV) $(FUZZ_BUILD)/model_fuzz $(FUZZ_FLAGS) $(FUZZ_BUILD)/corpus/model

# The in-memory benchmarks, then the whole process on generated scene files (kept in
# $(BUILD)/bench-scenes; BENCH_SIZES picks among 62k,250k,1M,4M triangles).
BENCH_SIZES ?= 62k,250k,1M,4M
bench: build
	$(BUILD)/vek_bench
	$(BUILD)/vek_process_bench --sizes $(BENCH_SIZES) $(BUILD)

# Every source formatted as .clang-format says (make format applies it), then
# clang-tidy's checks of .clang-tidy over everything the build compiles.
SOURCES = $(shell find host plugin export options writers lists app resources tests bench fuzz \
	-name '*.cpp' -o -name '*.h')
format:
	clang-format -i $(SOURCES)

lint: build
	@clang-format --dry-run --Werror $(SOURCES)
	@run-clang-tidy -p $(BUILD) -quiet -j $(JOBS) >$(BUILD)/tidy.log 2>&1 || \
		{ grep -E '(error|warning): ' $(BUILD)/tidy.log | sort -u; echo "clang-tidy: see $(BUILD)/tidy.log"; exit 1; }
	@echo "clang-format and clang-tidy: clean"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
