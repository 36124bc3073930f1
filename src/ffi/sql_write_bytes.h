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

// A span map, after the "span" key when `withKey`, whose number bytes are
// left as 0 with their offsets noted. Two layouts:
//   small     every number 0 to 127 (a positive fixint): the span of almost
//             every node of a short statement;
//   midLines  both lines 256 to 65535 (0xcd and two bytes, the offset noting
//             the first of them), both columns 0 to 127: a long script's.
template <std::size_t N>
struct SpanTemplate {
  std::uint8_t bytes[N] = {};
  std::size_t size = 0;
  std::size_t at[4] = {};
  bool midLines = false;
};

template <std::size_t N>
constexpr SpanTemplate<N> spanTemplate(bool withKey, bool midLines) {
  SpanTemplate<N> t;
  t.midLines = midLines;
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
    if (midLines) t.bytes[t.size++] = 0xcd;
    t.at[number++] = t.size++;
    if (midLines) t.size++;
    put("column");
    t.at[number++] = t.size++;
  }
  return t;
}

inline constexpr SpanTemplate<48> kSmallSpan = spanTemplate<48>(false, false);
inline constexpr SpanTemplate<48> kSmallSpanEntry = spanTemplate<48>(true, false);
inline constexpr SpanTemplate<64> kMidLineSpan = spanTemplate<64>(false, true);
inline constexpr SpanTemplate<64> kMidLineSpanEntry = spanTemplate<64>(true, true);
static_assert(kSmallSpan.size == 41 && kSmallSpanEntry.size == 46);
static_assert(kMidLineSpan.size == 45 && kMidLineSpanEntry.size == 50);

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
  // Both lines 256 to 65535, both columns 0 to 127.
  bool midLines() const {
    return ((start | end) & 0xffffff80ffff0000ULL) == 0 && (start & 0xff00) != 0 && (end & 0xff00) != 0;
  }
  // The span entry comes from a template (putTemplateSpanEntry).
  bool templated() const { return small() || midLines(); }
};

// `t` copied whole with the four numbers of `span` stored, which must fit
// its layout; returns the end of its bytes.
template <std::size_t N>
inline std::uint8_t* putSpanFrom(std::uint8_t* p, const SpanTemplate<N>& t, SpanWords span) {
  std::memcpy(p, t.bytes, sizeof t.bytes);
  if (t.midLines) {
    p[t.at[0]] = static_cast<std::uint8_t>(span.start >> 8);
    p[t.at[0] + 1] = static_cast<std::uint8_t>(span.start);
    p[t.at[2]] = static_cast<std::uint8_t>(span.end >> 8);
    p[t.at[2] + 1] = static_cast<std::uint8_t>(span.end);
  } else {
    p[t.at[0]] = static_cast<std::uint8_t>(span.start);
    p[t.at[2]] = static_cast<std::uint8_t>(span.end);
  }
  p[t.at[1]] = static_cast<std::uint8_t>(span.start >> 32);
  p[t.at[3]] = static_cast<std::uint8_t>(span.end >> 32);
  return p + t.size;
}

// The "span" entry of a span for which templated() holds, and the room it
// needs at `p` (a whole template is copied).
inline constexpr std::size_t kTemplateSpanEntryRoom = sizeof kMidLineSpanEntry.bytes;
static_assert(sizeof kSmallSpanEntry.bytes <= kTemplateSpanEntryRoom);
inline std::uint8_t* putTemplateSpanEntry(std::uint8_t* p, SpanWords span) {
  if (span.small()) return putSpanFrom(p, kSmallSpanEntry, span);
  return putSpanFrom(p, kMidLineSpanEntry, span);
}

// Room for any span entry: the key and at most 57 bytes of span map.
inline constexpr std::size_t kSpanEntryRoom = 64;
static_assert(kTemplateSpanEntryRoom <= kSpanEntryRoom);

// putSpanMap and putSpanEntry of a span that is not small(), out of line:
// the spans of a long script, and rare elsewhere.
std::uint8_t* putWideSpanMap(std::uint8_t* p, SpanWords span);
std::uint8_t* putWideSpanEntry(std::uint8_t* p, SpanWords span);

// {"start": {"line": L, "column": C}, "end": {"line": L, "column": C}} of any
// span, each number in the format writeInt chooses; at most 57 bytes.
inline std::uint8_t* putSpanMap(std::uint8_t* p, SpanWords span) {
  if (span.small()) return putSpanFrom(p, kSmallSpan, span);
  return putWideSpanMap(p, span);
}

// The "span" entry of any span; at most kSpanEntryRoom bytes.
inline std::uint8_t* putSpanEntry(std::uint8_t* p, SpanWords span) {
  if (span.small()) return putSpanFrom(p, kSmallSpanEntry, span);
  return putWideSpanEntry(p, span);
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
