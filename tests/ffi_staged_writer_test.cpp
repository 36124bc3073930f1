// The staged writer: both passes, the size and nesting limits, the balance
// checks, and the byte checker across split writes. Documents are decoded
// with msgpack-c.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <msgpack.hpp>

#include "ffi/staged_writer.h"
#include "msgpack/encoder.h"
#include "support/errors.h"
#include "support/msgpack_json.h"

namespace vellum {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kTooLarge[] = "staged MessagePack exceeds 1048576-byte limit";
constexpr char kBadMarker[] = "invalid staged MessagePack marker";
constexpr char kTooDeep[] = "maximum staged MessagePack nesting depth of 128 exceeded";
constexpr char kMalformed[] = "staged writer produced malformed MessagePack";
constexpr char kMismatch[] = "staged MessagePack counting pass mismatch";

// A writer: gets the stream and the pass (0 counting, 1 writing).
using Body = std::function<void(OutputStream&, int pass)>;

struct Writer {
  Body body;
  int calls = 0;
};

void callWriter(OutputStream& out, void* data) {
  auto* writer = static_cast<Writer*>(data);
  writer->body(out, writer->calls++);
}

struct Outcome {
  Bytes bytes;
  std::string error;       // empty on success
  std::string errorClass;  // "IOError" or "ValueError"
  int calls = 0;           // how many passes ran
};

Outcome stage(const Body& body) {
  Writer writer{body};
  Outcome outcome;
  try {
    DocumentBytes document = writeStaged(callWriter, &writer);
    outcome.bytes.assign(document.data.get(), document.data.get() + document.size);
  } catch (const IOError& e) {
    outcome.error = e.message();
    outcome.errorClass = "IOError";
  } catch (const ValueError& e) {
    outcome.error = e.message();
    outcome.errorClass = "ValueError";
  }
  outcome.calls = writer.calls;
  return outcome;
}

// The same chunks in both passes, one writeData call per chunk.
Body chunks(std::vector<Bytes> parts) {
  return [parts = std::move(parts)](OutputStream& out, int) {
    for (const Bytes& part : parts) out.writeData(part.data(), part.size());
  };
}

Bytes concat(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes repeated(std::size_t n, std::uint8_t b) { return Bytes(n, b); }

// True when msgpack-c reads exactly one value filling all bytes.
bool msgpackAcceptsWhole(const Bytes& bytes) {
  try {
    std::size_t offset = 0;
    msgpack::object_handle handle =
        msgpack::unpack(reinterpret_cast<const char*>(bytes.data()), bytes.size(), offset);
    return offset == bytes.size();
  } catch (const std::exception&) {
    return false;
  }
}

void expectError(const Outcome& outcome, const std::string& errorClass, const std::string& message,
                 int calls) {
  EXPECT_EQ(outcome.errorClass, errorClass);
  EXPECT_EQ(outcome.error, message);
  EXPECT_EQ(outcome.calls, calls);
  EXPECT_TRUE(outcome.bytes.empty());
}

// ---------------------------------------------------------------------------
// Every marker family, with its payload or length.

struct MarkerCase {
  const char* name;
  Bytes value;
};

const MarkerCase kMarkerCases[] = {
    {"positive fixint 0", {0x00}},
    {"positive fixint 127", {0x7f}},
    {"negative fixint -32", {0xe0}},
    {"negative fixint -1", {0xff}},
    {"nil", {0xc0}},
    {"false", {0xc2}},
    {"true", {0xc3}},
    {"empty fixmap", {0x80}},
    {"fixmap of one pair", {0x81, 0xa1, 'k', 0xc0}},
    {"empty fixarray", {0x90}},
    {"fixarray of one", {0x91, 0xc0}},
    {"empty fixstr", {0xa0}},
    {"fixstr 3", {0xa3, 'a', 'b', 'c'}},
    {"fixstr 31", Bytes{0xbf} + repeated(31, 'x')},
    {"bin 8", {0xc4, 0x02, 'x', 'y'}},
    {"bin 16", {0xc5, 0x00, 0x02, 'x', 'y'}},
    {"bin 32", {0xc6, 0x00, 0x00, 0x00, 0x02, 'x', 'y'}},
    {"ext 8", {0xc7, 0x02, 0x05, 'x', 'y'}},
    {"ext 16", {0xc8, 0x00, 0x02, 0x05, 'x', 'y'}},
    {"ext 32", {0xc9, 0x00, 0x00, 0x00, 0x02, 0x05, 'x', 'y'}},
    {"empty ext 8", {0xc7, 0x00, 0x05}},
    {"float 32", {0xca, 0x3f, 0xc0, 0x00, 0x00}},
    {"float 64", {0xcb, 0x3f, 0xf8, 0, 0, 0, 0, 0, 0}},
    {"uint 8", {0xcc, 0x80}},
    {"uint 16", {0xcd, 0x01, 0x00}},
    {"uint 32", {0xce, 0x00, 0x01, 0x00, 0x00}},
    {"uint 64", {0xcf, 0, 0, 0, 1, 0, 0, 0, 0}},
    {"int 8", {0xd0, 0xdf}},
    {"int 16", {0xd1, 0xff, 0x7f}},
    {"int 32", {0xd2, 0xff, 0xff, 0x7f, 0xff}},
    {"int 64", {0xd3, 0xff, 0xff, 0xff, 0xff, 0x7f, 0xff, 0xff, 0xff}},
    {"fixext 1", {0xd4, 0x01, 0xaa}},
    {"fixext 2", {0xd5, 0x01, 0xaa, 0xbb}},
    {"fixext 4", Bytes{0xd6, 0x01} + repeated(4, 0xaa)},
    {"fixext 8", Bytes{0xd7, 0x01} + repeated(8, 0xaa)},
    {"fixext 16", Bytes{0xd8, 0x01} + repeated(16, 0xaa)},
    {"str 8", {0xd9, 0x03, 'a', 'b', 'c'}},
    {"str 16", {0xda, 0x00, 0x03, 'a', 'b', 'c'}},
    {"str 32", {0xdb, 0x00, 0x00, 0x00, 0x03, 'a', 'b', 'c'}},
    {"empty str 8", {0xd9, 0x00}},
    {"array 16", {0xdc, 0x00, 0x01, 0xc0}},
    {"array 32", {0xdd, 0x00, 0x00, 0x00, 0x01, 0xc0}},
    {"empty array 16", {0xdc, 0x00, 0x00}},
    {"map 16", {0xde, 0x00, 0x01, 0xa1, 'k', 0xc0}},
    {"map 32", {0xdf, 0x00, 0x00, 0x00, 0x01, 0xa1, 'k', 0xc0}},
    {"empty map 32", {0xdf, 0x00, 0x00, 0x00, 0x00}},
};

TEST(StagedWriterTest, EveryMarkerFamilyIsOneCompleteValue) {
  for (const MarkerCase& c : kMarkerCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(msgpackAcceptsWhole(c.value)) << "bad test vector";

    Outcome alone = stage(chunks({c.value}));
    EXPECT_EQ(alone.error, "");
    EXPECT_EQ(alone.bytes, c.value);

    // Inside an array, followed by a sibling: the value's extent is right.
    Bytes inArray = Bytes{0x92} + c.value + Bytes{0xc0};
    Outcome nested = stage(chunks({inArray}));
    EXPECT_EQ(nested.error, "");
    EXPECT_EQ(nested.bytes, inArray);

    // Byte by byte.
    std::vector<Bytes> single;
    for (std::uint8_t b : inArray) single.push_back({b});
    EXPECT_EQ(stage(chunks(single)).bytes, inArray);

    // One byte short: a payload, length or element is missing.
    Bytes truncated(c.value.begin(), c.value.end() - 1);
    expectError(stage(chunks({truncated})), "ValueError", kMalformed, 1);
  }
}

// ---------------------------------------------------------------------------
// The size limit.

Body stringOfDocumentSize(std::size_t documentBytes) {
  // A str 32 header is 5 bytes.
  return [documentBytes](OutputStream& out, int) { writeStr(out, std::string(documentBytes - 5, 'x')); };
}

TEST(StagedWriterTest, DocumentOfExactlyTheLimitPasses) {
  Outcome outcome = stage(stringOfDocumentSize(1048576));
  ASSERT_EQ(outcome.error, "");
  EXPECT_EQ(outcome.calls, 2);
  ASSERT_EQ(outcome.bytes.size(), 1048576u);
  EXPECT_EQ(vellum_test::msgpackToJson(outcome.bytes.data(), outcome.bytes.size()),
            "\"" + std::string(1048571, 'x') + "\"");
}

TEST(StagedWriterTest, OneByteOverTheLimitFailsInTheCountingPass) {
  expectError(stage(stringOfDocumentSize(1048577)), "IOError", kTooLarge, 1);
}

TEST(StagedWriterTest, LimitHoldsForManySmallWrites) {
  constexpr std::uint32_t kNils = 1048576 - 5;  // array 32 header, then one byte per nil
  Outcome exact = stage([](OutputStream& out, int) {
    writeArrayHeader(out, kNils);
    for (std::uint32_t i = 0; i < kNils; ++i) writeNil(out);
  });
  ASSERT_EQ(exact.error, "");
  ASSERT_EQ(exact.bytes.size(), 1048576u);
  EXPECT_TRUE(msgpackAcceptsWhole(exact.bytes));

  expectError(stage([](OutputStream& out, int) {
                writeArrayHeader(out, kNils + 1);
                for (std::uint32_t i = 0; i < kNils + 1; ++i) writeNil(out);
              }),
              "IOError", kTooLarge, 1);
}

TEST(StagedStreamTest, RefusedWriteIsNotCounted) {
  StagedStream stream(-1);
  writeStr(stream, std::string(1048576 - 5, 'x'));
  EXPECT_EQ(stream.total(), 1048576);
  EXPECT_TRUE(stream.closed());
  try {
    stream.writeData("\xc0", 1);
    FAIL() << "expected the size limit";
  } catch (const IOError& e) {
    EXPECT_EQ(e.message(), kTooLarge);
  }
  EXPECT_EQ(stream.total(), 1048576);
  EXPECT_TRUE(stream.closed());

  StagedStream fresh(-1);
  std::string huge(1048577, '\xc1');  // not even looked at
  try {
    fresh.writeData(huge.data(), huge.size());
    FAIL() << "expected the size limit";
  } catch (const IOError& e) {
    EXPECT_EQ(e.message(), kTooLarge);
  }
  EXPECT_EQ(fresh.total(), 0);
}

TEST(StagedStreamTest, CountingPassStoresNothingAndWritingPassStores) {
  StagedStream counting(-1);
  writeStr(counting, "abc");
  EXPECT_EQ(counting.total(), 4);
  EXPECT_EQ(counting.takeDocument().data, nullptr);

  StagedStream writing(4);
  writeStr(writing, "abc");
  writing.finishPass();
  DocumentBytes document = writing.takeDocument();
  ASSERT_EQ(document.size, 4u);
  EXPECT_EQ(Bytes(document.data.get(), document.data.get() + 4), (Bytes{0xa3, 'a', 'b', 'c'}));
}

// ---------------------------------------------------------------------------
// The nesting limit.

// `depth` nested containers; the innermost holds a nil, or nothing.
Body nestedArrays(int depth, bool innermostEmpty) {
  return [=](OutputStream& out, int) {
    for (int i = 0; i < depth - 1; ++i) writeArrayHeader(out, 1);
    if (innermostEmpty) {
      writeArrayHeader(out, 0);
    } else {
      writeArrayHeader(out, 1);
      writeNil(out);
    }
  };
}

TEST(StagedWriterTest, NestingDepth) {
  Outcome deepest = stage(nestedArrays(128, false));
  ASSERT_EQ(deepest.error, "");
  EXPECT_EQ(vellum_test::msgpackToJson(deepest.bytes.data(), deepest.bytes.size()),
            std::string(128, '[') + "null" + std::string(128, ']'));
  expectError(stage(nestedArrays(129, false)), "IOError", kTooDeep, 1);

  Outcome emptyInnermost = stage(nestedArrays(128, true));
  ASSERT_EQ(emptyInnermost.error, "");
  EXPECT_EQ(vellum_test::msgpackToJson(emptyInnermost.bytes.data(), emptyInnermost.bytes.size()),
            std::string(128, '[') + std::string(128, ']'));
  expectError(stage(nestedArrays(129, true)), "IOError", kTooDeep, 1);
}

TEST(StagedWriterTest, NestingDepthOfMaps) {
  auto nestedMaps = [](int depth) {
    return [depth](OutputStream& out, int) {
      for (int i = 0; i < depth; ++i) {
        writeMapHeader(out, 1);
        writeStr(out, "k");
      }
      writeInt(out, 7);
    };
  };
  Outcome deepest = stage(nestedMaps(128));
  ASSERT_EQ(deepest.error, "");
  std::string expected;
  for (int i = 0; i < 128; ++i) expected += "{\"k\":";
  expected += "7" + std::string(128, '}');
  EXPECT_EQ(vellum_test::msgpackToJson(deepest.bytes.data(), deepest.bytes.size()), expected);
  expectError(stage(nestedMaps(129)), "IOError", kTooDeep, 1);
}

TEST(StagedWriterTest, ClosedContainersFreeTheirDepth) {
  // Two siblings, each 127 deep inside the outer array: never more than 128 open.
  Outcome outcome = stage([](OutputStream& out, int) {
    writeArrayHeader(out, 2);
    for (int sibling = 0; sibling < 2; ++sibling) {
      for (int i = 0; i < 127; ++i) writeArrayHeader(out, 1);
      writeStr(out, "leaf");
    }
  });
  ASSERT_EQ(outcome.error, "");
  std::string one = std::string(127, '[') + "\"leaf\"" + std::string(127, ']');
  EXPECT_EQ(vellum_test::msgpackToJson(outcome.bytes.data(), outcome.bytes.size()), "[" + one + "," + one + "]");
}

// ---------------------------------------------------------------------------
// Balance: exactly one complete value per pass.

struct BalanceCase {
  const char* name;
  std::vector<Bytes> writes;
};

TEST(StagedWriterTest, PassMustEndWithExactlyOneCompleteValue) {
  const BalanceCase cases[] = {
      {"nothing written", {}},
      {"two top-level values", {{0xc0}, {0xc0}}},
      {"a value after a closed array", {{0x91, 0xc0, 0xc0}}},
      {"short array", {{0x93, 0xc0, 0xc0}}},
      {"short array 16", {{0xdc, 0x00, 0x10}, {0xc0}}},
      {"map with a key only", {{0x81, 0xa1, 'k'}}},
      {"map 16 missing a pair", {{0xde, 0x00, 0x02, 0xa1, 'k', 0xc0}}},
      {"string payload unfinished", {{0xa5, 'a', 'b'}}},
      {"string length unfinished", {{0xda, 0x00}}},
      {"array count unfinished", {{0xdd, 0x00, 0x00}}},
      {"float payload unfinished", {{0xcb, 0x00}}},
  };
  for (const BalanceCase& c : cases) {
    SCOPED_TRACE(c.name);
    expectError(stage(chunks(c.writes)), "ValueError", kMalformed, 1);
  }
}

TEST(StagedWriterTest, ContainerClosesBeforeItsLastPayload) {
  // The array is complete once the string's marker is counted; its payload
  // bytes still follow and belong to nobody else.
  Outcome outcome = stage(chunks({{0x91, 0xa3}, {'a'}, {'b', 'c'}}));
  ASSERT_EQ(outcome.error, "");
  EXPECT_EQ(vellum_test::msgpackToJson(outcome.bytes.data(), outcome.bytes.size()), "[\"abc\"]");
}

// ---------------------------------------------------------------------------
// The two passes must agree.

TEST(StagedWriterTest, WritingPassLongerThanCountingPass) {
  expectError(stage([](OutputStream& out, int pass) { writeStr(out, pass == 0 ? "ab" : "abc"); }), "ValueError",
              kMismatch, 2);
  // Far longer than the buffer reserved from the counting pass.
  expectError(stage([](OutputStream& out, int pass) { writeStr(out, std::string(pass == 0 ? 1 : 70000, 'z')); }),
              "ValueError", kMismatch, 2);
}

TEST(StagedWriterTest, WritingPassShorterThanCountingPass) {
  expectError(stage([](OutputStream& out, int pass) { writeStr(out, pass == 0 ? "abcd" : "abc"); }), "ValueError",
              kMismatch, 2);
}

TEST(StagedWriterTest, MalformedWritingPassIsReportedAsMalformed) {
  expectError(stage([](OutputStream& out, int pass) {
                writeArrayHeader(out, 2);
                writeNil(out);
                if (pass == 0) writeNil(out);
              }),
              "ValueError", kMalformed, 2);
}

TEST(StagedWriterTest, ErrorsOfTheCallbackPassThrough) {
  Writer writer{[](OutputStream& out, int pass) {
    writeArrayHeader(out, 1);
    if (pass == 1) throw ParseError("unsupported node");
    writeNil(out);
  }};
  try {
    writeStaged(callWriter, &writer);
    FAIL() << "expected the callback's error";
  } catch (const ParseError& e) {
    EXPECT_EQ(e.message(), "unsupported node");
  }
  EXPECT_EQ(writer.calls, 2);
}

// ---------------------------------------------------------------------------
// Lengths and markers split across writes.

TEST(StagedWriterTest, LengthSplitFromItsMarker) {
  std::string text(32, 's');
  Bytes payload(text.begin(), text.end());
  const std::vector<std::vector<Bytes>> splits = {
      {{0xd9}, {0x20}, payload},
      {{0xd9}, Bytes{0x20} + payload},
      {{0xd9, 0x20}, payload},
      {{0xdb}, {0x00}, {0x00, 0x00}, {0x20}, payload},
  };
  for (const auto& writes : splits) {
    Outcome outcome = stage(chunks(writes));
    ASSERT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.bytes, concat(writes));
    EXPECT_EQ(vellum_test::msgpackToJson(outcome.bytes.data(), outcome.bytes.size()), "\"" + text + "\"");
  }
  Outcome array = stage(chunks({{0xdc, 0x00}, {0x02, 0xc3}, {0xc2}}));
  ASSERT_EQ(array.error, "");
  EXPECT_EQ(vellum_test::msgpackToJson(array.bytes.data(), array.bytes.size()), "[true,false]");
}

TEST(StagedWriterTest, SameDocumentWhateverTheWriteBoundaries) {
  auto write = [](OutputStream& out) {
    writeMapHeader(out, 3);
    writeStr(out, "name");
    writeStr(out, std::string(300, 'n'));
    writeStr(out, "values");
    writeArrayHeader(out, 3);
    writeInt(out, -70000);
    writeFloat64(out, 0.25);
    writeUInt(out, 1ULL << 40);
    writeStr(out, "none");
    writeNil(out);
  };
  BufferStream reference;
  write(reference);
  Bytes whole(reference.data(), reference.data() + reference.size());

  Outcome outcome = stage([&](OutputStream& out, int) { write(out); });
  ASSERT_EQ(outcome.error, "");
  EXPECT_EQ(outcome.bytes, whole);
  std::vector<Bytes> single;
  for (std::uint8_t b : whole) single.push_back({b});
  EXPECT_EQ(stage(chunks(single)).bytes, whole);
  EXPECT_EQ(vellum_test::msgpackToJson(outcome.bytes.data(), outcome.bytes.size()),
            "{\"name\":\"" + std::string(300, 'n') + "\",\"values\":[-70000,0.25,1099511627776],\"none\":null}");
}

TEST(StagedWriterTest, MarkerC1OutsideAPayloadIsRefused) {
  const std::vector<std::vector<Bytes>> cases = {
      {{0xc1}},
      {{0x91, 0xc1}},
      {{0x92, 0xc0}, {0xc1}},
      {{0x81, 0xc1}},
      {{0x81, 0xa1, 'k', 0xc1}},
      {{0xc0, 0xc1}},  // after a complete document
  };
  for (const auto& writes : cases) {
    expectError(stage(chunks(writes)), "IOError", kBadMarker, 1);
  }
}

TEST(StagedWriterTest, ByteC1InsideAPayloadOrLengthIsData) {
  const std::vector<Bytes> values = {
      {0xa3, 0xc1, 0xc1, 0xc1},
      {0x92, 0xa1, 0xc1, 0xcb, 0xc1, 0xc1, 0xc1, 0xc1, 0xc1, 0xc1, 0xc1, 0xc1},
      {0xcc, 0xc1},
      {0xc4, 0x01, 0xc1},
      {0xd4, 0xc1, 0xc1},                               // type byte and data of a fixext
      Bytes{0xd9, 0xc1} + repeated(0xc1, 0xc1),         // a length byte of 0xc1
      Bytes{0xdc, 0x00, 0xc1} + repeated(0xc1, 0xc0),  // a count byte of 0xc1
  };
  for (const Bytes& value : values) {
    ASSERT_TRUE(msgpackAcceptsWhole(value)) << "bad test vector";
    Outcome outcome = stage(chunks({value}));
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(outcome.bytes, value);
  }
}

}  // namespace
}  // namespace vellum
