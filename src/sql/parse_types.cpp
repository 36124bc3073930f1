// Placeholder until this grammar area lands.
#include "sql/parser.h"
#include "support/errors.h"

namespace vellum::sql {

SqlNode* Parser::parseDataType() { error("not available yet"); }

}  // namespace vellum::sql
