// The keyword map: 125 lower-case words to token kinds, in a hash table
// built at compile time. A lookup lower-cases the word into a small buffer
// and probes the table; it allocates nothing.
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
constexpr std::size_t kTableSize = 512;        // power of two, about a quarter full

constexpr std::uint32_t hashWord(const char* p, std::size_t n) {
  std::uint32_t h = 2166136261u;
  for (std::size_t i = 0; i < n; ++i) {
    h ^= static_cast<unsigned char>(p[i]);
    h *= 16777619u;
  }
  return h;
}

// One more than the index into kKeywords; 0 for an empty slot. Empty is the
// zero value on purpose: GCC 12 at -O2 emitted the default member
// initializer of a constexpr-built table's untouched elements as 0, which
// made every slot look taken and every miss probe the whole table.
constexpr auto kTable = [] {
  std::array<std::uint8_t, kTableSize> table{};
  for (std::size_t i = 0; i < kKeywordCount; ++i) {
    std::size_t h = hashWord(kKeywords[i].word.data(), kKeywords[i].word.size()) & (kTableSize - 1);
    while (table[h] != 0) h = (h + 1) & (kTableSize - 1);
    table[h] = static_cast<std::uint8_t>(i + 1);
  }
  return table;
}();

}  // namespace

namespace {

// Keywords are at most 11 bytes: an inline loop beats a call to memcmp.
inline bool sameBytes(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

TokenKind keywordKind(std::string_view word) {
  if (word.size() > kMaxKeywordLength || word.empty()) return tkIdent;
  char lower[kMaxKeywordLength];
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
  }
  std::size_t h = hashWord(lower, word.size()) & (kTableSize - 1);
  while (kTable[h] != 0) {
    const Keyword& k = kKeywords[kTable[h] - 1];
    if (k.word.size() == word.size() && sameBytes(k.word.data(), lower, word.size())) return k.kind;
    h = (h + 1) & (kTableSize - 1);
  }
  return tkIdent;
}

}  // namespace vellum::sql
