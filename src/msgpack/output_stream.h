// Byte sinks for the MessagePack encoder.
//
// OutputStream keeps a window [pos_, limit_) of writable memory so that the
// common case of a write is an inline memcpy; when a write does not fit the
// window, the stream's overflow() decides what happens (grow a buffer, check
// the bytes, raise an error). A stream that inspects every byte simply keeps
// an empty window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vellum {

class OutputStream {
 public:
  virtual ~OutputStream() = default;

  void writeData(const void* bytes, std::size_t length) {
    if (length <= static_cast<std::size_t>(limit_ - pos_)) {
      if (length != 0) std::memcpy(pos_, bytes, length);
      pos_ += length;
      return;
    }
    overflow(static_cast<const std::uint8_t*>(bytes), length);
  }

  // Direct writing into the window: the start of `length` (> 0) free bytes,
  // or null when they are not there (then writeData is the way). Bytes
  // stored through the pointer count once commit() is given the end of them.
  std::uint8_t* reserve(std::size_t length) {
    if (length > static_cast<std::size_t>(limit_ - pos_)) return nullptr;
    if (pos_ == nullptr) __builtin_unreachable();  // a window that holds `length` bytes
    return pos_;
  }
  void commit(std::uint8_t* end) { pos_ = end; }

 protected:
  // Called when `length` bytes do not fit the current window.
  virtual void overflow(const std::uint8_t* bytes, std::size_t length) = 0;

  std::uint8_t* pos_ = nullptr;
  std::uint8_t* limit_ = nullptr;
};

// A growable buffer. The written bytes can be taken over with release().
class BufferStream final : public OutputStream {
 public:
  // `maxBytes` bounds the document; writing past it raises ValueError with
  // `limitMessage`.
  explicit BufferStream(std::size_t initialCapacity = 0,
                        std::size_t maxBytes = 2147483647,
                        const char* limitMessage = "MessagePack document exceeds 2147483647-byte limit");
  // Starts in `scratch` (scratchBytes long), memory the caller keeps: a
  // document that fits is written there and copied out once by release();
  // one that does not moves to a malloc'd buffer on its first overflow.
  BufferStream(std::uint8_t* scratch, std::size_t scratchBytes,
               std::size_t maxBytes = 2147483647,
               const char* limitMessage = "MessagePack document exceeds 2147483647-byte limit")
      : data_(scratch), scratch_(scratch), maxBytes_(maxBytes), limitMessage_(limitMessage) {
    pos_ = data_;
    limit_ = data_ + (scratchBytes < maxBytes_ ? scratchBytes : maxBytes_);
  }
  // Takes over `owned`, a malloc'd block of `capacity` bytes, as its buffer.
  struct Adopt {};
  BufferStream(std::uint8_t* owned, std::size_t capacity, Adopt,
               std::size_t maxBytes = 2147483647,
               const char* limitMessage = "MessagePack document exceeds 2147483647-byte limit")
      : data_(owned), maxBytes_(maxBytes), limitMessage_(limitMessage) {
    pos_ = data_;
    limit_ = data_ + (capacity < maxBytes_ ? capacity : maxBytes_);
  }
  ~BufferStream() override {
    if (ownsData()) std::free(data_);
  }
  BufferStream(const BufferStream&) = delete;
  BufferStream& operator=(const BufferStream&) = delete;

  std::size_t size() const { return static_cast<std::size_t>(pos_ - data_); }
  const std::uint8_t* data() const { return data_; }
  std::uint8_t* data() { return data_; }
  // Drops the bytes from `size` on; `size` is at most size().
  void truncate(std::size_t size) { pos_ = data_ + size; }

  // Hands over a malloc'd buffer of exactly size() bytes (null when empty);
  // the stream is empty afterwards.
  std::uint8_t* release();

 protected:
  void overflow(const std::uint8_t* bytes, std::size_t length) override;

 private:
  bool ownsData() const { return data_ != scratch_; }

  std::uint8_t* data_ = nullptr;
  std::uint8_t* scratch_ = nullptr;
  std::size_t maxBytes_;
  const char* limitMessage_;  // static text
};

}  // namespace vellum
