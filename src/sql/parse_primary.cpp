// Placeholder until this grammar area lands.
#include "sql/parser.h"
#include "support/errors.h"

namespace vellum::sql {

SqlNode* Parser::parsePrimary() { error("not available yet"); }
SqlNode* Parser::parseFunctionCall(const Token&) { error("not available yet"); }
SqlNode* Parser::parseCast(const Token&, SqlNodeKind) { error("not available yet"); }
SqlNode* Parser::parseVectorLiteral() { error("not available yet"); }
SqlNode* Parser::parseOver() { error("not available yet"); }

}  // namespace vellum::sql
