# The two commands of this project, each doing its own set-up on Debian:
#   make run    build the native program and run the benchmark in this directory
#   make test   build every variant and run every test
SHELL := /bin/bash
JOBS := $(shell nproc)
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)

RUN_PACKAGES := cmake g++ make
TEST_PACKAGES := $(RUN_PACKAGES) libgtest-dev g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
                 wine wine64 xvfb tmux clang-tidy util-linux
WINDOWS_TOOLCHAIN := cmake/mingw-w64-x86_64.cmake

# Installs whichever of the packages are missing.
define install_missing
	@missing=$$(for package in $(1); do dpkg -s $$package > /dev/null 2>&1 || echo $$package; done); \
	if [ -n "$$missing" ]; then \
		echo "Installing:" $$missing; \
		$(SUDO) apt-get update -qq && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing > /dev/null; \
	fi
endef

.PHONY: run test

run:
	$(call install_missing,$(RUN_PACKAGES))
	cmake -S . -B build -DBUILD_TESTING=OFF > /dev/null
	cmake --build build -j$(JOBS) --target orvenna
	./build/orvenna

test:
	$(call install_missing,$(TEST_PACKAGES))
	cmake -S . -B build -DBUILD_TESTING=ON > /dev/null
	cmake --build build -j$(JOBS)
	cmake -S . -B build-address -DORVENNA_SANITIZE=address > /dev/null
	cmake --build build-address -j$(JOBS)
	cmake -S . -B build-thread -DORVENNA_SANITIZE=thread > /dev/null
	cmake --build build-thread -j$(JOBS)
	cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=$(WINDOWS_TOOLCHAIN) > /dev/null
	cmake --build build-win -j$(JOBS)
	@failed=""; \
	for tree in build build-address build-thread build-win; do \
		echo "=== tests in $$tree"; \
		ctest --test-dir $$tree --output-on-failure -j$(JOBS) || failed="$$failed $$tree"; \
	done; \
	if [ -n "$$failed" ]; then echo "Failing test trees:$$failed"; exit 1; fi
