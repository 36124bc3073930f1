// MessagePack encoder: one function per wire type, each choosing the shortest
// format that holds the value. Only nil, bool, int, float64, str, array and
// map are ever produced.
//
// The functions are inline: serializers write millions of small values, most
// of them keys given as string literals, and inlined into the caller a
// literal's header and bytes become two fixed-size stores into the stream's
// window.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "msgpack/output_stream.h"

namespace vellum {

namespace encoder_detail {

inline void writeMarker(OutputStream& out, std::uint8_t marker) { out.writeData(&marker, 1); }

// Writes the marker, then `width` bytes of `value` big-endian.
inline void writeMarkedBE(OutputStream& out, std::uint8_t marker, std::uint64_t value, int width) {
  std::uint8_t bytes[8];
  for (int i = 0; i < width; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
  writeMarker(out, marker);
  out.writeData(bytes, static_cast<std::size_t>(width));
}

// Copies n < 32 bytes with fixed-size moves, two of them overlapping, so
// that no byte outside [src, src + n) is read.
inline void copyShort(std::uint8_t* dst, const char* src, std::size_t n) {
  if (n >= 16) {
    std::memcpy(dst, src, 16);
    std::memcpy(dst + n - 16, src + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(dst, src, 8);
    std::memcpy(dst + n - 8, src + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(dst, src, 4);
    std::memcpy(dst + n - 4, src + n - 4, 4);
  } else if (n != 0) {
    dst[0] = static_cast<std::uint8_t>(src[0]);
    dst[n / 2] = static_cast<std::uint8_t>(src[n / 2]);
    dst[n - 1] = static_cast<std::uint8_t>(src[n - 1]);
  }
}

}  // namespace encoder_detail

inline void writeNil(OutputStream& out) { encoder_detail::writeMarker(out, 0xc0); }

inline void writeBool(OutputStream& out, bool value) { encoder_detail::writeMarker(out, value ? 0xc3 : 0xc2); }

inline void writeUInt(OutputStream& out, std::uint64_t v) {
  using namespace encoder_detail;
  if (v <= 127) {
    writeMarker(out, static_cast<std::uint8_t>(v));
  } else if (v <= 0xff) {
    writeMarkedBE(out, 0xcc, v, 1);
  } else if (v <= 0xffff) {
    writeMarkedBE(out, 0xcd, v, 2);
  } else if (v <= 0xffffffffULL) {
    writeMarkedBE(out, 0xce, v, 4);
  } else {
    writeMarkedBE(out, 0xcf, v, 8);
  }
}

inline void writeInt(OutputStream& out, std::int64_t v) {
  using namespace encoder_detail;
  if (v >= 0) {
    writeUInt(out, static_cast<std::uint64_t>(v));
  } else if (v >= -32) {
    writeMarker(out, static_cast<std::uint8_t>(v));
  } else if (v >= -128) {
    writeMarkedBE(out, 0xd0, static_cast<std::uint64_t>(v), 1);
  } else if (v >= -32768) {
    writeMarkedBE(out, 0xd1, static_cast<std::uint64_t>(v), 2);
  } else if (v >= -2147483648LL) {
    writeMarkedBE(out, 0xd2, static_cast<std::uint64_t>(v), 4);
  } else {
    writeMarkedBE(out, 0xd3, static_cast<std::uint64_t>(v), 8);
  }
}

inline void writeFloat64(OutputStream& out, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  encoder_detail::writeMarkedBE(out, 0xcb, bits, 8);
}

namespace encoder_detail {

// writeStr of a string that is long or does not fit the window.
[[gnu::noinline]] inline void writeStrAnyLength(OutputStream& out, std::string_view s) {
  std::size_t n = s.size();
  if (n < 32) {
    writeMarker(out, static_cast<std::uint8_t>(0xa0 | n));
  } else if (n < 256) {
    writeMarkedBE(out, 0xd9, n, 1);
  } else if (n <= 0xffff) {
    writeMarkedBE(out, 0xda, n, 2);
  } else {
    writeMarkedBE(out, 0xdb, n, 4);
  }
  out.writeData(s.data(), n);
}

}  // namespace encoder_detail

inline void writeStr(OutputStream& out, std::string_view s) {
  using namespace encoder_detail;
  std::size_t n = s.size();
  // Most strings are short names: header and bytes straight into the window
  // when it has room.
  std::uint8_t* p = out.reserve(32);
  if (n < 32 && p != nullptr) {
    p[0] = static_cast<std::uint8_t>(0xa0 | n);
    copyShort(p + 1, s.data(), n);
    out.commit(p + 1 + n);
    return;
  }
  writeStrAnyLength(out, s);
}

// The bytes writeArrayHeader writes, stored at `p` (at most 5); returns
// their end.
inline std::uint8_t* putArrayHeader(std::uint8_t* p, std::uint32_t n) {
  if (n < 16) {
    *p++ = static_cast<std::uint8_t>(0x90 | n);
    return p;
  }
  const int width = n <= 0xffff ? 2 : 4;
  *p++ = width == 2 ? 0xdc : 0xdd;
  for (int i = width - 1; i >= 0; --i) *p++ = static_cast<std::uint8_t>(n >> (8 * i));
  return p;
}

inline void writeArrayHeader(OutputStream& out, std::uint32_t n) {
  using namespace encoder_detail;
  if (n < 16) {
    writeMarker(out, static_cast<std::uint8_t>(0x90 | n));
  } else if (n <= 0xffff) {
    writeMarkedBE(out, 0xdc, n, 2);
  } else {
    writeMarkedBE(out, 0xdd, n, 4);
  }
}

inline void writeMapHeader(OutputStream& out, std::uint32_t n) {
  using namespace encoder_detail;
  if (n < 16) {
    writeMarker(out, static_cast<std::uint8_t>(0x80 | n));
  } else if (n <= 0xffff) {
    writeMarkedBE(out, 0xde, n, 2);
  } else {
    writeMarkedBE(out, 0xdf, n, 4);
  }
}

}  // namespace vellum
