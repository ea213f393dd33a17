# The two commands of the README. Both install what is missing, configure
# with CMake and Ninja, and build.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: all run test deps build build-asan bench clean

all: build

deps:
	@tools/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# A validation of the shipped sample delivery, its log on standard output.
run: build
	@$(BUILD)/bin/tolk-critica --riscos $(BUILD)/samples/riscos.dbf --sinistros $(BUILD)/samples/sinistros.dbf

# The whole suite, then again under AddressSanitizer and UndefinedBehaviorSanitizer.
test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	  -DTOLK_SANITIZE=ON -DTOLK_BUILD_BENCH=OFF > /dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

bench: build
	@$(BUILD)/bin/bench_dbf

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
