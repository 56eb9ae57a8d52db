# The two commands of the README: `make run` and `make test`.
# Both first install whatever Debian packages they still lack: `make run`
# only what the game needs, `make test` also what the tests need.

BUILD_FLAGS := $(if $(CI),-DTAJA_WERROR=ON,)
JOBS := $(shell nproc 2>/dev/null || echo 2)

.PHONY: run test deps test-deps build test-asan test-tsan fuzz bench clean package check-package windows test-windows package-windows

# Only the game, and quiet: one line of progress; the logs stay in build/
# and are shown when a step fails.
run: deps
	@mkdir -p build
	@scripts/progress "Configuring" build/configure.log cmake -S . -B build $(BUILD_FLAGS)
	@scripts/progress "Building taja-duel" build/build.log cmake --build build --target taja-duel -j $(JOBS)
	./build/taja-duel

test: build
	ctest --test-dir build --output-on-failure -j $(JOBS) --timeout 120

deps:
	@scripts/install-deps

test-deps:
	@scripts/install-deps test

# Everything: the game, the tests and the benchmarks.
build: test-deps
	cmake -S . -B build $(BUILD_FLAGS) -DTAJA_TESTS=ON
	cmake --build build -j $(JOBS)

test-asan: test-deps
	cmake -S . -B build-asan $(BUILD_FLAGS) -DTAJA_TESTS=ON -DCMAKE_BUILD_TYPE=Debug -DTAJA_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS) --timeout 240

test-tsan: test-deps
	cmake -S . -B build-tsan $(BUILD_FLAGS) -DTAJA_TESTS=ON -DCMAKE_BUILD_TYPE=Debug -DTAJA_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS)
	ctest --test-dir build-tsan --output-on-failure -j $(JOBS) --timeout 240

# Each fuzz target for FUZZ_SECONDS, from the seeds in fuzz/corpus/<name>
# and what earlier runs found (build-fuzz/corpus/<name>). A failing input is
# left as build-fuzz/<name>-crash-...; the run stops there.
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/install-deps fuzz
	cmake -S . -B build-fuzz -DTAJA_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14 $(BUILD_FLAGS)
	cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	@for seeds in fuzz/corpus/*/; do \
	  name=$$(basename $$seeds); mkdir -p build-fuzz/corpus/$$name; \
	  echo "== fuzz_$$name, $(FUZZ_SECONDS) s"; \
	  build-fuzz/fuzz_$$name -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=build-fuzz/$$name- build-fuzz/corpus/$$name $$seeds 2>build-fuzz/$$name.log \
	    || { tail -n 40 build-fuzz/$$name.log; exit 1; }; \
	  grep '^Done' build-fuzz/$$name.log; \
	done

bench: build
	@for b in build/bench_*; do echo "== $$b"; $$b; done

# The Debian package: build/taja-duel_<version>_<arch>.deb. (cpack would
# build whatever is missing, one file at a time: the build comes first.)
package: build
	@scripts/install-deps package
	rm -f build/taja-duel_*.deb
	cd build && cpack

# The package's contents, Depends, lintian, and its manual page.
check-package: package
	@scripts/install-deps check-package
	packaging/check-deb build/taja-duel_*.deb

# The Windows build, cross-built with mingw-w64: build-win/taja-duel.exe and
# the music beside it. Its tests run under wine, in a wine prefix of the
# build tree's own; one wineserver serves them all.
WIN_CMAKE := cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake $(BUILD_FLAGS)

windows:
	@scripts/install-deps windows
	$(WIN_CMAKE)
	cmake --build build-win -j $(JOBS) --target taja-duel

# What to copy to a Windows machine: build-win/taja-duel-<version>-win64.zip.
package-windows: windows
	rm -f build-win/taja-duel-*-win64.zip
	cd build-win && cpack

test-windows: build
	@scripts/install-deps windows
	$(WIN_CMAKE) -DTAJA_WINDOWS_TESTS=ON -DTAJA_NATIVE_BUILD=$(CURDIR)/build
	cmake -S . -B build -DTAJA_WINE_TESTS=ON
	cmake --build build -j $(JOBS) --target e2e_wine_tests
	cmake --build build-win -j $(JOBS)
	@# The tests run in a network namespace of their own, with a wine server
	@# of that namespace kept for 30 s between programs (one of an earlier
	@# run may still linger: it goes first).
	-build-win/wine-run wineserver -k 2>/dev/null
	scripts/isolated sh -c 'build-win/wine-run wineserver -p30 && build-win/wine-run wineboot -i && \
	  { ctest --test-dir build-win --output-on-failure -j $(JOBS) --timeout 240; \
	    rc=$$?; build-win/wine-run wineserver -k; exit $$rc; }'

clean:
	rm -rf build build-asan build-tsan build-win build-fuzz
