#include "support/arena.h"

#include <cstdlib>

#include "support/scratch.h"

namespace vellum {
namespace {

// One chunk kept per thread from one parse call to the next, so that a
// call whose tree outgrows the inline block finds its first chunk without
// malloc and without the page faults of fresh memory. At most
// kKeptChunkBytes stay with an idle thread; no parse call runs inside
// another on one thread, so the slot has one user at a time.
constexpr std::size_t kKeptChunkBytes = std::size_t{1} << 20;

// The thread's slot (scratch_detail::keptChunk), freed with the rest of the
// thread's memory when it ends.
using scratch_detail::keptChunk;
using scratch_detail::keptChunkBytes;

// Stores `chunk` in the thread's slot, or frees it once the slot is closed.
void keepChunk(Arena::Chunk* chunk) {
  if (!scratch_detail::openSlots()) {
    std::free(chunk);
    return;
  }
  keptChunk = chunk;
  keptChunkBytes = chunk->size;
}

// Frees a list of chunks, except that the largest one that fits the
// thread's slot replaces a smaller one kept there.
void releaseChunkList(Arena::Chunk* c) {
  while (c != nullptr) {
    Arena::Chunk* next = c->next;
    if (c->size <= kKeptChunkBytes && c->size > keptChunkBytes) {
      std::free(keptChunk);
      keepChunk(c);
    } else {
      std::free(c);
    }
    c = next;
  }
}

}  // namespace

void Arena::releaseChunks() {
  releaseChunkList(chunks_);
  releaseChunkList(spare_);
  chunks_ = spare_ = nullptr;
}

void Arena::rewind(const Mark& m) {
  while (chunks_ != m.chunk) {
    Chunk* c = chunks_;
    chunks_ = c->next;
    c->next = spare_;
    spare_ = c;
  }
  cur_ = m.cur;
  end_ = m.end;
}

void* Arena::allocateSlow(std::size_t size, std::size_t align) {
  // Chunks double up to 1 MiB; a request larger than a chunk gets its own.
  // The thread's kept chunk serves the first request it can hold.
  std::size_t need = size + align + sizeof(Chunk);
  Chunk* chunk = nullptr;
  // The chunks given back by rewind serve first, in the order they were
  // first taken; one too small for this request stays for later ones.
  for (Chunk** link = &spare_; *link != nullptr; link = &(*link)->next) {
    if ((*link)->size >= need) {
      chunk = *link;
      *link = chunk->next;
      break;
    }
  }
  if (chunk == nullptr && keptChunk != nullptr && keptChunkBytes >= need) {
    chunk = static_cast<Chunk*>(keptChunk);
    chunk->size = keptChunkBytes;
    keptChunk = nullptr;
    keptChunkBytes = 0;
    while (nextChunkSize_ < (std::size_t{1} << 20) && nextChunkSize_ <= chunk->size) nextChunkSize_ *= 2;
  } else if (chunk == nullptr) {
    std::size_t chunkSize = nextChunkSize_;
    if (nextChunkSize_ < (std::size_t{1} << 20)) nextChunkSize_ *= 2;
    if (chunkSize < need) chunkSize = need;
    chunk = static_cast<Chunk*>(std::malloc(chunkSize));
    if (chunk == nullptr) throw std::bad_alloc();
    chunk->size = chunkSize;
  }
  chunk->next = chunks_;
  chunks_ = chunk;
  cur_ = reinterpret_cast<char*>(chunk + 1);
  end_ = reinterpret_cast<char*>(chunk) + chunk->size;
  std::uintptr_t p = (reinterpret_cast<std::uintptr_t>(cur_) + (align - 1)) & ~(align - 1);
  cur_ = reinterpret_cast<char*>(p + size);
  return reinterpret_cast<void*>(p);
}

std::string_view joinText(Arena& arena, const std::string_view* pieces, std::size_t count) {
  std::size_t size = 0;
  for (std::size_t i = 0; i < count; ++i) size += pieces[i].size();
  char* data = arena.allocateArray<char>(size);
  char* at = data;
  for (std::size_t i = 0; i < count; ++i) {
    // memcpy must not see the null data() of an empty view, even for 0 bytes.
    if (!pieces[i].empty()) std::memcpy(at, pieces[i].data(), pieces[i].size());
    at += pieces[i].size();
  }
  return {data, size};
}

}  // namespace vellum
