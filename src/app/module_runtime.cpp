// The module's runtime: its instance handle, the start that routes every
// dynamic allocation of the module to the host's allocator, and the global
// operator new and delete that do the routing. The linker's version script
// keeps these operators (and the C++ library linked into the module) local,
// so they serve the module's own code only.
#include <cstdlib>
#include <new>

#include "acrx.h"
#include "app/module_runtime.h"

namespace {
char gInstanceMarker;
HINSTANCE gInstance = nullptr;
bool gRuntimeStarted = false;

// The operating system's attach: only the instance handle is recorded.
__attribute__((constructor)) void attachModule() { gInstance = &gInstanceMarker; }
__attribute__((destructor)) void detachModule() { gRuntimeStarted = false; }

void* allocate(std::size_t size) {
  void* block = acad_malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
} // namespace

HINSTANCE moduleInstance() { return gInstance; }
bool moduleRuntimeStarted() { return gRuntimeStarted; }

extern "C" __attribute__((visibility("default"))) int _SetacrxPtp() {
  gRuntimeStarted = true;
  return 1;
}

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return acad_malloc(size == 0 ? 1 : size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return acad_malloc(size == 0 ? 1 : size); }
void operator delete(void* block) noexcept { acad_free(block); }
void operator delete[](void* block) noexcept { acad_free(block); }
void operator delete(void* block, std::size_t) noexcept { acad_free(block); }
void operator delete[](void* block, std::size_t) noexcept { acad_free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { acad_free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { acad_free(block); }
