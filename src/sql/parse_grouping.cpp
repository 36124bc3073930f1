// Placeholder until this grammar area lands.
#include "sql/parser.h"
#include "support/errors.h"

namespace vellum::sql {

SqlNode* Parser::parseGroupingElement() { error("not available yet"); }
SqlNode* Parser::parseGroupingSetElement() { error("not available yet"); }
SqlNode* Parser::parseRollupOrCube(SqlNodeKind) { error("not available yet"); }
SqlNode* Parser::parseWindowSpec() { error("not available yet"); }
SqlNode* Parser::parseWindowFrame() { error("not available yet"); }
SqlNode* Parser::parseFrameBound() { error("not available yet"); }

}  // namespace vellum::sql
