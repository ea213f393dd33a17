# The two commands of the README. Both install what is missing, configure
# with CMake and Ninja, and build.
BUILD      ?= build
ASAN_BUILD ?= build-asan
WIN_BUILD  ?= build-win
JOBS       ?= $(shell nproc)

FUZZ_BUILD ?= build-fuzz
FUZZ_TIME  ?= 60

.PHONY: all run test deps configure build build-asan windows deb bench bench-run bench-janela bench-ocorrencias bench-windows fuzz clean

all: build

deps:
	@tools/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# A validation of the shipped sample delivery, its log on standard output.
# Builds only what it runs: tolk-critica, the shipped files and the sample.
run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tolk-critica tolk_data
	@$(BUILD)/bin/tolk-critica --riscos $(BUILD)/samples/riscos.dbf --sinistros $(BUILD)/samples/sinistros.dbf

# The packaging tools the package's test uses, the sources as the committed
# .clang-format has them, the whole suite, then the suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer in a tree where every
# warning is an error, then the Windows programs' suites under Wine, on a
# virtual display for the window.
test: build
	@tools/install-deps dpkg-dev file lintian
	@tools/check-format
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	  -DTOLK_SANITIZE=ON -DTOLK_WERROR=ON -DTOLK_BUILD_BENCH=OFF > /dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory windows
	@xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir $(WIN_BUILD) --output-on-failure -j $(JOBS)

# The Debian package, $(BUILD)/pacotes/tolk-zav_<version>_amd64.deb, with the
# dependencies dpkg-shlibdeps finds in the programs, checked by lintian.
deb: build
	@tools/install-deps dpkg-dev file lintian
	@cd $(BUILD) && cpack -G DEB > /dev/null
	@lintian --fail-on error $(BUILD)/pacotes/tolk-zav_*_amd64.deb 2>/dev/null
	@ls $(BUILD)/pacotes/tolk-zav_*_amd64.deb

# tolk-critica.exe under Wine against tolk-critica over 1,000,000 risks.
bench-windows: windows
	@bench/windows/run.sh $(BUILD) $(WIN_BUILD)

# The Windows programs, cross-built with mingw-w64 into $(WIN_BUILD)/bin:
# tolk-critica.exe, the window tolk-zav.exe, the tools and the test programs,
# each with no DLL of its own beside it. The native tree lends its tolk-dbf
# to the build and its tolk-critica to the comparisons of the suite. Then
# the installer, $(WIN_BUILD)/pacotes/tolk-zav-<version>-setup.exe (NSIS).
windows: build
	@tools/install-deps g++-mingw-w64-x86-64-posix googletest wine wine64 xvfb xauth nsis
	@cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLK_WERROR=ON -DTOLK_BUILD_BENCH=OFF \
	  -DTOLK_HOST_TOOLS=$(abspath $(BUILD))/bin > /dev/null
	@cmake --build $(WIN_BUILD) -j $(JOBS)
	@cd $(WIN_BUILD) && cpack -G NSIS > /dev/null
	@ls $(WIN_BUILD)/pacotes/tolk-zav-*-setup.exe

bench: build
	@$(BUILD)/bin/bench_dbf

# A whole run over deliveries of 100,000, 1,000,000 and 5,000,000 risks, stage
# by stage, beside a plain read and a hand-written scan; a table, CSV and a plot.
bench-run: build
	@tools/install-deps gnuplot-nox
	@bench/run/run.sh $(BUILD)

# A run in the window against tolk-critica over 1,000,000 risks in random order.
bench-janela: build
	@bench/janela/run.sh $(BUILD)

# What keeping every finding for the window costs, over 1,000,000 risks with
# about 1.5 findings each.
bench-ocorrencias: build
	@$(BUILD)/bin/bench_ocorrencias 1000000 5

# Each fuzz target for FUZZ_TIME seconds under libFuzzer with ASan and UBSan,
# starting from the seeds the project writes and the inputs kept in
# fuzz/regressions; new inputs that add coverage go to $(FUZZ_BUILD)/corpus.
# A crash stops with the input saved as $(FUZZ_BUILD)/crash-*: fix it, then
# keep the input under fuzz/regressions/<target>/ so the test suite replays it.
fuzz:
	@tools/install-deps clang-14 libclang-rt-14-dev
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DTOLK_FUZZ=ON -DTOLK_BUILD_GUI=OFF -DTOLK_BUILD_CLI=OFF -DTOLK_BUILD_TESTS=OFF -DTOLK_BUILD_BENCH=OFF > /dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@rm -rf $(FUZZ_BUILD)/seeds && $(FUZZ_BUILD)/bin/make_seeds $(FUZZ_BUILD)/seeds
	@set -e; for t in dbf ntx expr critica; do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t fuzz/regressions/$$t; \
	  echo "== fuzz_$$t: $(FUZZ_TIME) s"; \
	  if $(FUZZ_BUILD)/bin/fuzz_$$t -max_total_time=$(FUZZ_TIME) -timeout=10 -rss_limit_mb=2048 \
	       -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus/$$t \
	       $(FUZZ_BUILD)/seeds/$$t fuzz/regressions/$$t > $(FUZZ_BUILD)/fuzz_$$t.log 2>&1; then \
	    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' $(FUZZ_BUILD)/fuzz_$$t.log; \
	  else \
	    tail -n 60 $(FUZZ_BUILD)/fuzz_$$t.log; exit 1; \
	  fi; \
	done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WIN_BUILD) $(FUZZ_BUILD)
