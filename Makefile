# Two commands for a fresh Debian 12 machine: `make test` and `make run`.
# Both install what is missing, configure and build first.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
WERROR ?= OFF
JOBS ?= $(shell nproc)
# Extra arguments for ctest, e.g. make test ARGS='-R wire_records'
ARGS ?=

.PHONY: all deps configure build test run clean

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

clean:
	rm -rf $(BUILD)
