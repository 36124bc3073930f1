#include "ffi/sql_document.h"

#include "ffi/sql_writer.h"
#include "sql/parser.h"
#include "support/arena.h"

namespace vellum {

DocumentBytes parseSqlDocument(std::string_view text) {
  // The tree lives in the arena until the document is written; the document
  // goes straight into one growable buffer, sized from the text, whose bytes
  // are handed over.
  Arena arena;
  sql::NodeList statements = sql::parseStatements(text, arena);
  return sql::writeSqlDocument(statements, sql::documentCapacityHint(text.size()));
}

}  // namespace vellum
