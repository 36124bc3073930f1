// Placeholder until this grammar area lands.
#include "sql/parser.h"
#include "support/errors.h"

namespace vellum::sql {

SqlNode* Parser::parseFromClause() { error("not available yet"); }
SqlNode* Parser::parseFromItem() { error("not available yet"); }
SqlNode* Parser::parseTableAlias(SqlNode*) { error("not available yet"); }
SqlNode* Parser::parseTableFunction(const Token&, bool) { error("not available yet"); }
void Parser::parseUsingColumns(TextList&) { error("not available yet"); }

}  // namespace vellum::sql
