// Bump allocator owned by one parse call. Tokens' decoded texts, tree nodes
// and their lists live here and are released together when the call ends:
// nothing allocated from an Arena is ever destroyed one by one, so only
// trivially destructible types may be placed in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string_view>
#include <type_traits>

#include "support/errors.h"

namespace vellum {

class Arena {
 public:
  // The first block lives inside the Arena itself, so a short statement's
  // tokens and tree need no malloc at all.
  Arena() : cur_(inline_), end_(inline_ + kInlineBytes) {}
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  // Inline: a short statement's arena has no chunks to give back.
  ~Arena() {
    if (chunks_ != nullptr || spare_ != nullptr) releaseChunks();
  }

  void* allocate(std::size_t size, std::size_t align) {
    std::uintptr_t p = (reinterpret_cast<std::uintptr_t>(cur_) + (align - 1)) & ~(align - 1);
    if (p + size > reinterpret_cast<std::uintptr_t>(end_)) {
      return allocateSlow(size, align);
    }
    cur_ = reinterpret_cast<char*>(p + size);
    return reinterpret_cast<void*>(p);
  }

  template <class T, class... Args>
  T* make(Args&&... args) {
    static_assert(std::is_trivially_destructible_v<T>, "arena objects are never destroyed");
    return new (allocate(sizeof(T), alignof(T))) T(static_cast<Args&&>(args)...);
  }

  template <class T>
  T* allocateArray(std::size_t n) {
    static_assert(std::is_trivially_destructible_v<T>);
    return static_cast<T*>(allocate(sizeof(T) * n, alignof(T)));
  }

  struct Chunk;
  // A point in the arena's history: rewinding to it frees, for reuse by the
  // allocations that follow, everything allocated after it.
  struct Mark {
    Chunk* chunk;
    char* cur;
    char* end;
  };
  Mark mark() const { return {chunks_, cur_, end_}; }
  // Nothing allocated after `m` may be used any more. The chunks taken since
  // are kept for the next allocations instead of being freed.
  void rewind(const Mark& m);

  struct Chunk {
    Chunk* next;
    std::size_t size;
  };

 private:
  void* allocateSlow(std::size_t size, std::size_t align);
  void releaseChunks();

  static constexpr std::size_t kInlineBytes = 4096;

  char* cur_;
  char* end_;
  Chunk* chunks_ = nullptr;
  Chunk* spare_ = nullptr;  // chunks given back by rewind, the oldest first
  std::size_t nextChunkSize_ = 16 * 1024;
  alignas(16) char inline_[kInlineBytes];
};

// A growable array in an Arena. Growing leaves the old storage behind in the
// arena (at most doubling the memory of the array), which keeps every push
// amortised O(1) without a destructor.
template <class T>
class ArenaVector {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  ArenaVector() = default;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T* data() { return data_; }
  const T* data() const { return data_; }

  // Bounds-checked access: an index outside the array is a defect.
  T& operator[](std::size_t i) {
    check(i < size_, "list index out of range");
    return data_[i];
  }
  const T& operator[](std::size_t i) const {
    check(i < size_, "list index out of range");
    return data_[i];
  }
  T& back() { return (*this)[size_ - 1]; }
  const T& back() const { return (*this)[size_ - 1]; }

  void push_back(Arena& arena, const T& value) {
    if (size_ == capacity_) grow(arena);
    data_[size_++] = value;
  }

  void insert(Arena& arena, std::size_t index, const T& value) {
    check(index <= size_, "list insert position out of range");
    if (size_ == capacity_) grow(arena);
    std::memmove(static_cast<void*>(data_ + index + 1), data_ + index, (size_ - index) * sizeof(T));
    data_[index] = value;
    ++size_;
  }

  void pop_back() {
    check(size_ > 0, "pop from an empty list");
    --size_;
  }

 private:
  void grow(Arena& arena) {
    check(capacity_ <= 0x7fffffffu, "list grew past 2147483648 elements");
    std::uint32_t newCapacity = capacity_ == 0 ? 4 : capacity_ * 2;
    T* fresh = arena.allocateArray<T>(newCapacity);
    if (size_ != 0) std::memcpy(static_cast<void*>(fresh), data_, size_ * sizeof(T));
    data_ = fresh;
    capacity_ = newCapacity;
  }

  T* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 0;
};

// The pieces joined into one text in `arena`.
std::string_view joinText(Arena& arena, const std::string_view* pieces, std::size_t count);
inline std::string_view joinText(Arena& arena, std::initializer_list<std::string_view> pieces) {
  return joinText(arena, pieces.begin(), pieces.size());
}

}  // namespace vellum
