// The large result buffer a thread may keep for its next document: which
// releases keep it, and when the size recorded at its hand-over is no longer
// trusted.
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "support/scratch.h"

namespace {

using namespace vellum;

constexpr std::size_t kBytes = std::size_t{4} << 20;

void* largeBlock() { return std::aligned_alloc(kHugePageBytes, kBytes); }

// A large result made, handed over and released by another thread.
void releasedElsewhere() {
  std::thread([] {
    void* other = largeBlock();
    noteDocumentHandedOver(other, kBytes);
    std::thread([&] { keepOrFree(other); }).join();
  }).join();
}

// On a fresh thread: runs `before`, hands over a large block, runs
// `between`, releases the block there and tells whether the thread kept it
// for a document of the same size.
template <class Before, class Between>
bool kept(Before before, Between between) {
  bool result = false;
  std::thread([&] {
    before();
    void* made = largeBlock();
    noteDocumentHandedOver(made, kBytes);
    between();
    keepOrFree(made);
    std::size_t bytes = 0;
    std::uint8_t* taken = takeKeptDocument(kBytes, bytes);
    result = taken == made && bytes == kBytes;
    std::free(taken);
  }).join();
  return result;
}

TEST(ThreadMemoryTest, ALargeResultReleasedOnItsThreadIsKept) {
  auto nothing = [] {};
  EXPECT_TRUE(kept(nothing, nothing));
  // A small result in between leaves the record alone.
  EXPECT_TRUE(kept(nothing, [] {
    void* small = std::malloc(100);
    noteDocumentHandedOver(small, 100);
    keepOrFree(small);
  }));
  // Releases elsewhere before the hand-over do not matter.
  EXPECT_TRUE(kept(releasedElsewhere, nothing));
}

// Once a large buffer was released on a thread that did not make it, the
// allocator may have given its address to another thread's smaller result,
// which the host may release here: the recorded size then says nothing.
TEST(ThreadMemoryTest, ARecordIsNotTrustedAfterAReleaseElsewhere) {
  auto nothing = [] {};
  EXPECT_FALSE(kept(nothing, releasedElsewhere));
  // Another thread's result released on this one.
  EXPECT_FALSE(kept(nothing, [] {
    void* other = nullptr;
    std::thread([&] {
      other = largeBlock();
      noteDocumentHandedOver(other, kBytes);
    }).join();
    keepOrFree(other);
  }));
}

}  // namespace
