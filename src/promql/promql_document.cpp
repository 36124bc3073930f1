#include "promql/promql_document.h"

#include "promql/promql_parser.h"
#include "promql/promql_writer.h"
#include "support/arena.h"

namespace vellum {

DocumentBytes parsePromQlDocument(std::string_view text) {
  Arena arena;
  const promql::PromNode* root = promql::parsePromQl(text, arena);
  // Documents run to about ten times the text for typical expressions; one
  // buffer of that size spares the early regrowths of a small document.
  constexpr std::size_t kMaxFirstBuffer = std::size_t{64} << 20;
  const std::size_t expected = text.size() < kMaxFirstBuffer / 12 ? 256 + 12 * text.size() : kMaxFirstBuffer;
  return promql::writePromDocument(*root, expected);
}

}  // namespace vellum
