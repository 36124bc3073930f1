#include "promql/promql_document.h"

#include <utility>

#include "promql/promql_parser.h"
#include "promql/promql_writer.h"
#include "support/arena.h"
#include "support/errors.h"

namespace vellum {

DocumentBytes readPromQlDocument(std::string_view text) {
  Arena arena;
  std::string_view failure;
  const promql::PromNode* root = promql::readPromQl(text, arena, failure);
  if (root == nullptr) {
    DocumentBytes rejected;
    rejected.failure = failure;
    return rejected;
  }
  // Documents run to about ten times the text for typical expressions; one
  // buffer of that size spares the early regrowths of a small document.
  constexpr std::size_t kMaxFirstBuffer = std::size_t{64} << 20;
  const std::size_t expected = text.size() < kMaxFirstBuffer / 12 ? 256 + 12 * text.size() : kMaxFirstBuffer;
  return promql::writePromDocument(*root, expected);
}

DocumentBytes parsePromQlDocument(std::string_view text) {
  DocumentBytes document = readPromQlDocument(text);
  if (!document.failure.empty()) throw PromQlParseError(std::move(document.failure));
  return document;
}

}  // namespace vellum
