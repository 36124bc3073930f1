// The keyword map: 125 lower-case words to token kinds, in buckets by length
// and first letter built at compile time, and the lookup of a packed word.
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

// Keywords grouped by length and first letter: a word is compared only with
// the few keywords of its bucket (at most a handful), and a word whose
// bucket is empty, such as most one-letter names, is no keyword at once.
// Each keyword is also kept packed: its bytes little-endian in two 64-bit
// words, zero past the end, so that a comparison is two integer compares.
constexpr std::size_t kLetters = 26;
constexpr std::size_t kBucketCount = (kMaxKeywordLength + 1) * kLetters;

constexpr std::size_t bucketOf(std::size_t length, char first) {
  return length * kLetters + static_cast<std::size_t>(first - 'a');
}

struct BucketTable {
  // Keywords ordered by bucket; bucket b holds entries [start[b], start[b + 1]).
  PackedWord packed[kKeywordCount] = {};
  TokenKind kind[kKeywordCount] = {};
  std::uint8_t start[kBucketCount + 1] = {};
};

inline constexpr BucketTable kBuckets = [] {
  BucketTable t;
  std::size_t counts[kBucketCount] = {};
  for (const Keyword& k : kKeywords) ++counts[bucketOf(k.word.size(), k.word[0])];
  std::size_t at = 0;
  for (std::size_t b = 0; b < kBucketCount; ++b) {
    t.start[b] = static_cast<std::uint8_t>(at);
    at += counts[b];
  }
  t.start[kBucketCount] = static_cast<std::uint8_t>(at);
  std::size_t filled[kBucketCount] = {};
  for (const Keyword& k : kKeywords) {
    std::size_t b = bucketOf(k.word.size(), k.word[0]);
    std::size_t slot = t.start[b] + filled[b]++;
    t.packed[slot] = packWord(k.word);
    t.kind[slot] = k.kind;
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

// Masks that keep the first n bytes of the low and the high half.
struct LengthMasks {
  std::uint64_t low[17];
  std::uint64_t high[17];
};
inline constexpr LengthMasks kLengthMasks = [] {
  LengthMasks m{};
  for (std::size_t n = 0; n <= 16; ++n) {
    m.low[n] = n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
    m.high[n] = n <= 8 ? 0 : n == 16 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * (n - 8))) - 1;
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
  std::uint64_t low = (word.low | kLower) & kLengthMasks.low[length];
  std::uint64_t high = (word.high | kLower) & kLengthMasks.high[length];
  unsigned first = static_cast<unsigned>(low & 0xff) - 'a';
  if (first >= kLetters) return tkIdent;  // also the empty word
  std::size_t b = length * kLetters + first;
  for (std::size_t e = kBuckets.start[b]; e < kBuckets.start[b + 1]; ++e) {
    if (kBuckets.packed[e].low == low && kBuckets.packed[e].high == high) return kBuckets.kind[e];
  }
  return tkIdent;
}

}  // namespace vellum::sql
