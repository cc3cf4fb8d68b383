# Two set-up commands for a fresh Debian 12 machine: `make run` and `make test`.
# Everything else here is for developers.

JOBS ?= $(shell nproc)
LUMARC_DIR ?= $(CURDIR)/run

.PHONY: run test deps build build-asan package bench fuzz soak clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@ninja -C build/debug -j $(JOBS)

build-asan: deps
	@cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON >/dev/null
	@ninja -C build/asan -j $(JOBS)

# The Debian package build/corvane-tools_VERSION_ARCH.deb (Release build in
# build/package): `apt install ./build/corvane-tools_*.deb`.
package: deps
	@JOBS=$(JOBS) bash scripts/package.sh build/package build

run: build
	@LUMARC_DIR="$(LUMARC_DIR)" bash scripts/run.sh build/debug

test: deps
	@bash scripts/test.sh

bench: deps
	@cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BENCH=ON -DCORVANE_TESTS=OFF >/dev/null
	@ninja -C build/release -j $(JOBS)
	@bash scripts/bench.sh build/release

fuzz: deps
	@bash scripts/fuzz.sh

# Not in CI: SOAK_SECONDS (default 600) of faults against one collect process.
soak: deps
	@bash scripts/soak.sh

clean:
	rm -rf build
