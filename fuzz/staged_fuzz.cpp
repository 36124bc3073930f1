// libFuzzer target: writeStaged driven by writer programs decoded from the
// input. A program is a sequence of writer steps (scalars, strings, array and
// map headers with any counts, raw bytes, deep nesting, runs of nils, steps
// taken in one pass only, writes split into single bytes), replayed in both
// passes. The outcome is compared with what msgpack-c makes of the bytes the
// program wrote in each pass:
//   - both passes one complete value of at most 1048576 bytes and 128 levels,
//     the same length: the document must be the writing pass's bytes;
//   - otherwise one of the stream or validation errors, of its own class,
//     raised in the pass that went wrong.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#ifndef MSGPACK_NO_BOOST
#define MSGPACK_NO_BOOST 1
#endif
#include <msgpack.hpp>

#include "ffi/staged_writer.h"
#include "msgpack/encoder.h"
#include "support/errors.h"
#include "fuzz_support.h"

namespace {

using vellum::OutputStream;

constexpr std::size_t kMaxProgramBytes = 1048576 + 65536;  // a program stops writing past this

// Forwards the first bytes of every write to `target` one at a time (a
// marker apart from its length, a length split), the rest in one piece.
class SplitStream final : public OutputStream {
 public:
  explicit SplitStream(OutputStream& target) : target_(target) {}

 protected:
  void overflow(const std::uint8_t* bytes, std::size_t length) override {
    std::size_t i = 0;
    for (; i < length && i < 16; ++i) target_.writeData(bytes + i, 1);
    if (i < length) target_.writeData(bytes + i, length - i);
  }

 private:
  OutputStream& target_;
};

// Records what a pass wrote.
class RecordStream final : public OutputStream {
 public:
  std::vector<std::uint8_t> bytes;

  // Ends the recording: `bytes` holds exactly what was written.
  void finish() { bytes.resize(static_cast<std::size_t>(pos_ - bytes.data())); }

 protected:
  void overflow(const std::uint8_t* data, std::size_t length) override {
    std::size_t used = static_cast<std::size_t>(pos_ - bytes.data());
    bytes.resize(std::max(2 * bytes.size(), used + length + 4096));
    std::memcpy(bytes.data() + used, data, length);
    pos_ = bytes.data() + used + length;
    limit_ = bytes.data() + bytes.size();
  }
};

struct Reader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  bool done() const { return at >= size; }
  std::uint8_t byte() { return at < size ? data[at++] : 0; }
  std::uint64_t bytes(int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | byte();
    return v;
  }
};

// A container count: mostly small, sometimes wider than what follows.
std::uint32_t count(Reader& in) {
  std::uint8_t mode = in.byte();
  switch (mode % 4) {
    case 0: return mode / 4 % 20;
    case 1: return static_cast<std::uint32_t>(in.bytes(1));
    case 2: return static_cast<std::uint32_t>(in.bytes(2));
    default: return static_cast<std::uint32_t>(in.bytes(4));
  }
}

struct Program {
  const std::uint8_t* data;
  std::size_t size;
};

// Replays the program for `pass` (0 counting, 1 writing) into `out`.
void runProgram(const Program& program, int pass, OutputStream& out) {
  Reader in{program.data, program.size};
  SplitStream split(out);
  bool splitting = false;
  bool skipNext = false;
  std::size_t written = 0;  // an estimate that bounds the program's output
  std::string text;
  while (!in.done() && written < kMaxProgramBytes) {
    std::uint8_t op = in.byte();
    OutputStream& o = splitting ? static_cast<OutputStream&>(split) : out;
    bool skip = skipNext;
    skipNext = false;
    switch (op % 14) {
      case 0:
        if (!skip) vellum::writeNil(o);
        written += 1;
        break;
      case 1: {
        bool v = in.byte() & 1;
        if (!skip) vellum::writeBool(o, v);
        written += 1;
        break;
      }
      case 2: {
        int width = 1 + in.byte() % 8;
        std::uint64_t raw = in.bytes(width);
        int shift = 64 - 8 * width;
        auto v = static_cast<std::int64_t>(raw << shift) >> shift;  // sign-extended
        if (!skip) vellum::writeInt(o, v);
        written += 9;
        break;
      }
      case 3: {
        std::uint64_t v = in.bytes(1 + in.byte() % 8);
        if (!skip) vellum::writeUInt(o, v);
        written += 9;
        break;
      }
      case 4: {
        std::uint64_t bits = in.bytes(8);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (!skip) vellum::writeFloat64(o, v);
        written += 9;
        break;
      }
      case 5: {
        // A string of 0 to 255 bytes, or with a wide length of up to a
        // little more than a whole document.
        std::uint8_t mode = in.byte();
        std::size_t length = (mode & 7) == 7 ? static_cast<std::size_t>(in.bytes(3)) % (1048576 + 64) : in.byte();
        std::uint8_t fill = in.byte();
        text.assign(length, static_cast<char>(fill));
        if (!skip) vellum::writeStr(o, text);
        written += length + 5;
        break;
      }
      case 6: {
        std::uint32_t n = count(in);
        if (!skip) vellum::writeArrayHeader(o, n);
        written += 5;
        break;
      }
      case 7: {
        std::uint32_t n = count(in);
        if (!skip) vellum::writeMapHeader(o, n);
        written += 5;
        break;
      }
      case 8: {
        // Raw bytes: any marker, length field or payload, in one write.
        std::size_t n = in.byte() % 32;
        std::uint8_t raw[32];
        for (std::size_t i = 0; i < n; ++i) raw[i] = in.byte();
        if (!skip) o.writeData(raw, n);
        written += n;
        break;
      }
      case 9: {
        // Nested one-element arrays, up to 255 deep.
        std::size_t depth = in.byte();
        for (std::size_t i = 0; i < depth && !skip; ++i) vellum::writeArrayHeader(o, 1);
        written += depth;
        break;
      }
      case 10: {
        // A run of nils in one write, for wide containers.
        std::uint8_t mode = in.byte();
        std::size_t n = (mode & 7) == 7 ? static_cast<std::size_t>(in.bytes(2)) : mode;
        std::vector<std::uint8_t> nils(n, 0xc0);
        if (!skip) o.writeData(nils.data(), n);
        written += n;
        break;
      }
      case 11:
        // The next step is taken in one pass only.
        skipNext = (in.byte() & 1) != pass;
        break;
      case 12:
        splitting = !splitting;
        break;
      default: {
        // A zero-length write.
        if (!skip) o.writeData(nullptr, 0);
        break;
      }
    }
  }
}

