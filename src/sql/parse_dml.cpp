// The data-changing statements: INSERT (with ON CONFLICT), UPDATE, DELETE,
// MERGE and COPY, the RETURNING clause they share, and parenthesised name
// lists (also used by the DDL grammar).
#include <string>

#include "sql/parser.h"

namespace vellum::sql {

// name_list := ( name {, name} )
// At `(`.
TextList Parser::parseNameList(std::string_view role) {
  TextList names;
  skip(tkLParen);
  do {
    names.push_back(arena, expectIdent(role).text);
  } while (accept(tkComma));
  skip(tkRParen);
  return names;
}

}  // namespace vellum::sql
