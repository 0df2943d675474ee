# Front door: `make run` and `make test` set up a fresh machine, build and go.
# A plain `make` builds the release binaries build/brix and build/brix-tools.

BUILD     := build
SANITIZE  := build-sanitize
FUZZ      := build-fuzz
TSAN      := build-tsan
WINDOWS   := build-windows
VERSION   := $(shell grep -m1 -o 'project.Brix VERSION [0-9.]*' CMakeLists.txt | cut -d' ' -f3)
JOBS      := $(shell nproc 2>/dev/null || echo 2)
# Sub-makes keep to themselves: no "Entering directory" lines.
MAKEFLAGS += --no-print-directory
# CMake without its per-file progress lines; warnings and errors still show.
QUIET     := -DCMAKE_RULE_MESSAGES=OFF -DCMAKE_TARGET_MESSAGES=OFF

# Debian packages playing needs: a compiler and CMake.
RUN_PACKAGES  := cmake g++ make
# And the suite: GoogleTest; stockfish, the perft oracle; xboard, xvfb and
# fairymax for the GUI match, polyglot for its UCI half; clang-14 with
# libFuzzer (libclang-rt-14-dev) for the fuzz targets, llvm-14's symbolizer
# to name the lines in their reports; gaviota-dtm (../shared/tools) checks
# the 3-man tables against Gaviota's.
TEST_PACKAGES := $(RUN_PACKAGES) libgtest-dev stockfish xboard xvfb fairymax polyglot clang-14 \
                 libclang-rt-14-dev llvm-14 libgaviotatb-dev gaviotatb
# The Windows programs: Debian's MinGW-w64 (headers, C and C++ libraries),
# compiled by clang and linked by lld (cmake/mingw-w64.cmake says why), and
# Wine to run them in the suite.
WINDOWS_PACKAGES := g++-mingw-w64-x86-64 clang-14 lld-14
TEST_PACKAGES    += $(WINDOWS_PACKAGES) wine wine64
# The release build has the test binary only when the suite is wanted.
TESTS     := OFF

.PHONY: all release sanitize fuzz tsan windows dist run test deps test-deps clean tablebases tablebases5

all: release

define install
	@missing=""; for p in $(1); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
	  else \
	    echo "missing Debian packages:$$missing (run as root, or install them)"; exit 1; \
	  fi; \
	fi
endef

deps:
	$(call install,$(RUN_PACKAGES))

test-deps:
	$(call install,$(TEST_PACKAGES))

release:
	@echo "building $(BUILD)/brix and $(BUILD)/brix-tools$(if $(filter ON,$(TESTS)), and the tests)"
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DBRIX_TESTS=$(TESTS) -DBRIX_WINE_TESTS=$(TESTS) \
	  $(QUIET) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

sanitize:
	@echo "building the sanitizer build in $(SANITIZE)"
	@cmake -S . -B $(SANITIZE) -DCMAKE_BUILD_TYPE=Debug -DBRIX_SANITIZE=ON $(QUIET) >/dev/null
	@cmake --build $(SANITIZE) -j $(JOBS)

# The fuzz targets (fuzz/), built with clang and libFuzzer in their own
# directory; the gcc builds above are not touched.
fuzz:
	@echo "building the fuzz targets in $(FUZZ)"
	@cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 -DBRIX_FUZZ=ON -DBRIX_TESTS=OFF \
	  $(QUIET) >/dev/null
	@cmake --build $(FUZZ) -j $(JOBS)

