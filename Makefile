# The README's two commands: `make demo` and `make test`.
JOBS ?= 2

.PHONY: deps build demo test test-asan bench clean

deps:
	@scripts/install-deps

build: deps
	cmake --preset release >/dev/null
	cmake --build build/release -j$(JOBS)

demo: build
	build/release/bin/corvane export -o sample.wrl
	@echo "wrote sample.wrl"

test: build
	ctest --preset release -j$(JOBS)

test-asan: deps
	cmake --preset asan >/dev/null
	cmake --build build/asan -j$(JOBS)
	ctest --preset asan -j$(JOBS)

bench: deps
	@scripts/install-deps --bench
	cmake --preset release >/dev/null
	cmake --build build/release -j$(JOBS)
	bench/run-all

clean:
	rm -rf build
