// Keyword lookup for any text: words of other bytes are no keyword.
#include "sql/keyword_map.h"

namespace vellum::sql {
namespace {

inline bool isWordByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

TokenKind keywordKind(std::string_view word) {
  if (word.size() > keyword_detail::kMaxKeywordLength || word.empty()) return tkIdent;
  PackedWord packed{0, 0};
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (!isWordByte(word[i])) return tkIdent;
    std::uint64_t byte = static_cast<unsigned char>(word[i]);
    if (i < 8) {
      packed.low |= byte << (8 * i);
    } else {
      packed.high |= byte << (8 * (i - 8));
    }
  }
  return lookupKeyword(packed, word.size());
}

}  // namespace vellum::sql
