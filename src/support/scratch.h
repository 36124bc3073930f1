// Per-thread memory, kept from one parse call to the next on the same
// thread: a scratch block in which a short statement's document is written
// without growing a fresh buffer, a large result buffer that the host gave
// back (below), and an arena chunk (see arena.cpp). Each thread has its own;
// no parse call ever runs inside another on one thread, so each has one
// user. One owner frees them all when the thread ends.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "support/huge_pages.h"

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

// A document buffer that the host gave back (see keepOrFree), kept for the
// thread's next large document, and its size.
inline constinit thread_local void* keptDocument = nullptr;
inline constinit thread_local std::size_t keptDocumentBytes = 0;
// The last large result handed over on this thread, its size, and the
// count of unkept releases (below) at that time: the only buffer the thread
// may keep when the host releases it.
inline constinit thread_local void* lastLargeResult = nullptr;
inline constinit thread_local std::size_t lastLargeResultBytes = 0;
inline constinit thread_local std::uint64_t lastLargeResultReleases = 0;

// How many large-page-aligned buffers were released without being kept, on
// any thread; counted before each is freed. A thread's record of its last
// result says nothing once the host has released that buffer elsewhere: the
// allocator may since have given the address to another thread's smaller
// result, which the host may then release here. Such a buffer is only taken
// for the recorded size while this count has not moved since the record was
// made. The count moves only when a host releases a large result on a thread
// that did not make it, or one that is not kept, so it is seldom written.
inline constinit std::atomic<std::uint64_t> unkeptReleases{0};

// An arena chunk kept for the thread's next parse, and its size.
inline constinit thread_local void* keptChunk = nullptr;
inline constinit thread_local std::size_t keptChunkBytes = 0;

// Frees the thread's memory when it ends; registered by the first use.
struct BlockOwner {
  ~BlockOwner() {
    std::free(block);
    block = nullptr;
    std::free(keptDocument);
    keptDocument = nullptr;
    keptDocumentBytes = 0;
    std::free(keptChunk);
    keptChunk = nullptr;
    keptChunkBytes = 0;
    closed = true;
  }
};

// Registers the owner; false once it has run.
inline bool openSlots() {
  if (closed) return false;
  thread_local BlockOwner owner;
  (void)owner;
  return true;
}

[[gnu::noinline, gnu::cold]] inline std::uint8_t* firstUse() {
  if (!openSlots()) return nullptr;
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

// Large documents. A multi-megabyte buffer fresh from malloc is mapped page
// by page as it is filled, and the kernel clears every page first: for a
// large script that costs more than a tenth of the parse. A large result
// buffer that the host releases on the thread that made it is therefore
// kept there (the largest one of kKeptDocumentMin to kKeptDocumentMax
// bytes), and the thread's next document of a similar size is written into
// it. At most one buffer stays with a thread; it is freed when the thread
// ends. A buffer released on another thread is simply freed.
//
// A buffer's size is known only from its hand-over (noteDocumentHandedOver),
// never asked of the allocator, and trusted only while no large buffer has
// been released unkept anywhere since (see unkeptReleases). Only the
// buffers of large documents start on a huge-page boundary (see
// allocateForFilling), so handing over or releasing any other buffer costs
// one test.
inline constexpr std::size_t kKeptDocumentMin = std::size_t{1} << 20;
inline constexpr std::size_t kKeptDocumentMax = std::size_t{64} << 20;

inline bool onHugePageBoundary(const void* p) {
  return (reinterpret_cast<std::uintptr_t>(p) & (kHugePageBytes - 1)) == 0 && p != nullptr;
}

namespace scratch_detail {

[[gnu::noinline]] inline void noteLargeResult(void* p, std::size_t bytes) {
  lastLargeResult = p;
  lastLargeResultBytes = bytes;
  lastLargeResultReleases = unkeptReleases.load(std::memory_order_acquire);
}

[[gnu::noinline]] inline void keepOrFreeLarge(void* p) {
  if (p == lastLargeResult) {
    const std::size_t bytes = lastLargeResultBytes;
    const bool current = lastLargeResultReleases == unkeptReleases.load(std::memory_order_acquire);
    lastLargeResult = nullptr;
    lastLargeResultBytes = 0;
    if (current && bytes >= kKeptDocumentMin && bytes <= kKeptDocumentMax && bytes > keptDocumentBytes &&
        openSlots()) {
      std::free(keptDocument);
      keptDocument = p;
      keptDocumentBytes = bytes;
      return;
    }
  }
  unkeptReleases.fetch_add(1, std::memory_order_release);
  std::free(p);
}

}  // namespace scratch_detail

// Notes a document of `bytes` bytes at `p` that a parse call hands over to
// the host.
inline void noteDocumentHandedOver(void* p, std::size_t bytes) {
  if (onHugePageBoundary(p)) scratch_detail::noteLargeResult(p, bytes);
}

// Notes an error text at `p` that a parse call hands over: memory that was
// a large result before must no longer be taken for one.
inline void noteErrorHandedOver(void* p) {
  if (onHugePageBoundary(p)) scratch_detail::noteLargeResult(nullptr, 0);
}

// Frees `p` (malloc'd), or keeps it for a later document of this thread.
inline void keepOrFree(void* p) {
  if (onHugePageBoundary(p)) return scratch_detail::keepOrFreeLarge(p);
  std::free(p);
}

// The kept buffer, when one is there whose size is within a factor of two
// of `wanted` (so that neither the buffer nor the document is wasted), with
// its size in `bytes`; else null. The caller owns the buffer.
inline std::uint8_t* takeKeptDocument(std::size_t wanted, std::size_t& bytes) {
  const std::size_t kept = scratch_detail::keptDocumentBytes;
  if (kept == 0 || kept < wanted / 2 || kept / 2 > wanted) return nullptr;
  bytes = kept;
  void* p = scratch_detail::keptDocument;
  scratch_detail::keptDocument = nullptr;
  scratch_detail::keptDocumentBytes = 0;
  return static_cast<std::uint8_t*>(p);
}

}  // namespace vellum
