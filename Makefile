# The README's two commands: `make demo` and `make test`.
JOBS ?= 2

.PHONY: deps build demo test test-asan test-tsan bench clean

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

clean:
	rm -rf build
