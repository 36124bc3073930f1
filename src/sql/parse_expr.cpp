// Placeholder until this grammar area lands.
#include "sql/parser.h"
#include "support/errors.h"

namespace vellum::sql {

SqlNode* Parser::parseExpression() { error("not available yet"); }
SqlNode* Parser::parseConcat() { error("not available yet"); }
SqlNode* Parser::parsePredicate() { error("not available yet"); }
SqlNode* Parser::parseJsonAccess() { error("not available yet"); }
SqlNode* Parser::parsePostfix() { error("not available yet"); }
SqlNode* Parser::parseParenSubquery() { error("not available yet"); }

}  // namespace vellum::sql
