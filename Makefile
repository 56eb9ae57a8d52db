# The two commands of the README: `make run` and `make test`.
# Both first install whatever Debian packages the build still lacks.

BUILD_FLAGS := $(if $(CI),-DTAJA_WERROR=ON,)
JOBS := $(shell nproc 2>/dev/null || echo 2)

.PHONY: run test deps build test-asan test-tsan bench clean package check-package

# Only the game, and quiet: the logs are shown only when a step fails.
run: deps
	@mkdir -p build
	@cmake -S . -B build $(BUILD_FLAGS) >build/configure.log 2>&1 || { cat build/configure.log; exit 1; }
	@echo "Building taja-duel..."
	@cmake --build build --target taja-duel -j $(JOBS) >build/build.log 2>&1 || { cat build/build.log; exit 1; }
	./build/taja-duel

test: build
	ctest --test-dir build --output-on-failure -j $(JOBS) --timeout 120

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B build $(BUILD_FLAGS)
	cmake --build build -j $(JOBS)

test-asan: deps
	cmake -S . -B build-asan $(BUILD_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DTAJA_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS) --timeout 240

test-tsan: deps
	cmake -S . -B build-tsan $(BUILD_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DTAJA_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS)
	ctest --test-dir build-tsan --output-on-failure -j $(JOBS) --timeout 240

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

clean:
	rm -rf build build-asan build-tsan
