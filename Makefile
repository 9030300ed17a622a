# The README's two commands: `make demo` and `make test`.
JOBS ?= 2
# Minutes per fuzz target for `make fuzz`.
MINUTES ?= 1

.PHONY: deps build demo test test-asan test-tsan bench fuzz clean

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

# The export path under ThreadSanitizer: only what its tests need is built.
test-tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build build/tsan -j$(JOBS) --target corvane Vrml faces_tests integration_tests
	ctest --preset tsan -j$(JOBS)

bench: deps
	@scripts/install-deps --bench
	cmake --preset release >/dev/null
	cmake --build build/release -j$(JOBS)
	bench/run-all

# Every fuzz target for MINUTES minutes each, from its seeds in the tree and
# the shared corpus where it lies beside the project (scripts/fuzz).
fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build build/fuzz -j$(JOBS) --target fuzz
	scripts/fuzz $(MINUTES)

clean:
	rm -rf build
