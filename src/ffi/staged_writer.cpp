#include "ffi/staged_writer.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "support/errors.h"

namespace vellum {

void stagedStreamError(const std::string& message) { throw IOError(message); }

void stagedValidationError(const std::string& message) { throw ValueError(message); }

StagedStream::StagedStream(std::int64_t expected) : expected_(expected), store_(expected >= 0) {
  // The window stays empty (pos_ == limit_ == nullptr): every write is
  // checked in overflow().
  if (store_ && expected > 0) {
    capacity_ = static_cast<std::size_t>(expected);
    buffer_ = static_cast<std::uint8_t*>(std::malloc(capacity_));
    if (buffer_ == nullptr) throw std::bad_alloc();
  }
}

StagedStream::~StagedStream() { std::free(buffer_); }

bool StagedStream::closed() const {
  return payloadLeft_ == 0 && lengthLeft_ == 0 && depth_ == 0 && topLevelValues_ == 1;
}

void StagedStream::finishPass() const {
  if (!closed()) stagedValidationError("staged writer produced malformed MessagePack");
  if (expected_ >= 0 && total_ != expected_) {
    stagedValidationError("staged MessagePack counting pass mismatch");
  }
}

DocumentBytes StagedStream::takeDocument() {
  DocumentBytes document;
  document.data.reset(buffer_);
  document.size = static_cast<std::size_t>(total_);
  buffer_ = nullptr;
  capacity_ = 0;
  return document;
}

void StagedStream::overflow(const std::uint8_t* bytes, std::size_t length) {
  // Refused whole: nothing of an oversized write is checked or counted.
  if (length > static_cast<std::size_t>(kMaxStagedBytes - total_)) {
    stagedStreamError("staged MessagePack exceeds 1048576-byte limit");
  }
  std::size_t i = 0;
  while (i < length) {
    if (payloadLeft_ > 0) {
      // Payload bytes are not inspected; skip as many as this write holds.
      std::size_t skip = length - i;
      if (static_cast<std::uint64_t>(payloadLeft_) < skip) skip = static_cast<std::size_t>(payloadLeft_);
      payloadLeft_ -= static_cast<std::int64_t>(skip);
      i += skip;
      continue;
    }
    checkByte(bytes[i]);
    ++i;
  }
  if (store_) store(bytes, length);
  total_ += static_cast<std::int64_t>(length);
}

void StagedStream::store(const std::uint8_t* bytes, std::size_t length) {
  std::size_t used = static_cast<std::size_t>(total_);
  if (length > capacity_ - used) {
    // Only a writing pass that runs longer than its counting pass gets here;
    // it fails the length comparison at its end, but must not overrun now.
    std::size_t wanted = capacity_ * 2;
    if (wanted < used + length) wanted = used + length;
    auto* fresh = static_cast<std::uint8_t*>(std::realloc(buffer_, wanted));
    if (fresh == nullptr) throw std::bad_alloc();
    buffer_ = fresh;
    capacity_ = wanted;
  }
  std::memcpy(buffer_ + used, bytes, length);
}

// One byte that is not payload: part of a pending length, or a marker.
void StagedStream::checkByte(std::uint8_t b) {
  if (lengthLeft_ > 0) {
    lengthValue_ = lengthValue_ * 256 + b;
    if (--lengthLeft_ == 0) finishLength();
    return;
  }
  checkMarker(b);
}

void StagedStream::checkMarker(std::uint8_t b) {
  if (b <= 0x7f || b >= 0xe0) return startScalar(0);  // positive and negative fixint
  if (b <= 0x8f) return startContainer(2 * (b & 0x0f));  // fixmap
  if (b <= 0x9f) return startContainer(b & 0x0f);  // fixarray
  if (b <= 0xbf) return startScalar(b & 0x1f);  // fixstr
  switch (b) {
    case 0xc0:  // nil
    case 0xc2:  // false
    case 0xc3:  // true
      return startScalar(0);
    case 0xc1: stagedStreamError("invalid staged MessagePack marker");
    case 0xc4: return readLength(1, LengthKind::kBinary);
    case 0xc5: return readLength(2, LengthKind::kBinary);
    case 0xc6: return readLength(4, LengthKind::kBinary);
    case 0xc7: return readLength(1, LengthKind::kExtension);
    case 0xc8: return readLength(2, LengthKind::kExtension);
    case 0xc9: return readLength(4, LengthKind::kExtension);
    case 0xca: return startScalar(4);  // float32
    case 0xcb: return startScalar(8);  // float64
    case 0xcc:
    case 0xd0:
      return startScalar(1);
    case 0xcd:
    case 0xd1:
      return startScalar(2);
    case 0xce:
    case 0xd2:
      return startScalar(4);
    case 0xcf:
    case 0xd3:
      return startScalar(8);
    // fixext 1, 2, 4, 8, 16: the type byte and the data
    case 0xd4: return startScalar(2);
    case 0xd5: return startScalar(3);
    case 0xd6: return startScalar(5);
    case 0xd7: return startScalar(9);
    case 0xd8: return startScalar(17);
    case 0xd9: return readLength(1, LengthKind::kString);
    case 0xda: return readLength(2, LengthKind::kString);
    case 0xdb: return readLength(4, LengthKind::kString);
    case 0xdc: return readLength(2, LengthKind::kArray);
    case 0xdd: return readLength(4, LengthKind::kArray);
    case 0xde: return readLength(2, LengthKind::kMap);
    default: return readLength(4, LengthKind::kMap);  // 0xdf, the only marker left
  }
}

// The length's bytes are the next bytes of the stream, in this write or later ones.
void StagedStream::readLength(int width, LengthKind kind) {
  lengthLeft_ = width;
  lengthValue_ = 0;
  lengthKind_ = kind;
}

void StagedStream::finishLength() {
  // At most 4 bytes were read, so every value below fits comfortably.
  auto length = static_cast<std::int64_t>(lengthValue_);
  switch (lengthKind_) {
    case LengthKind::kString:
    case LengthKind::kBinary: return startScalar(length);
    case LengthKind::kExtension: return startScalar(length + 1);  // the type byte
    case LengthKind::kArray: return startContainer(length);
    case LengthKind::kMap: return startContainer(2 * length);
  }
}

void StagedStream::countValue() {
  if (depth_ == 0) {
    ++topLevelValues_;
    return;
  }
  std::int64_t& remaining = remaining_[depth_ - 1];
  if (remaining == 0) stagedStreamError("malformed staged MessagePack container");
  --remaining;
}

void StagedStream::startScalar(std::int64_t payload) {
  countValue();
  payloadLeft_ = payload;
  closeFinishedContainers();
}

void StagedStream::startContainer(std::int64_t count) {
  countValue();
  if (depth_ + 1 > kMaxStagedDepth) {
    stagedStreamError("maximum staged MessagePack nesting depth of 128 exceeded");
  }
  if (count > 0) {
    remaining_[depth_++] = count;
  } else {
    closeFinishedContainers();
  }
}

// A container closes as soon as its last element's marker is counted, even
// while that element's payload is still to come.
void StagedStream::closeFinishedContainers() {
  while (depth_ > 0 && remaining_[depth_ - 1] == 0) --depth_;
}

DocumentBytes writeStaged(StagedWriterCallback writerCallback, void* callbackData) {
  std::int64_t counted;
  {
    StagedStream counting(-1);
    writerCallback(counting, callbackData);
    counting.finishPass();
    counted = counting.total();
  }
  StagedStream writing(counted);
  writerCallback(writing, callbackData);
  writing.finishPass();
  return writing.takeDocument();
}

}  // namespace vellum
