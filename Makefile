# Two commands for a fresh Debian 12 machine: `make test` and `make run` (and `make fuzz` for
# the fuzz targets). Each installs what is missing, configures and builds first.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR ?= OFF
JOBS ?= $(shell nproc)
# Extra arguments for ctest, e.g. make test ARGS='-R wire_records'
ARGS ?=
# make fuzz: a separate clang build with sanitizers; each target runs FUZZ_SECONDS.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20
FUZZERS = wire_records room_invitation realtime_frame

.PHONY: all deps configure build test run clean fuzz

all: build

deps:
	./scripts/setup-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTOSSWICK_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	./scripts/run-tests.sh $(BUILD) $(ARGS)

run: build
	./scripts/run-local.sh $(BUILD)

# New inputs go to $(FUZZ_BUILD)/corpus; the seeds in fuzz/corpus stay as committed.
fuzz:
	./scripts/setup-deps.sh fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTOSSWICK_BUILD_FUZZ=ON -DTOSSWICK_BUILD_TESTS=OFF -DTOSSWICK_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target $(addprefix fuzz_,$(FUZZERS))
	for f in $(FUZZERS); do \
		mkdir -p $(FUZZ_BUILD)/corpus/$$f && \
		$(FUZZ_BUILD)/fuzz/fuzz_$$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
			-dict=fuzz/$$f.dict -artifact_prefix=$(FUZZ_BUILD)/ \
			$(FUZZ_BUILD)/corpus/$$f fuzz/corpus/$$f || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
