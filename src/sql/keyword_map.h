// The keyword map: 125 lower-case words to token kinds in a perfect hash
// table built at compile time, and the lookup of a packed word.
// The lexer inlines the lookup; keywordKind() wraps it for any text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sql/lexer.h"

namespace vellum::sql {

// A word of at most 16 bytes packed little-endian into two 64-bit halves.
struct PackedWord {
  std::uint64_t low;
  std::uint64_t high;
};

// The bytes of a word of at most 16 bytes, zero past its end.
constexpr PackedWord packWord(std::string_view word) {
  PackedWord w{0, 0};
  for (std::size_t i = 0; i < word.size(); ++i) {
    std::uint64_t byte = static_cast<unsigned char>(word[i]);
    if (i < 8) {
      w.low |= byte << (8 * i);
    } else {
      w.high |= byte << (8 * (i - 8));
    }
  }
  return w;
}

namespace keyword_detail {

struct Keyword {
  std::string_view word;
  TokenKind kind;
};

inline constexpr Keyword kKeywords[] = {
#define SQL_TOKEN(name)
#define SQL_KEYWORD(name, word) {word, name},
#include "sql/tokens.def"
#undef SQL_TOKEN
#undef SQL_KEYWORD
    {"integer", tkInt},
    {"numeric", tkDecimal},
};
constexpr std::size_t kKeywordCount = sizeof(kKeywords) / sizeof(kKeywords[0]);
static_assert(kKeywordCount == 125);

constexpr std::size_t kMaxKeywordLength = 11;  // "transaction"

// A perfect hash of the packed, lower-cased words: each keyword has a slot
// of its own, so a word is compared with one keyword at most, without a
// loop. The slot is the top bits of the product of the word's key with a
// multiplier; the multiplier is the first of a fixed pseudo-random sequence
// that gives every keyword its own slot, found while compiling.
constexpr unsigned kHashBits = 11;
constexpr std::size_t kSlotCount = std::size_t{1} << kHashBits;

// The key of a word: its first eight bytes, zero past its end (`low`, the
// word masked to its length), and its length, which tells apart the longer
// keywords that begin alike. No two keywords have the same key (checked
// below).
constexpr std::uint64_t keyOf(std::uint64_t low, std::size_t length) { return low ^ length; }

constexpr std::size_t slotOf(std::uint64_t key, std::uint64_t multiplier) {
  return static_cast<std::size_t>((key * multiplier) >> (64 - kHashBits));
}

struct PackedKeywords {
  PackedWord word[kKeywordCount];
  std::uint64_t key[kKeywordCount];
};
inline constexpr PackedKeywords kPacked = [] {
  PackedKeywords p{};
  for (std::size_t i = 0; i < kKeywordCount; ++i) {
    p.word[i] = packWord(kKeywords[i].word);
    p.key[i] = keyOf(p.word[i].low, kKeywords[i].word.size());
  }
  return p;
}();

constexpr bool keysAreDistinct() {
  for (std::size_t i = 0; i < kKeywordCount; ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (kPacked.key[i] == kPacked.key[j]) return false;
    }
  }
  return true;
}
static_assert(keysAreDistinct());

// With 2048 slots for 125 keywords about one multiplier in fifty works,
// which keeps the search well inside the compilers' limits on constant
// evaluation (clang's is the tighter).
constexpr std::uint64_t findMultiplier() {
  std::uint64_t x = 0x9e3779b97f4a7c15u;
  for (int attempt = 0; attempt < 4000; ++attempt) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    const std::uint64_t multiplier = x | 1;
    bool taken[kSlotCount] = {};
    bool distinct = true;
    for (const std::uint64_t key : kPacked.key) {
      std::size_t slot = slotOf(key, multiplier);
      if (taken[slot]) {
        distinct = false;
        break;
      }
      taken[slot] = true;
    }
    if (distinct) return multiplier;
  }
  return 0;
}
inline constexpr std::uint64_t kMultiplier = findMultiplier();
static_assert(kMultiplier != 0, "no multiplier gives every keyword a slot of its own: raise kHashBits");

struct alignas(16) HashTable {
  // Entry 0 matches no word (no word byte is 0xff); keyword i is entry i + 1.
  // The packed words are 16-byte aligned, for vector compares.
  std::uint8_t entry[kSlotCount] = {};
  PackedWord packed[kKeywordCount + 1] = {};
  TokenKind kind[kKeywordCount + 1] = {};
};
static_assert(kKeywordCount < 255);
static_assert(kSlotCount % 16 == 0 && sizeof(PackedWord) == 16);

inline constexpr HashTable kHash = [] {
  HashTable t;
  t.packed[0] = {~std::uint64_t{0}, ~std::uint64_t{0}};
  t.kind[0] = tkIdent;
  for (std::size_t i = 0; i < kKeywordCount; ++i) {
    const PackedWord& w = kPacked.word[i];
    t.entry[slotOf(kPacked.key[i], kMultiplier)] = static_cast<std::uint8_t>(i + 1);
    t.packed[i + 1] = w;
    t.kind[i + 1] = kKeywords[i].kind;
  }
  return t;
}();

// Every keyword is lower-case letters and digits and starts with a letter.
constexpr bool keywordsArePlain() {
  for (const Keyword& k : kKeywords) {
    if (k.word.empty() || k.word.size() > kMaxKeywordLength || k.word[0] < 'a' || k.word[0] > 'z') return false;
    for (char c : k.word) {
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    }
  }
  return true;
}
static_assert(keywordsArePlain());
static_assert(kMaxKeywordLength <= 16);

// Masks that keep the first n bytes of a packed word, 16-byte aligned for
// vector ands.
struct alignas(16) LengthMasks {
  PackedWord keep[17];
};
inline constexpr LengthMasks kLengthMasks = [] {
  LengthMasks m{};
  for (std::size_t n = 0; n <= 16; ++n) {
    m.keep[n].low = n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
    m.keep[n].high = n <= 8 ? 0 : n == 16 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * (n - 8))) - 1;
  }
  return m;
}();

}  // namespace keyword_detail

// keywordKind of a word of `length` bytes, each a letter, a digit or "_",
// packed into `word`; bytes past `length` may hold anything.
//
// Setting bit 5 of every byte lower-cases the letters and leaves the digits
// alone; "_" becomes 0x7f, which no keyword holds, so the words that differ
// from a keyword only in the case of their letters, and no others, match it.
inline TokenKind lookupKeyword(PackedWord word, std::size_t length) {
  using namespace keyword_detail;
  if (length > kMaxKeywordLength) return tkIdent;
  constexpr std::uint64_t kLower = 0x2020202020202020u;
  std::uint64_t low = (word.low | kLower) & kLengthMasks.keep[length].low;
  std::uint64_t high = (word.high | kLower) & kLengthMasks.keep[length].high;
  std::size_t e = kHash.entry[slotOf(keyOf(low, length), kMultiplier)];
  return kHash.packed[e].low == low && kHash.packed[e].high == high ? kHash.kind[e] : tkIdent;
}

}  // namespace vellum::sql
