// The schema statements: CREATE TABLE, CREATE INDEX, CREATE VIEW, CREATE
// SEQUENCE, DROP and TRUNCATE, with column definitions, constraints,
// references, sequence options and WITH option lists.
#include <string>

#include "sql/parser.h"

namespace vellum::sql {

// [IF NOT EXISTS]
void Parser::parseIfNotExists(SqlNode* node) {
  if (!accept(tkIf)) return;
  skip(tkNot);
  skip(tkExists);
  addChild(node, newIdentifier(arena, "IF NOT EXISTS", SqlSpan{}));
}

// [IF EXISTS]
void Parser::parseIfExists(SqlNode* node) {
  if (!accept(tkIf)) return;
  skip(tkExists);
  addChild(node, newIdentifier(arena, "IF EXISTS", SqlSpan{}));
}

}  // namespace vellum::sql
