// Placeholder until this grammar area lands.
#include "sql/parser.h"
#include "support/errors.h"

namespace vellum::sql {

SqlNode* Parser::parseQueryExpression() { error("not available yet"); }
SqlNode* Parser::parseWithQuery() { error("not available yet"); }
SqlNode* Parser::parseQueryTerm() { error("not available yet"); }
SqlNode* Parser::parseSelectCore() { error("not available yet"); }
SqlNode* Parser::parseValues() { error("not available yet"); }
SqlNode* Parser::parseSelectItem() { error("not available yet"); }
SqlNode* Parser::parseOrderItem() { error("not available yet"); }
void Parser::parseSelectList(SqlNode*) { error("not available yet"); }
void Parser::parseLimitClauses(SqlNode*) { error("not available yet"); }

}  // namespace vellum::sql
