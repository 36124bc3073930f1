#include "support/arena.h"

#include <cstdlib>

namespace vellum {

Arena::~Arena() {
  Chunk* c = chunks_;
  while (c != nullptr) {
    Chunk* next = c->next;
    std::free(c);
    c = next;
  }
}

void* Arena::allocateSlow(std::size_t size, std::size_t align) {
  // Chunks double up to 1 MiB; a request larger than a chunk gets its own.
  std::size_t need = size + align + sizeof(Chunk);
  std::size_t chunkSize = nextChunkSize_;
  if (nextChunkSize_ < (std::size_t{1} << 20)) nextChunkSize_ *= 2;
  if (chunkSize < need) chunkSize = need;
  auto* chunk = static_cast<Chunk*>(std::malloc(chunkSize));
  if (chunk == nullptr) throw std::bad_alloc();
  chunk->next = chunks_;
  chunk->size = chunkSize;
  chunks_ = chunk;
  cur_ = reinterpret_cast<char*>(chunk + 1);
  end_ = reinterpret_cast<char*>(chunk) + chunkSize;
  std::uintptr_t p = (reinterpret_cast<std::uintptr_t>(cur_) + (align - 1)) & ~(align - 1);
  cur_ = reinterpret_cast<char*>(p + size);
  return reinterpret_cast<void*>(p);
}

}  // namespace vellum
