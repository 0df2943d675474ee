# Front door: `make run` and `make test` set up a fresh machine, build and go.
# A plain `make` builds the release binaries build/brix and build/brix-tools.

BUILD     := build
SANITIZE  := build-sanitize
JOBS      := $(shell nproc 2>/dev/null || echo 2)
# Debian packages the build and the tests need: stockfish is the perft
# oracle; xboard, xvfb and fairymax play the GUI match.
PACKAGES  := cmake g++ make libgtest-dev stockfish xboard xvfb fairymax

.PHONY: all release sanitize run test deps clean

all: release

# polyglot runs the engine's UCI mode in the GUI match.
PACKAGES  += polyglot

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

BOOK_GAMES := book/games/masters-modern.pgn

# The engine reads BrixBook.bin from its working directory: build one from
# the committed games the first time.
BrixBook.bin: | release
	./$(BUILD)/brix /CB $(BOOK_GAMES) > /dev/null

run: deps release BrixBook.bin
	./$(BUILD)/brix

test: deps release sanitize
	cd $(BUILD) && ctest --output-on-failure
	cd $(SANITIZE) && ctest --output-on-failure

clean:
	rm -rf $(BUILD) $(SANITIZE)
