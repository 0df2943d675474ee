# Front door: `make run` and `make test` set up a fresh machine, build and go.
# A plain `make` builds the release binaries build/brix and build/brix-tools.

BUILD     := build
SANITIZE  := build-sanitize
FUZZ      := build-fuzz
JOBS      := $(shell nproc 2>/dev/null || echo 2)
# Debian packages the build and the tests need: stockfish is the perft
# oracle; xboard, xvfb and fairymax play the GUI match; clang-14 with
# libFuzzer (libclang-rt-14-dev) builds the fuzz targets, and llvm-14's
# symbolizer names the lines in their reports.
PACKAGES  := cmake g++ make libgtest-dev stockfish xboard xvfb fairymax clang-14 libclang-rt-14-dev llvm-14

.PHONY: all release sanitize fuzz run test deps clean tablebases tablebases5

all: release

# polyglot runs the engine's UCI mode in the GUI match.
PACKAGES  += polyglot
# gaviota-dtm (../shared/tools) checks the 3-man tables against Gaviota's.
PACKAGES  += libgaviotatb-dev gaviotatb

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else \
	    echo "missing Debian packages:$$missing (run as root, or install them)"; exit 1; \
	  fi; \
	fi

release:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

sanitize:
	cmake -S . -B $(SANITIZE) -DCMAKE_BUILD_TYPE=Debug -DBRIX_SANITIZE=ON >/dev/null
	cmake --build $(SANITIZE) -j $(JOBS)

# The fuzz targets (fuzz/), built with clang and libFuzzer in their own
# directory; the gcc builds above are not touched.
fuzz:
	cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-14 -DBRIX_FUZZ=ON -DBRIX_TESTS=OFF >/dev/null
	cmake --build $(FUZZ) -j $(JOBS)

BOOK_GAMES := book/games/masters-modern.pgn

# The engine reads BrixBook.bin from its working directory: build one from
# the committed games the first time.
BrixBook.bin: | release
	./$(BUILD)/brix /CB $(BOOK_GAMES) > /dev/null

# Endgame tables of up to four men, made by the tools program and kept
# compressed (.emd); tbgen keeps the tables already there, compresses any
# found uncompressed, and makes only the missing ones.
TABLES := $(CURDIR)/tablebases

tablebases: release
	./$(BUILD)/brix-tools tbgen $(TABLES) --pack

# The five-man set beside them (hours, about 31 GB on disk at most while it is
# made); stopped and started again, it continues where it was.
tablebases5: release
	./$(BUILD)/brix-tools tbgen $(TABLES) --men 5 --pack

# A first brix.cfg points the engine at them (a path without blanks: the
# configuration value is one word).
brix.cfg:
	echo "EGTB_PATH $(TABLES)" > $@

run: deps release BrixBook.bin tablebases brix.cfg
	./$(BUILD)/brix

# Tests run two at a time (the GUI matches alone: they play on the clock).
test: deps release sanitize fuzz tablebases
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure
	cd $(SANITIZE) && ctest -j $(JOBS) --output-on-failure
	cd $(FUZZ) && ctest -j $(JOBS) --output-on-failure

clean:
	rm -rf $(BUILD) $(SANITIZE) $(FUZZ)
