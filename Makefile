# KAV on a fresh Debian machine: `make run` starts the program, `make test`
# runs every test. Both first install what is missing (as root) and build.

PACKAGES := cmake ninja-build g++ libgtest-dev libgmock-dev libncurses-dev tmux graphviz ghostscript groff-base libbdd-dev
RELEASE_DIR := build/release
# Where `make install` puts kav (PREFIX/bin), KAV_Info.PDF (PREFIX/share/doc/kav)
# and the manual page (PREFIX/share/man/man1).
PREFIX ?= /usr/local
SANITIZE_DIR := build/sanitize
BENCH_DIR := build/bench
FUZZ_DIR := build/fuzz

.PHONY: deps build run test test-sanitize bench fuzz install clean

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

build: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(RELEASE_DIR)

# The user directory is ./user; orva.ini beside the executable names it and
# keeps the clocking switch it had.
run: build
	@mkdir -p user
	@ini=$(RELEASE_DIR)/orva.ini; \
	clock=$$(sed -n 's/^CLOCK \([0-9]*\).*/\1/p' $$ini 2>/dev/null); \
	printf '%s\nCLOCK %s\n' "$(CURDIR)/user" "$${clock:-0}" > $$ini
	./$(RELEASE_DIR)/kav

test: build
	ctest --test-dir $(RELEASE_DIR) --output-on-failure -j2

# An installed kav keeps its orva.ini per user ($XDG_CONFIG_HOME/kav, else
# ~/.config/kav). DESTDIR, when set, is put in front of PREFIX.
install: build
	cmake --install $(RELEASE_DIR) --prefix $(PREFIX)

# The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKAV_SANITIZE=address,undefined
	cmake --build $(SANITIZE_DIR)
	ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j2

bench: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCH=ON -DKAV_BUILD_TESTS=OFF
	cmake --build $(BENCH_DIR)

# libFuzzer targets; they need clang.
fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_FUZZ=ON \
	  -DKAV_BUILD_TESTS=OFF -DKAV_SANITIZE=address,undefined,fuzzer-no-link
	cmake --build $(FUZZ_DIR)

clean:
	rm -rf build
