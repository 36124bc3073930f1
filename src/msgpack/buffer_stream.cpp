#include <cstdlib>
#include <new>

#include "msgpack/output_stream.h"
#include "support/errors.h"
#include "support/huge_pages.h"

namespace vellum {

BufferStream::BufferStream(std::size_t initialCapacity, std::size_t maxBytes, const char* limitMessage)
    : maxBytes_(maxBytes), limitMessage_(limitMessage) {
  if (initialCapacity != 0) {
    data_ = static_cast<std::uint8_t*>(allocateForFilling(initialCapacity));
    if (data_ == nullptr) throw std::bad_alloc();
    pos_ = data_;
    limit_ = data_ + (initialCapacity < maxBytes_ ? initialCapacity : maxBytes_);  // never past the limit
  }
}

void BufferStream::overflow(const std::uint8_t* bytes, std::size_t length) {
  std::size_t used = size();
  if (length > maxBytes_ - used) throw ValueError(limitMessage_);
  std::size_t capacity = static_cast<std::size_t>(limit_ - data_);
  std::size_t wanted = capacity < 256 ? 256 : capacity * 2;
  if (wanted < used + length) wanted = used + length;
  if (wanted > maxBytes_) wanted = maxBytes_;  // the window never reaches past the limit
  std::uint8_t* fresh;
  if (ownsData()) {
    fresh = static_cast<std::uint8_t*>(std::realloc(data_, wanted));
  } else {
    fresh = static_cast<std::uint8_t*>(std::malloc(wanted));
    if (fresh != nullptr && used != 0) std::memcpy(fresh, data_, used);
  }
  if (fresh == nullptr) throw std::bad_alloc();
  adviseHugePages(fresh, wanted);
  data_ = fresh;
  pos_ = data_ + used;
  limit_ = data_ + wanted;
  std::memcpy(pos_, bytes, length);
  pos_ += length;
}

std::uint8_t* BufferStream::release() {
  std::size_t used = size();
  std::uint8_t* out = nullptr;
  if (!ownsData()) {
    if (used != 0) {
      out = static_cast<std::uint8_t*>(std::malloc(used));
      if (out == nullptr) throw std::bad_alloc();
      std::memcpy(out, data_, used);
    }
  } else if (used != 0) {
    out = static_cast<std::uint8_t*>(std::realloc(data_, used));
    if (out == nullptr) out = data_;  // shrinking cannot really fail; keep the block
  } else {
    std::free(data_);
  }
  data_ = pos_ = limit_ = scratch_ = nullptr;
  return out;
}

}  // namespace vellum
