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
  for (char c : word) {
    if (!isWordByte(c)) return tkIdent;
  }
  return lookupKeyword(packWord(word), word.size());
}

}  // namespace vellum::sql
