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

// The calling thread's scratch block of kScratchBytes, or null when it
// cannot be had (the caller then allocates as usual).
inline std::uint8_t* threadScratch() {
  struct Block {
    std::uint8_t* bytes = static_cast<std::uint8_t*>(std::malloc(kScratchBytes));
    ~Block() { std::free(bytes); }
  };
  thread_local Block block;
  return block.bytes;
}

}  // namespace vellum
