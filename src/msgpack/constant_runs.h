// Constant pieces of documents, encoded at compile time.
//
// Most of a document is fixed text: keys, variant names, the headers of maps
// whose entry counts are known. Writing each of them as one fixed-size copy
// (instead of a marker and a payload per string) roughly halves the cost of a
// document. The bytes are exactly those the encoder writes for the same
// values: fixmap/fixarray headers, nil, booleans and strings of fewer than 32
// bytes; consteval checks keep every piece inside those formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "msgpack/encoder.h"
#include "msgpack/output_stream.h"

namespace vellum {

// A string known at compile time, stored as its MessagePack bytes.
template <std::size_t N>
struct Lit {
  std::uint8_t bytes[N];  // fixstr header, then the N - 1 characters

  consteval Lit(const char (&text)[N]) : bytes{} {
    if (N - 1 >= 32) throw "literal too long for a fixstr";
    bytes[0] = static_cast<std::uint8_t>(0xa0 | (N - 1));
    for (std::size_t i = 0; i + 1 < N; ++i) bytes[i + 1] = static_cast<std::uint8_t>(text[i]);
  }
};

// writeStr of a string literal, as one fixed-size write.
template <Lit L>
inline void writeLit(OutputStream& out) {
  out.writeData(L.bytes, sizeof L.bytes);
}

// One value of a constant run.
struct Piece {
  std::uint8_t marker;
  std::string_view text;  // the string's bytes after a fixstr marker
};

consteval Piece map(unsigned entries) {
  if (entries >= 16) throw "too many entries for a fixmap";
  return {static_cast<std::uint8_t>(0x80 | entries), {}};
}

consteval Piece array(unsigned elements) {
  if (elements >= 16) throw "too many elements for a fixarray";
  return {static_cast<std::uint8_t>(0x90 | elements), {}};
}

consteval Piece str(std::string_view text) {
  if (text.size() >= 32) throw "string too long for a fixstr";
  return {static_cast<std::uint8_t>(0xa0 | text.size()), text};
}

inline constexpr Piece nil{0xc0, {}};
inline constexpr Piece yes{0xc3, {}};
inline constexpr Piece no{0xc2, {}};

// A constant run of values, written with one fixed-size copy.
struct Run {
  std::uint8_t bytes[96] = {};
  std::size_t size = 0;

  consteval Run(std::initializer_list<Piece> pieces) {
    for (const Piece& p : pieces) {
      if (size + 1 + p.text.size() > sizeof bytes) throw "constant run too long";
      bytes[size++] = p.marker;
      for (char c : p.text) bytes[size++] = static_cast<std::uint8_t>(c);
    }
  }
};

template <Run R>
inline void writeRun(OutputStream& out) {
  out.writeData(R.bytes, R.size);
}

// Constant runs written back to back.
template <Run... Rs>
consteval Run joinRuns() {
  Run joined{};
  for (const Run* r : {&Rs...}) {
    if (joined.size + r->size > sizeof joined.bytes) throw "joined runs too long";
    for (std::size_t i = 0; i < r->size; ++i) joined.bytes[joined.size++] = r->bytes[i];
  }
  return joined;
}

// The runs as one copy when the window has room, else each run's own write
// as writeRun makes it (a stream that checks every write sees the same
// writes either way).
// The joined bytes live in read-only data, like a writeRun's: a local copy
// built on the stack at each call would be read back right after its
// stores, and the load waits for them.
template <Run... Rs>
inline constexpr Run kJoinedRuns = joinRuns<Rs...>();

template <Run... Rs>
inline void writeRuns(OutputStream& out) {
  constexpr const Run& kJoined = kJoinedRuns<Rs...>;
  if (std::uint8_t* p = out.reserve(kJoined.size)) {
    std::memcpy(p, kJoined.bytes, kJoined.size);
    out.commit(p + kJoined.size);
    return;
  }
  (writeRun<Rs>(out), ...);
}

// Values built at run time (spans) go into a small stack buffer through a
// local cursor and reach the stream with one write. A cursor that is a local
// variable, unlike a member, is not reloaded after every byte store.
template <Run R>
inline std::uint8_t* putRun(std::uint8_t* p) {
  std::memcpy(p, R.bytes, R.size);
  return p + R.size;
}

// An integer of 32 bits, in the format writeInt chooses for it.
inline std::uint8_t* putInt32(std::uint8_t* p, std::int32_t v) {
  auto be = [&p](std::uint32_t value, int width) {
    for (int i = width - 1; i >= 0; --i) *p++ = static_cast<std::uint8_t>(value >> (8 * i));
  };
  if (v >= 0) {
    if (v <= 127) {
      *p++ = static_cast<std::uint8_t>(v);
    } else if (v <= 0xff) {
      *p++ = 0xcc;
      *p++ = static_cast<std::uint8_t>(v);
    } else if (v <= 0xffff) {
      *p++ = 0xcd;
      be(static_cast<std::uint32_t>(v), 2);
    } else {
      *p++ = 0xce;
      be(static_cast<std::uint32_t>(v), 4);
    }
  } else if (v >= -32) {
    *p++ = static_cast<std::uint8_t>(v);
  } else if (v >= -128) {
    *p++ = 0xd0;
    *p++ = static_cast<std::uint8_t>(v);
  } else if (v >= -32768) {
    *p++ = 0xd1;
    be(static_cast<std::uint32_t>(v), 2);
  } else {
    *p++ = 0xd2;
    be(static_cast<std::uint32_t>(v), 4);
  }
  return p;
}

// A 64-bit integer, in the format writeInt chooses for it; at most 9 bytes.
inline std::uint8_t* putInt64(std::uint8_t* p, std::int64_t v) {
  if (v >= -2147483648LL && v <= 2147483647LL) return putInt32(p, static_cast<std::int32_t>(v));
  auto be = [&p](std::uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) *p++ = static_cast<std::uint8_t>(value >> (8 * i));
  };
  if (v > 0 && v <= 0xffffffffLL) {
    *p++ = 0xce;
    be(static_cast<std::uint64_t>(v), 4);
  } else if (v > 0) {
    *p++ = 0xcf;
    be(static_cast<std::uint64_t>(v), 8);
  } else {
    *p++ = 0xd3;
    be(static_cast<std::uint64_t>(v), 8);
  }
  return p;
}

}  // namespace vellum
