# The commands of this project, each doing its own set-up on Debian:
#   make run    build the native program and run the benchmark in this directory
#   make test   build every variant and run every test
#   make dist   build the release archives and Debian packages into dist/
SHELL := /bin/bash
JOBS := $(shell nproc)

RUN_PACKAGES := cmake g++ make
CROSS_PACKAGES := g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 g++-aarch64-linux-gnu
DIST_PACKAGES := $(RUN_PACKAGES) $(CROSS_PACKAGES) git zip
TEST_PACKAGES := $(DIST_PACKAGES) libgtest-dev qemu-user unzip wine wine64 xvfb tmux clang-tidy clang-format util-linux bindfs \
	lintian mandoc
WINDOWS_TOOLCHAIN := cmake/mingw-w64-x86_64.cmake
ARM64_TOOLCHAIN := cmake/aarch64-linux-gnu.cmake
# The release test of the plain tree also checks the other trees' programs.
RELEASE_PROGRAMS := windows-x86_64=$(CURDIR)/build-win/orvenna.exe;linux-aarch64=$(CURDIR)/build-arm64/orvenna

# Installs whichever of the packages are missing: as root, or through sudo;
# without either it names them and stops.
define install_missing
	@missing=$$(for package in $(1); do dpkg -s $$package > /dev/null 2>&1 || echo $$package; done); \
	if [ -n "$$missing" ]; then \
		if [ "$$(id -u)" = 0 ]; then sudo=""; \
		elif command -v sudo > /dev/null; then sudo=sudo; \
		else echo "Missing packages: $$missing"; \
			echo "Installing them needs root or sudo: as root, run  apt-get install $$missing"; exit 1; fi; \
		echo "Installing:" $$missing; \
		$$sudo apt-get update -qq && \
		DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y -qq $$missing > /dev/null; \
	fi
endef

.PHONY: run test dist

run:
	$(call install_missing,$(RUN_PACKAGES))
	cmake -S . -B build -DBUILD_TESTING=OFF > /dev/null
	cmake --build build -j$(JOBS) --target orvenna
	./build/orvenna

# The Wine tests take longest and mostly wait on wineserver: the Windows tree
# is built first and its tests run beside the native trees' builds and tests.
# The plain tree's tests run beside those of the other native trees, which
# take turns; each tree's output is shown once all are done.
test:
	$(call install_missing,$(TEST_PACKAGES))
	cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=$(WINDOWS_TOOLCHAIN) > /dev/null
	cmake --build build-win -j$(JOBS)
	@failed=""; \
	ctest --test-dir build-win --output-on-failure > build-win/ctest.log 2>&1 & windows=$$!; \
	for tree in "build -DBUILD_TESTING=ON -DORVENNA_RELEASE_PROGRAMS=$(RELEASE_PROGRAMS)" \
		"build-address -DORVENNA_SANITIZE=address" "build-thread -DORVENNA_SANITIZE=thread" \
		"build-arm64 -DCMAKE_TOOLCHAIN_FILE=$(ARM64_TOOLCHAIN)"; do \
		set -- $$tree; \
		cmake -S . -B "$$@" > /dev/null && cmake --build $$1 -j$(JOBS) || failed="$$failed $$1"; \
	done; \
	ctest --test-dir build --output-on-failure -j$(JOBS) > build/ctest.log 2>&1 & plain=$$!; \
	for tree in build-address build-thread build-arm64; do \
		ctest --test-dir $$tree --output-on-failure -j$(JOBS) > $$tree/ctest.log 2>&1 || failed="$$failed $$tree"; \
	done; \
	wait $$plain || failed="$$failed build"; \
	wait $$windows || failed="$$failed build-win"; \
	for tree in build build-address build-thread build-arm64 build-win; do \
		echo "=== tests in $$tree"; \
		cat $$tree/ctest.log 2> /dev/null; \
	done; \
	if [ -n "$$failed" ]; then bash tests/lib/failures.sh $$failed; exit 1; fi

dist:
	$(call install_missing,$(DIST_PACKAGES))
	bash release/dist.sh dist
