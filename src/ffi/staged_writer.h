// Staged writing: a document is produced by running the same writer twice
// over a StagedStream, once to count and once to store, while the stream
// parses the bytes as MessagePack and enforces the size and nesting limits.
// An oversized or unbalanced document fails without ever being held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "msgpack/output_stream.h"
#include "support/bytes.h"

namespace vellum {

inline constexpr std::int64_t kMaxStagedBytes = 1048576;
inline constexpr int kMaxStagedDepth = 128;

// Raises IOError: a write the stream refuses (size, marker, depth, balance).
[[noreturn]] void stagedStreamError(const std::string& message);
// Raises ValueError: a finished pass or tree that is not acceptable.
[[noreturn]] void stagedValidationError(const std::string& message);

// An OutputStream that keeps an empty window, so every byte reaches
// overflow() and goes through the checker. One stream serves one pass.
class StagedStream final : public OutputStream {
 public:
  // `expected` < 0 makes a counting pass that stores nothing; otherwise the
  // stream stores the bytes into a buffer reserved for `expected` bytes.
  explicit StagedStream(std::int64_t expected);
  ~StagedStream() override;
  StagedStream(const StagedStream&) = delete;
  StagedStream& operator=(const StagedStream&) = delete;

  std::int64_t total() const { return total_; }
  std::int64_t expected() const { return expected_; }
  std::int64_t depth() const { return depth_; }

  // Exactly one complete value written, nothing pending.
  bool closed() const;

  // The end-of-pass checks: closed, and as long as the counted pass.
  void finishPass() const;

  // Hands over the stored bytes (writing pass only).
  DocumentBytes takeDocument();

 protected:
  void overflow(const std::uint8_t* bytes, std::size_t length) override;

 private:
  enum class LengthKind : std::uint8_t { kString, kBinary, kArray, kMap, kExtension };

  void checkByte(std::uint8_t b);
  void checkMarker(std::uint8_t b);
  void readLength(int width, LengthKind kind);
  void finishLength();
  void countValue();
  void startScalar(std::int64_t payload);
  void startContainer(std::int64_t count);
  void closeFinishedContainers();
  void store(const std::uint8_t* bytes, std::size_t length);

  std::int64_t total_ = 0;
  std::int64_t expected_;
  bool store_;
  std::uint8_t* buffer_ = nullptr;
  std::size_t capacity_ = 0;

  std::int64_t topLevelValues_ = 0;
  std::int64_t depth_ = 0;
  std::int64_t payloadLeft_ = 0;
  std::int64_t lengthLeft_ = 0;
  std::uint64_t lengthValue_ = 0;
  LengthKind lengthKind_ = LengthKind::kString;
  // Values still to come in each open container, outermost first.
  std::int64_t remaining_[kMaxStagedDepth] = {};
};

// Writes one whole document through the encoder operations into `stream`.
// It is called twice and must write the same bytes both times.
using StagedWriterCallback = void (*)(OutputStream& stream, void* callbackData);

// Runs the counting pass, then the writing pass, and returns the document.
// Raises the stream's IOError or a ValueError; never returns a partial document.
DocumentBytes writeStaged(StagedWriterCallback writerCallback, void* callbackData);

}  // namespace vellum