void callProgram(OutputStream& out, void* data) {
  auto* state = static_cast<std::pair<const Program*, int>*>(data);
  runProgram(*state->first, state->second++, out);
}

// Depth of the deepest container, empty ones included.
struct DepthVisitor : msgpack::null_visitor {
  std::size_t depth = 0;
  std::size_t maxDepth = 0;
  bool start_array(std::uint32_t) { return open(); }
  bool end_array() { return close(); }
  bool start_map(std::uint32_t) { return open(); }
  bool end_map() { return close(); }
  bool open() {
    if (++depth > maxDepth) maxDepth = depth;
    return true;
  }
  bool close() {
    --depth;
    return true;
  }
};

// What the stream must accept: one complete value within the limits.
bool acceptable(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() > static_cast<std::size_t>(vellum::kMaxStagedBytes)) return false;
  DepthVisitor visitor;
  std::size_t offset = 0;
  try {
    if (!msgpack::parse(reinterpret_cast<const char*>(bytes.data()), bytes.size(), offset, visitor)) return false;
  } catch (const std::exception&) {
    return false;
  }
  return offset == bytes.size() && visitor.maxDepth <= static_cast<std::size_t>(vellum::kMaxStagedDepth);
}

[[noreturn]] void fail(const std::string& what) { vellum_fuzz::fail("staged_fuzz", what); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Program program{data, size};
  RecordStream pass0;
  RecordStream pass1;
  runProgram(program, 0, pass0);
  runProgram(program, 1, pass1);
  pass0.finish();
  pass1.finish();
  bool ok0 = acceptable(pass0.bytes);
  bool ok1 = acceptable(pass1.bytes);
  bool expectDocument = ok0 && ok1 && pass0.bytes.size() == pass1.bytes.size();

  std::pair<const Program*, int> state{&program, 0};
  std::string error;
  bool streamError = false;
  vellum::DocumentBytes document;
  try {
    document = vellum::writeStaged(callProgram, &state);
  } catch (const vellum::IOError& e) {
    error = e.message();
    streamError = true;
  } catch (const vellum::ValueError& e) {
    error = e.message();
  }
  int passes = state.second;

  if (error.empty()) {
    if (!expectDocument) fail("a document for bytes that are not one acceptable value in both passes");
    if (document.size != pass1.bytes.size() ||
        (document.size != 0 && std::memcmp(document.data.get(), pass1.bytes.data(), document.size) != 0)) {
      fail("the document differs from the writing pass's bytes");
    }
    msgpack::object_handle handle;
    std::size_t offset = 0;
    msgpack::unpack(handle, reinterpret_cast<const char*>(document.data.get()), document.size, offset);
    if (offset != document.size) fail("the document is not exactly one value");
    return 0;
  }
  if (expectDocument) fail("an error for an acceptable document: " + error);
  static const char* const kStreamErrors[] = {
      "staged MessagePack exceeds 1048576-byte limit", "invalid staged MessagePack marker",
      "maximum staged MessagePack nesting depth of 128 exceeded", "malformed staged MessagePack container"};
  static const char* const kValidationErrors[] = {"staged writer produced malformed MessagePack",
                                                  "staged MessagePack counting pass mismatch"};
  bool known = false;
  if (streamError) {
    for (const char* m : kStreamErrors) known = known || error == m;
  } else {
    for (const char* m : kValidationErrors) known = known || error == m;
  }
  if (!known) fail(std::string(streamError ? "unknown stream error: " : "unknown validation error: ") + error);
  // The counting pass fails exactly when its bytes are not acceptable.
  if (!ok0 && passes != 1) fail("the counting pass accepted bytes that are not one acceptable value: " + error);
  if (ok0 && passes != 2) fail("the counting pass refused an acceptable value: " + error);
  return 0;
}
