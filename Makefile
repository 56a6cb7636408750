# The two commands of the README: `make run` builds and starts the game, `make test` builds and
# runs every test (plain, then under AddressSanitizer and UndefinedBehaviorSanitizer, then the
# fuzz targets for a bounded time, then the Windows build's tests under wine). `make bench` runs
# the benchmarks on a release build.
JOBS ?= $(shell nproc)
# Extra cmake settings for this run only: a tree is configured afresh when they differ from
# those it was configured with before (scripts/configure-build.sh).
CMAKE_FLAGS ?=
CONFIGURE = scripts/configure-build.sh .

PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: run build test test-plain test-asan test-fuzz test-windows windows bench install package clean

run: build
	./build/velkor

build:
	@scripts/install-deps.sh run
	@$(CONFIGURE) build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_TESTS=OFF -- $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS) --target velkor

test: test-plain test-asan test-fuzz test-windows

test-plain:
	@scripts/install-deps.sh test
	@$(CONFIGURE) build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_TESTS=ON -- $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)
	cd build && ctest --output-on-failure -j $(JOBS)

test-asan:
	@scripts/install-deps.sh test
	@$(CONFIGURE) build-asan -DCMAKE_BUILD_TYPE=Debug -DVELKOR_TESTS=ON -DVELKOR_SANITIZE=ON -- $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

test-fuzz:
	@scripts/install-deps.sh test
	@if [ -f fuzz/CMakeLists.txt ]; then \
	  CXX=clang++ $(CONFIGURE) build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_TESTS=OFF -DVELKOR_FUZZ=ON -- $(CMAKE_FLAGS) && \
	  cmake --build build-fuzz -j $(JOBS) && \
	  scripts/run-fuzzers.sh build-fuzz; \
	fi

# The Windows build: velkor.exe cross-compiled with MinGW-w64 and packed with its font and
# licences into build-windows/velkor-1.12-windows-x64.zip.
WINDOWS_DIR = build-windows
windows:
	@scripts/install-deps.sh windows
	scripts/windows-deps.sh $(WINDOWS_DIR)/deps
	@$(CONFIGURE) $(WINDOWS_DIR)/velkor -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_PREFIX_PATH=$(CURDIR)/$(WINDOWS_DIR)/deps/prefix -DCMAKE_BUILD_TYPE=Release -DVELKOR_TESTS=ON -- $(CMAKE_FLAGS)
	cmake --build $(WINDOWS_DIR)/velkor -j $(JOBS) --target velkor
	scripts/pack-windows.sh $(WINDOWS_DIR)/velkor/velkor.exe $(WINDOWS_DIR)/deps $(WINDOWS_DIR)/velkor-1.12-windows-x64.zip

# Its unit tests and the real program under wine in a virtual X server.
test-windows: windows
	@scripts/install-deps.sh test
	cmake --build $(WINDOWS_DIR)/velkor -j $(JOBS) --target windows_tests
	@$(CONFIGURE) build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_TESTS=ON -- $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS) --target test_wine
	scripts/test-windows.sh $(WINDOWS_DIR)/velkor build $(WINDOWS_DIR)/velkor-1.12-windows-x64.zip

bench:
	@scripts/install-deps.sh bench
	@$(CONFIGURE) build-release -DCMAKE_BUILD_TYPE=Release -DVELKOR_TESTS=OFF -DVELKOR_BENCH=ON -- $(CMAKE_FLAGS)
	cmake --build build-release -j $(JOBS)
	@scripts/run-benchmarks.sh build-release

# The game and the ranking server into PREFIX (under DESTDIR when given).
install:
	@scripts/install-deps.sh run
	@$(CONFIGURE) build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_TESTS=OFF -DCMAKE_INSTALL_PREFIX="$(PREFIX)" -- $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS) --target velkor velkor-ranking
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

# dist/velkor_VERSION_ARCH.deb and dist/velkor-ranking_VERSION_ARCH.deb, built with Debian's
# compiler flags in a tree of their own.
package:
	@scripts/install-deps.sh package
	CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	  $(CONFIGURE) build-package -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr \
	  -DVELKOR_SYSTEMD_UNITDIR=/lib/systemd/system -- $(CMAKE_FLAGS)
	cmake --build build-package -j $(JOBS) --target velkor velkor-ranking
	scripts/build-debs.sh build-package dist

clean:
	rm -rf build build-asan build-fuzz build-release build-windows build-package dist
