// The parse call's arena: alignment, chunks, and rewinding to a mark.
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "support/arena.h"

namespace {

using vellum::Arena;

TEST(ArenaTest, AllocationsAreAlignedAndDistinct) {
  Arena arena;
  struct Case {
    std::size_t size;
    std::size_t align;
  } cases[] = {{1, 1}, {3, 8}, {16, 16}, {5000, 8}, {1, 16}, {70000, 16}, {2u << 20, 8}, {7, 4}};
  std::vector<std::pair<char*, std::size_t>> blocks;
  for (const Case& c : cases) {
    char* p = static_cast<char*>(arena.allocate(c.size, c.align));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % c.align, 0u) << c.size;
    std::memset(p, 0x5a, c.size);
    blocks.push_back({p, c.size});
  }
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    for (std::size_t j = i + 1; j < blocks.size(); ++j) {
      bool apart = blocks[i].first + blocks[i].second <= blocks[j].first ||
                   blocks[j].first + blocks[j].second <= blocks[i].first;
      EXPECT_TRUE(apart) << i << " and " << j;
    }
  }
}

// After a rewind the same sizes land at the same places: the inline block
// and every chunk taken since the mark are used again, none is taken anew.
TEST(ArenaTest, RewindReusesTheMemoryAfterTheMark) {
  Arena arena;
  arena.allocate(100, 8);  // before the mark: kept
  const Arena::Mark mark = arena.mark();
  const std::size_t sizes[] = {200, 3000, 9000, 40000, 1u << 20, 24, 3u << 20};
  std::vector<void*> first;
  for (std::size_t size : sizes) first.push_back(arena.allocate(size, 8));
  for (int round = 0; round < 3; ++round) {
    arena.rewind(mark);
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
      EXPECT_EQ(arena.allocate(sizes[i], 8), first[i]) << "round " << round << ", block " << i;
    }
  }
}

TEST(ArenaTest, RewindToTheStartAndToAMarkInAChunk) {
  Arena arena;
  const Arena::Mark start = arena.mark();
  void* a = arena.allocate(64, 8);
  arena.allocate(50000, 8);  // a chunk
  const Arena::Mark inChunk = arena.mark();
  void* b = arena.allocate(64, 8);
  arena.allocate(200000, 8);  // another
  arena.rewind(inChunk);
  EXPECT_EQ(arena.allocate(64, 8), b);
  arena.rewind(start);
  EXPECT_EQ(arena.allocate(64, 8), a);
}

// A request that the first chunk given back cannot hold takes a later one
// that can, instead of a new chunk.
TEST(ArenaTest, RewindServesALargeRequestFromALaterChunk) {
  Arena arena;
  const Arena::Mark mark = arena.mark();
  arena.allocate(5000, 8);                // a first, small chunk
  void* large = arena.allocate(300000, 8);  // a chunk of its own
  arena.rewind(mark);
  EXPECT_EQ(arena.allocate(300000, 8), large);
}

}  // namespace
