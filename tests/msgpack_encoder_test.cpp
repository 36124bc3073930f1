// Encoder output at every format boundary, byte for byte, and decoded back
// with msgpack-c.
#include <cstdint>
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
  for (const auto& [value, bytes] : cases) {
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
  for (const auto& [count, array, map] : cases) {
    EXPECT_EQ(encode([&](OutputStream& out) { writeArrayHeader(out, count); }), array) << count;
    EXPECT_EQ(encode([&](OutputStream& out) { writeMapHeader(out, count); }), map) << count;
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
