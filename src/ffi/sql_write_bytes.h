// The constant runs of the SQL writers (keys, variant names, fixed map
// headers) come from the encoder's compile-time pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "msgpack/constant_runs.h"
#include "sql/tree.h"

namespace vellum::sql {

// A string of fewer than 32 bytes, as writeStr writes it.
inline std::uint8_t* putShortStr(std::uint8_t* p, std::string_view text) {
  *p++ = static_cast<std::uint8_t>(0xa0 | text.size());
  encoder_detail::copyShort(p, text.data(), text.size());
  return p + text.size();
}

// A span map whose four numbers are positive fixints (0 to 127, the span of
// almost every node of a short statement), after the "span" key when
// `withKey`, with the number bytes left as 0 and their offsets noted.
struct SmallSpanTemplate {
  std::uint8_t bytes[48] = {};
  std::size_t size = 0;
  std::size_t at[4] = {};
};

constexpr SmallSpanTemplate smallSpanTemplate(bool withKey) {
  SmallSpanTemplate t;
  auto put = [&t](std::string_view key) {
    t.bytes[t.size++] = static_cast<std::uint8_t>(0xa0 | key.size());
    for (char c : key) t.bytes[t.size++] = static_cast<std::uint8_t>(c);
  };
  if (withKey) put("span");
  int number = 0;
  for (std::string_view side : {std::string_view("start"), std::string_view("end")}) {
    if (number == 0) t.bytes[t.size++] = 0x82;
    put(side);
    t.bytes[t.size++] = 0x82;
    put("line");
    t.at[number++] = t.size++;
    put("column");
    t.at[number++] = t.size++;
  }
  return t;
}

inline constexpr SmallSpanTemplate kSmallSpanEntry = smallSpanTemplate(true);
static_assert(kSmallSpanEntry.size == 46);

// Room that putSmallSpanEntry needs at `p` (the whole template is copied).
inline constexpr std::size_t kSmallSpanEntryRoom = sizeof kSmallSpanEntry.bytes;

// The four numbers of a span as two words, to test and store them without
// reading the span again after bytes have been stored.
struct SpanWords {
  std::uint64_t start;  // line, then column
  std::uint64_t end;

  explicit SpanWords(const SqlSpan& span) {
    static_assert(sizeof(SqlSpan) == 16);
    std::uint64_t words[2];
    std::memcpy(words, &span, sizeof words);
    start = words[0];
    end = words[1];
  }
  // Every number 0 to 127 (negative ones have the top bit set).
  bool small() const { return ((start | end) & 0xffffff80ffffff80ULL) == 0; }
};

inline constexpr SmallSpanTemplate kSmallSpan = smallSpanTemplate(false);
static_assert(kSmallSpan.size == 41);

// `t` copied whole with the four numbers of a small span stored; returns the
// end of its bytes.
inline std::uint8_t* putSmallSpan(std::uint8_t* p, const SmallSpanTemplate& t, SpanWords span) {
  std::memcpy(p, t.bytes, sizeof t.bytes);
  p[t.at[0]] = static_cast<std::uint8_t>(span.start);
  p[t.at[1]] = static_cast<std::uint8_t>(span.start >> 32);
  p[t.at[2]] = static_cast<std::uint8_t>(span.end);
  p[t.at[3]] = static_cast<std::uint8_t>(span.end >> 32);
  return p + t.size;
}

// The "span" entry of a small span.
inline std::uint8_t* putSmallSpanEntry(std::uint8_t* p, SpanWords span) {
  return putSmallSpan(p, kSmallSpanEntry, span);
}

// Room for any span entry: the key and at most 57 bytes of span map.
inline constexpr std::size_t kSpanEntryRoom = 64;
static_assert(kSmallSpanEntryRoom <= kSpanEntryRoom);

// {"start": {"line": L, "column": C}, "end": {"line": L, "column": C}} of any
// span, each number in the format writeInt chooses; at most 57 bytes.
inline std::uint8_t* putSpanMap(std::uint8_t* p, SpanWords span) {
  if (span.small()) return putSmallSpan(p, kSmallSpan, span);
  p = putRun<Run{map(2), str("start"), map(2), str("line")}>(p);
  p = putInt32(p, static_cast<std::int32_t>(span.start));
  p = putRun<Run{str("column")}>(p);
  p = putInt32(p, static_cast<std::int32_t>(span.start >> 32));
  p = putRun<Run{str("end"), map(2), str("line")}>(p);
  p = putInt32(p, static_cast<std::int32_t>(span.end));
  p = putRun<Run{str("column")}>(p);
  return putInt32(p, static_cast<std::int32_t>(span.end >> 32));
}

// The "span" entry of any span; at most kSpanEntryRoom bytes.
inline std::uint8_t* putSpanEntry(std::uint8_t* p, SpanWords span) {
  if (span.small()) return putSmallSpanEntry(p, span);
  return putSpanMap(putRun<Run{str("span")}>(p), span);
}

// The constant runs of the common leaves, up to their text: a column named by
// a plain identifier, a number and a string literal.
inline constexpr Run kColumnLeaf{map(2), str("kind"), map(3), str("variant"), str("ColumnRef"), str("table"), nil,
                                 str("column")};
inline constexpr Run kNumberLeaf{map(2), str("kind"), map(2), str("variant"), str("Literal"), str("literal"),
                                 map(2), str("variant"), str("Number"), str("value")};
inline constexpr Run kStringLeaf{map(2), str("kind"), map(2), str("variant"), str("Literal"), str("literal"),
                                 map(2), str("variant"), str("String"), str("value")};
static_assert(kColumnLeaf.size <= kNumberLeaf.size && kStringLeaf.size == kNumberLeaf.size);

// Room for the longest leaf map written in place: run, text below 32 bytes
// and its header, span entry.
inline constexpr std::size_t kLeafRoom = kNumberLeaf.size + 32 + kSpanEntryRoom;

// A leaf's map up to its span entry: `run`, then `text` (< 32 bytes) as a
// fixstr.
template <const Run& R>
inline std::uint8_t* putLeafText(std::uint8_t* p, std::string_view text) {
  return putShortStr(putRun<R>(p), text);
}

}  // namespace vellum::sql
