// Encoder output at every format boundary, byte for byte, and decoded back
// with msgpack-c.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "msgpack/encoder.h"
#include "support/errors.h"
#include "support/msgpack_json.h"

namespace vellum {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <class F>
Bytes encode(F&& write) {
  BufferStream out;
  write(out);
  return Bytes(out.data(), out.data() + out.size());
}

struct IntCase {
  std::int64_t value;
  Bytes bytes;
};

TEST(EncoderTest, WriteIntChoosesTheShortestFormat) {
  const IntCase cases[] = {
      {0, {0x00}},
      {127, {0x7f}},
      {128, {0xcc, 0x80}},
      {255, {0xcc, 0xff}},
      {256, {0xcd, 0x01, 0x00}},
      {65535, {0xcd, 0xff, 0xff}},
      {65536, {0xce, 0x00, 0x01, 0x00, 0x00}},
      {4294967295LL, {0xce, 0xff, 0xff, 0xff, 0xff}},
      {4294967296LL, {0xcf, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
      {-1, {0xff}},
      {-32, {0xe0}},
      {-33, {0xd0, 0xdf}},
      {-128, {0xd0, 0x80}},
      {-129, {0xd1, 0xff, 0x7f}},
      {-32768, {0xd1, 0x80, 0x00}},
      {-32769, {0xd2, 0xff, 0xff, 0x7f, 0xff}},
      {-2147483648LL, {0xd2, 0x80, 0x00, 0x00, 0x00}},
      {-2147483649LL, {0xd3, 0xff, 0xff, 0xff, 0xff, 0x7f, 0xff, 0xff, 0xff}},
      {std::numeric_limits<std::int64_t>::min(), {0xd3, 0x80, 0, 0, 0, 0, 0, 0, 0}},
      {std::numeric_limits<std::int64_t>::max(), {0xcf, 0x7f, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}},
  };
  for (const auto& c : cases) {
    Bytes got = encode([&](OutputStream& out) { writeInt(out, c.value); });
    EXPECT_EQ(got, c.bytes) << "writeInt(" << c.value << ")";
    EXPECT_EQ(vellum_test::msgpackToJson(got.data(), got.size()), std::to_string(c.value));
  }
}

TEST(EncoderTest, WriteUIntChoosesTheShortestFormat) {
  const std::pair<std::uint64_t, Bytes> cases[] = {
      {0, {0x00}},
      {127, {0x7f}},
      {128, {0xcc, 0x80}},
      {255, {0xcc, 0xff}},
      {256, {0xcd, 0x01, 0x00}},
      {65535, {0xcd, 0xff, 0xff}},
      {65536, {0xce, 0x00, 0x01, 0x00, 0x00}},
      {4294967295ULL, {0xce, 0xff, 0xff, 0xff, 0xff}},
      {4294967296ULL, {0xcf, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
      {18446744073709551615ULL, {0xcf, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}},
  };
  for (const auto& [v, bytes] : cases) {
    std::uint64_t value = v;  // clang 14 cannot capture structured bindings
    Bytes got = encode([&](OutputStream& out) { writeUInt(out, value); });
    EXPECT_EQ(got, bytes) << "writeUInt(" << value << ")";
    EXPECT_EQ(vellum_test::msgpackToJson(got.data(), got.size()), std::to_string(value));
  }
}

TEST(EncoderTest, StringHeadersByLength) {
  const std::pair<std::size_t, Bytes> cases[] = {
      {0, {0xa0}},
      {31, {0xbf}},
      {32, {0xd9, 0x20}},
      {255, {0xd9, 0xff}},
      {256, {0xda, 0x01, 0x00}},
      {65535, {0xda, 0xff, 0xff}},
      {65536, {0xdb, 0x00, 0x01, 0x00, 0x00}},
  };
  for (const auto& [length, header] : cases) {
    std::string text(length, 'x');
    Bytes got = encode([&](OutputStream& out) { writeStr(out, text); });
    ASSERT_EQ(got.size(), header.size() + length) << "length " << length;
    EXPECT_EQ(Bytes(got.begin(), got.begin() + header.size()), header) << "length " << length;
    EXPECT_EQ(vellum_test::msgpackToJson(got.data(), got.size()), "\"" + text + "\"");
  }
}

TEST(EncoderTest, StringBytesAreWrittenUnchecked) {
  std::string text("\xff\x00\xc1", 3);
  Bytes got = encode([&](OutputStream& out) { writeStr(out, text); });
  EXPECT_EQ(got, (Bytes{0xa3, 0xff, 0x00, 0xc1}));
}

TEST(EncoderTest, ContainerHeadersByCount) {
  const std::tuple<std::uint32_t, Bytes, Bytes> cases[] = {
      {0, {0x90}, {0x80}},
      {15, {0x9f}, {0x8f}},
      {16, {0xdc, 0x00, 0x10}, {0xde, 0x00, 0x10}},
      {65535, {0xdc, 0xff, 0xff}, {0xde, 0xff, 0xff}},
      {65536, {0xdd, 0x00, 0x01, 0x00, 0x00}, {0xdf, 0x00, 0x01, 0x00, 0x00}},
      {4294967295u, {0xdd, 0xff, 0xff, 0xff, 0xff}, {0xdf, 0xff, 0xff, 0xff, 0xff}},
  };
  for (const auto& [n, array, map] : cases) {
    std::uint32_t count = n;
    EXPECT_EQ(encode([&](OutputStream& out) { writeArrayHeader(out, count); }), array) << count;
    EXPECT_EQ(encode([&](OutputStream& out) { writeMapHeader(out, count); }), map) << count;
    std::uint8_t put[5];
    EXPECT_EQ(Bytes(put, putArrayHeader(put, count)), array) << count;
  }
}

TEST(EncoderTest, ArrayOfSixteenDecodes) {
  Bytes got = encode([](OutputStream& out) {
    writeArrayHeader(out, 16);
    for (int i = 0; i < 16; ++i) writeInt(out, i);
  });
  EXPECT_EQ(vellum_test::msgpackToJson(got.data(), got.size()), "[0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15]");
}

TEST(EncoderTest, ScalarsAndFloat) {
  EXPECT_EQ(encode([](OutputStream& out) { writeNil(out); }), Bytes{0xc0});
  EXPECT_EQ(encode([](OutputStream& out) { writeBool(out, true); }), Bytes{0xc3});
  EXPECT_EQ(encode([](OutputStream& out) { writeBool(out, false); }), Bytes{0xc2});
  EXPECT_EQ(encode([](OutputStream& out) { writeFloat64(out, 1.5); }),
            (Bytes{0xcb, 0x3f, 0xf8, 0, 0, 0, 0, 0, 0}));
  Bytes negZero = encode([](OutputStream& out) { writeFloat64(out, -0.0); });
  EXPECT_EQ(negZero, (Bytes{0xcb, 0x80, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(EncoderTest, MapDecodesWithKeysInOrder) {
  Bytes got = encode([](OutputStream& out) {
    writeMapHeader(out, 3);
    writeStr(out, "z");
    writeNil(out);
    writeStr(out, "a");
    writeFloat64(out, 2.5);
    writeStr(out, "m");
    writeArrayHeader(out, 0);
  });
  EXPECT_EQ(vellum_test::msgpackToJson(got.data(), got.size()), R"({"z":null,"a":2.5,"m":[]})");
}

TEST(EncoderTest, Float64IsAlwaysEightBytesBigEndian) {
  const std::pair<double, Bytes> cases[] = {
      {0.0, {0xcb, 0, 0, 0, 0, 0, 0, 0, 0}},
      {1.5, {0xcb, 0x3f, 0xf8, 0, 0, 0, 0, 0, 0}},
      {-2.0, {0xcb, 0xc0, 0x00, 0, 0, 0, 0, 0, 0}},
      {0.1, {0xcb, 0x3f, 0xb9, 0x99, 0x99, 0x99, 0x99, 0x99, 0x9a}},
      {std::numeric_limits<double>::max(), {0xcb, 0x7f, 0xef, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}},
      {std::numeric_limits<double>::denorm_min(), {0xcb, 0, 0, 0, 0, 0, 0, 0, 0x01}},
      {std::numeric_limits<double>::infinity(), {0xcb, 0x7f, 0xf0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& [v, bytes] : cases) {
    double value = v;
    Bytes got = encode([&](OutputStream& out) { writeFloat64(out, value); });
    EXPECT_EQ(got, bytes) << "writeFloat64(" << value << ")";
  }
  // A value that a 4-byte float would hold exactly still takes 8 bytes.
  Bytes quarter = encode([](OutputStream& out) { writeFloat64(out, 0.25); });
  EXPECT_EQ(quarter.size(), 9u);
  EXPECT_EQ(vellum_test::msgpackToJson(quarter.data(), quarter.size()), "0.25");
}

TEST(EncoderTest, NarrowUnsignedValuesUseTheSameRule) {
  std::uint8_t byte = 200;
  std::uint32_t word = 70000;
  EXPECT_EQ(encode([&](OutputStream& out) { writeUInt(out, byte); }), (Bytes{0xcc, 0xc8}));
  EXPECT_EQ(encode([&](OutputStream& out) { writeUInt(out, word); }), (Bytes{0xce, 0x00, 0x01, 0x11, 0x70}));
}

// Records the length of every writeData call: an empty window sends each
// one to overflow().
class RecordingStream final : public OutputStream {
 public:
  std::vector<std::size_t> writes;

 protected:
  void overflow(const std::uint8_t*, std::size_t length) override { writes.push_back(length); }
};

TEST(EncoderTest, OneWritePerPiece) {
  using Writes = std::vector<std::size_t>;
  const std::pair<std::function<void(OutputStream&)>, Writes> cases[] = {
      {[](OutputStream& out) { writeNil(out); }, {1}},
      {[](OutputStream& out) { writeInt(out, -5); }, {1}},
      {[](OutputStream& out) { writeInt(out, 128); }, {1, 1}},
      {[](OutputStream& out) { writeInt(out, -40000); }, {1, 4}},
      {[](OutputStream& out) { writeUInt(out, 1ULL << 40); }, {1, 8}},
      {[](OutputStream& out) { writeFloat64(out, 2.0); }, {1, 8}},
      {[](OutputStream& out) { writeStr(out, "abc"); }, {1, 3}},
      {[](OutputStream& out) { writeStr(out, std::string(40, 'a')); }, {1, 1, 40}},
      {[](OutputStream& out) { writeStr(out, std::string(300, 'a')); }, {1, 2, 300}},
      {[](OutputStream& out) { writeArrayHeader(out, 16); }, {1, 2}},
      {[](OutputStream& out) { writeMapHeader(out, 70000); }, {1, 4}},
  };
  for (const auto& [write, expected] : cases) {
    RecordingStream out;
    write(out);
    EXPECT_EQ(out.writes, expected);
  }
}

TEST(BufferStreamTest, InitialCapacityThenGrowth) {
  BufferStream out(4);
  writeArrayHeader(out, 3);
  writeStr(out, "ab");  // fills the first window exactly
  writeStr(out, std::string(40, 'd'));
  writeInt(out, -1);
  ASSERT_EQ(out.size(), 4u + 42u + 1u);
  EXPECT_EQ(vellum_test::msgpackToJson(out.data(), out.size()), "[\"ab\",\"" + std::string(40, 'd') + "\",-1]");
}

TEST(BufferStreamTest, GrowsAndReleasesExactly) {
  BufferStream out;
  std::string chunk(1000, 'a');
  for (int i = 0; i < 1000; ++i) out.writeData(chunk.data(), chunk.size());
  EXPECT_EQ(out.size(), 1000000u);
  std::uint8_t* bytes = out.release();
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[999999], 'a');
  std::free(bytes);
  EXPECT_EQ(out.size(), 0u);
}

TEST(BufferStreamTest, EmptyReleaseIsNull) {
  BufferStream out;
  EXPECT_EQ(out.release(), nullptr);
}

TEST(BufferStreamTest, LimitRaisesTheGivenMessage) {
  BufferStream out(0, 10, "document too long");
  out.writeData("0123456789", 10);
  try {
    out.writeData("x", 1);
    FAIL() << "expected the limit to be enforced";
  } catch (const ValueError& e) {
    EXPECT_EQ(e.message(), "document too long");
  }
}

}  // namespace
}  // namespace vellum
