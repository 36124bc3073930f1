// Per-thread scratch memory for short documents: kept from one parse call to
// the next on the same thread, so that a short statement's document is
// written without growing a fresh buffer. Each thread has its own block; no
// parse call ever runs inside another on one thread, so a block has one user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace vellum {

inline constexpr std::size_t kScratchBytes = 64 * 1024;

namespace scratch_detail {

// The calling thread's block, null until its first use. A pointer with a
// constant initial value and no destructor: reading it is one thread-local
// access, with no guard and no registration.
inline constinit thread_local std::uint8_t* block = nullptr;

// Set once the owner has freed the block at the end of the thread: a parse
// that still runs then (from another thread-local's destructor) gets no
// block, which would never be freed.
inline constinit thread_local bool closed = false;

// Frees the block when its thread ends; registered by the first use.
struct BlockOwner {
  ~BlockOwner() {
    std::free(block);
    block = nullptr;
    closed = true;
  }
};

[[gnu::noinline, gnu::cold]] inline std::uint8_t* firstUse() {
  if (closed) return nullptr;
  thread_local BlockOwner owner;
  (void)owner;
  block = static_cast<std::uint8_t*>(std::malloc(kScratchBytes));
  return block;
}

}  // namespace scratch_detail

// The calling thread's scratch block of kScratchBytes, or null when it
// cannot be had (the caller then allocates as usual).
inline std::uint8_t* threadScratch() {
  std::uint8_t* bytes = scratch_detail::block;
  return bytes != nullptr ? bytes : scratch_detail::firstUse();
}

}  // namespace vellum
