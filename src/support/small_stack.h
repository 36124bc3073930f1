// A stack whose first N entries live inside the object: the explicit stacks
// of the tree walks need a handful of entries for most statements and only
// long chains move them to the heap.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace vellum {

template <class T, std::size_t N>
class SmallStack {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  SmallStack() = default;
  SmallStack(const SmallStack&) = delete;
  SmallStack& operator=(const SmallStack&) = delete;
  ~SmallStack() {
    if (data_ != inline_) std::free(data_);
  }

  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }
  T& back() { return data_[size_ - 1]; }
  void pop_back() { --size_; }
  void push_back(const T& value) {
    if (size_ == capacity_) grow();
    data_[size_++] = value;
  }

 private:
  void grow() {
    std::size_t capacity = capacity_ * 2;
    T* fresh = static_cast<T*>(std::malloc(capacity * sizeof(T)));
    if (fresh == nullptr) throw std::bad_alloc();
    std::memcpy(static_cast<void*>(fresh), data_, size_ * sizeof(T));
    if (data_ != inline_) std::free(data_);
    data_ = fresh;
    capacity_ = capacity;
  }

  T inline_[N];
  T* data_ = inline_;
  std::size_t size_ = 0;
  std::size_t capacity_ = N;
};

}  // namespace vellum
