# KAV on a fresh Debian machine: `make run` starts the program, `make test`
# runs every test. Both first install what is missing (as root) and build.

PACKAGES := cmake ninja-build g++ libgtest-dev libgmock-dev libncurses-dev tmux graphviz ghostscript groff-base \
  man-db cups-bsd libbdd-dev
RELEASE_DIR := build/release
# Where `make install` puts kav (PREFIX/bin), KAV_Info.PDF (PREFIX/share/doc/kav),
# the manual page (PREFIX/share/man/man1) and the bash completion
# (PREFIX/share/bash-completion/completions).
PREFIX ?= /usr/local
SANITIZE_DIR := build/sanitize
BENCH_DIR := build/bench
FUZZ_DIR := build/fuzz
WERROR ?= ON
# Build and test jobs: one per core, not more.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: deps configure build run test test-sanitize bench fuzz install clean

deps:
	@missing=""; \
	for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; \
	  else \
	    echo "Missing Debian packages:$$missing"; \
	    echo "Install them with:  sudo apt-get install$$missing"; \
	    exit 1; \
	  fi; \
	fi

configure: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(RELEASE_DIR) -j $(JOBS)

# Only the program and its documents, not the tests. The user directory is
# ./user; orva.ini beside the executable names it, written only when it is
# missing, so that a directory chosen with R stays chosen.
run: configure
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target kav kav_docs
	@mkdir -p user
	@ini=$(RELEASE_DIR)/orva.ini; \
	[ -f $$ini ] || printf '%s\nCLOCK 0\n' "$(CURDIR)/user" > $$ini
	./$(RELEASE_DIR)/kav

# Built as CI builds: warnings are errors (WERROR=OFF turns that off), and
# the benchmarks and fuzz targets are built in the same tree, not run, so
# that they cannot rot; the tree then also serves `make run`.
test: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAV_WERROR=$(WERROR) -DBUILD_BENCH=ON \
	  -DBUILD_FUZZ=ON
	cmake --build $(RELEASE_DIR) -j $(JOBS)
	ctest --test-dir $(RELEASE_DIR) --output-on-failure -j $(JOBS)

# An installed kav keeps its orva.ini per user ($XDG_CONFIG_HOME/kav, else
# ~/.config/kav). DESTDIR, when set, is put in front of PREFIX.
install: configure
	cmake --build $(RELEASE_DIR) -j $(JOBS) --target kav kav_docs
	cmake --install $(RELEASE_DIR) --prefix $(PREFIX)

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKAV_SANITIZE=address,undefined
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS)

# Builds every benchmark and runs the model families one (Sync, Meet,
# Supcon, Minstate, Project on the line, breakdown and random families; a
# few minutes). The others run by hand from $(BENCH_DIR)/bench.
bench: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCH=ON -DKAV_BUILD_TESTS=OFF
	cmake --build $(BENCH_DIR) -j $(JOBS)
	./$(BENCH_DIR)/bench/familiesBench

# libFuzzer targets; they need clang.
fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_FUZZ=ON \
	  -DKAV_BUILD_TESTS=OFF -DKAV_SANITIZE=address,undefined,fuzzer-no-link
	cmake --build $(FUZZ_DIR) -j $(JOBS)

clean:
	rm -rf build
