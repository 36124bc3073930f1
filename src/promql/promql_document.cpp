#include "promql/promql_document.h"

#include "promql/promql_parser.h"
#include "promql/promql_writer.h"
#include "support/arena.h"

namespace vellum {

DocumentBytes parsePromQlDocument(std::string_view text) {
  Arena arena;
  const promql::PromNode* root = promql::parsePromQl(text, arena);
  return promql::writePromDocument(*root);
}

}  // namespace vellum