# The engine and tools under ThreadSanitizer, for multi-thread searches.
tsan:
	@echo "building the thread sanitizer build in $(TSAN)"
	@cmake -S . -B $(TSAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIX_TSAN=ON -DBRIX_TESTS=OFF $(QUIET) >/dev/null
	@cmake --build $(TSAN) -j $(JOBS) --target brix brix-tools

# build-windows/brix.exe and brix-tools.exe for 64-bit Windows, from the same
# source, linked to run on a bare Windows.
windows:
	$(call install,$(WINDOWS_PACKAGES))
	@echo "building $(WINDOWS)/brix.exe and $(WINDOWS)/brix-tools.exe"
	@cmake -S . -B $(WINDOWS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DBRIX_TESTS=OFF $(QUIET) >/dev/null
	@cmake --build $(WINDOWS) -j $(JOBS)

BOOK_GAMES := book/games/masters-modern.pgn

# The engine reads BrixBook.bin from its working directory: build one from
# the committed games the first time.
BrixBook.bin: | release
	@echo "making the opening book BrixBook.bin from $(BOOK_GAMES)"
	@./$(BUILD)/brix /CB $(BOOK_GAMES) > /dev/null

# Endgame tables of up to four men, made by the tools program and kept
# compressed (.emd); tbgen keeps the tables already there, compresses any
# found uncompressed, and makes only the missing ones. Its line a table
# (sizes, passes, times) goes to a log; progress shows on the terminal.
TABLES := $(CURDIR)/tablebases

tablebases: release
	@./$(BUILD)/brix-tools tbgen $(TABLES) --pack > $(BUILD)/tablebases.log

# The five-man set beside them (hours, about 31 GB on disk at most while it is
# made); stopped and started again, it continues where it was.
tablebases5: release
	@./$(BUILD)/brix-tools tbgen $(TABLES) --men 5 --pack >> $(BUILD)/tablebases5.log

# A first brix.cfg points the engine at them (a path without blanks: the
# configuration value is one word).
brix.cfg:
	@echo "EGTB_PATH $(TABLES)" > $@

run: deps release BrixBook.bin tablebases brix.cfg
	@echo "Brix is ready: type xboard commands (new, go, e2e4, quit) or 'uci' for UCI; GUIs start $(BUILD)/brix."
	@./$(BUILD)/brix

# Tests run two at a time (the GUI matches alone: they play on the clock).
# Each configuration ends with ctest's count of passed tests; the GoogleTest
# binary counts as one of them (build/brix-tests runs its cases alone).
test: test-deps
	@$(MAKE) release sanitize fuzz tsan windows tablebases TESTS=ON
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure
	cd $(SANITIZE) && ctest -j $(JOBS) --output-on-failure
	cd $(FUZZ) && ctest -j $(JOBS) --output-on-failure
	cd $(TSAN) && ctest --output-on-failure

# Release archives for both systems in dist/: the engine, the tools program,
# the opening book, a sample brix.cfg, the README and how to install.
DIST_LINUX   := brix-$(VERSION)-linux-x86_64
DIST_WINDOWS := brix-$(VERSION)-windows-x86_64

dist: deps release windows BrixBook.bin
	@rm -rf dist && mkdir -p dist/$(DIST_LINUX) dist/$(DIST_WINDOWS)
	@cp $(BUILD)/brix $(BUILD)/brix-tools dist/$(DIST_LINUX)/
	@cp $(WINDOWS)/brix.exe $(WINDOWS)/brix-tools.exe dist/$(DIST_WINDOWS)/
	@strip dist/$(DIST_LINUX)/brix dist/$(DIST_LINUX)/brix-tools
	@x86_64-w64-mingw32-strip dist/$(DIST_WINDOWS)/brix.exe dist/$(DIST_WINDOWS)/brix-tools.exe
	@for d in $(DIST_LINUX) $(DIST_WINDOWS); do \
	  cp BrixBook.bin README.md docs/INSTALL.txt dist/$$d/ && cp docs/brix.cfg.sample dist/$$d/brix.cfg; done
	@cd dist && for d in $(DIST_WINDOWS); do \
	  sed -i 's/$$/\r/' $$d/INSTALL.txt $$d/brix.cfg && python3 -m zipfile -c $$d.zip $$d; done
	@cd dist && tar -czf $(DIST_LINUX).tar.gz $(DIST_LINUX)
	@rm -rf dist/$(DIST_LINUX) dist/$(DIST_WINDOWS)
	@ls -l dist

clean:
	rm -rf $(BUILD) $(SANITIZE) $(FUZZ) $(TSAN) $(WINDOWS) dist
