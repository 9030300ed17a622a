// The host's allocator. Every block carries a small header with its size and
// the module it was allocated for, so that frees are counted against the
// right module whoever releases the block.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "acrx.h"
#include "runtime/module_loader.h"

namespace {

struct alignas(std::max_align_t) BlockHeader {
  size_t size;
  corvane::LoadedModule* owner;
};

BlockHeader* headerOf(void* block) {
  return reinterpret_cast<BlockHeader*>(static_cast<char*>(block) - sizeof(BlockHeader));
}

void count(corvane::LoadedModule* owner, long blocks, long bytes) {
  if (owner == nullptr) return;
  owner->blocks += blocks;
  owner->bytes += bytes;
}

} // namespace

extern "C" {

void* acad_malloc(size_t size) {
  if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
  if (header == nullptr) return nullptr;
  header->size = size;
  header->owner = corvane::currentModule();
  count(header->owner, 1, static_cast<long>(size));
  return header + 1;
}

void* acad_calloc(size_t num, size_t size) {
  if (size != 0 && num > SIZE_MAX / size) return nullptr;
  void* block = acad_malloc(num * size);
  if (block != nullptr) std::memset(block, 0, num * size);
  return block;
}

void* acad_realloc(void* memblock, size_t size) {
  if (memblock == nullptr) return acad_malloc(size);
  if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  BlockHeader* old = headerOf(memblock);
  corvane::LoadedModule* owner = old->owner;
  size_t oldSize = old->size;
  auto* header = static_cast<BlockHeader*>(std::realloc(old, sizeof(BlockHeader) + size));
  if (header == nullptr) return nullptr;
  header->size = size;
  count(owner, 0, static_cast<long>(size) - static_cast<long>(oldSize));
  return header + 1;
}

void acad_free(void* memblock) {
  if (memblock == nullptr) return;
  BlockHeader* header = headerOf(memblock);
  count(header->owner, -1, -static_cast<long>(header->size));
  std::free(header);
}

size_t acad__msize(void* memblock) { return memblock == nullptr ? 0 : headerOf(memblock)->size; }

char* acad__strdup(const char* str) {
  if (str == nullptr) return nullptr;
  size_t n = std::strlen(str) + 1;
  auto* copy = static_cast<char*>(acad_malloc(n));
  if (copy != nullptr) std::memcpy(copy, str, n);
  return copy;
}

} // extern "C"
