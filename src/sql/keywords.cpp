// The keyword map: 125 lower-case words to token kinds, in buckets by length
// and first letter built at compile time. A lookup allocates nothing.
#include <array>
#include <cstdint>

#include "sql/lexer.h"

namespace vellum::sql {
namespace {

struct Keyword {
  std::string_view word;
  TokenKind kind;
};

constexpr Keyword kKeywords[] = {
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
constexpr std::size_t kLetters = 26;
constexpr std::size_t kBucketCount = (kMaxKeywordLength + 1) * kLetters;

constexpr std::size_t bucketOf(std::size_t length, char first) {
  return length * kLetters + static_cast<std::size_t>(first - 'a');
}

struct BucketTable {
  // Keyword indexes ordered by bucket; bucket b holds entries
  // [start[b], start[b + 1]).
  std::uint8_t order[kKeywordCount] = {};
  std::uint8_t start[kBucketCount + 1] = {};
};

constexpr BucketTable kBuckets = [] {
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
  for (std::size_t i = 0; i < kKeywordCount; ++i) {
    std::size_t b = bucketOf(kKeywords[i].word.size(), kKeywords[i].word[0]);
    t.order[t.start[b] + filled[b]++] = static_cast<std::uint8_t>(i);
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

inline char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

}  // namespace

TokenKind keywordKind(std::string_view word) {
  if (word.size() > kMaxKeywordLength || word.empty()) return tkIdent;
  char first = lowerAscii(word[0]);
  if (first < 'a' || first > 'z') return tkIdent;
  std::size_t b = bucketOf(word.size(), first);
  for (std::size_t e = kBuckets.start[b]; e < kBuckets.start[b + 1]; ++e) {
    const Keyword& k = kKeywords[kBuckets.order[e]];
    std::size_t i = 1;
    while (i < word.size() && lowerAscii(word[i]) == k.word[i]) ++i;
    if (i == word.size()) return k.kind;
  }
  return tkIdent;
}

}  // namespace vellum::sql
