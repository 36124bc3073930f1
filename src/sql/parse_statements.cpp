// Placeholder until this grammar area lands.
#include "sql/parser.h"
#include "support/errors.h"

namespace vellum::sql {

SqlNode* Parser::parseStatement() { error("not available yet"); }
SqlNode* Parser::parseExplain() { error("not available yet"); }
SqlNode* Parser::parsePragma() { error("not available yet"); }
SqlNode* Parser::parseShow() { error("not available yet"); }
SqlNode* Parser::parseDescribe() { error("not available yet"); }
SqlNode* Parser::parseBegin() { error("not available yet"); }
SqlNode* Parser::parseSetTransaction() { error("not available yet"); }
SqlNode* Parser::parseCommit() { error("not available yet"); }
SqlNode* Parser::parseRollback() { error("not available yet"); }
SqlNode* Parser::parseSavepoint() { error("not available yet"); }
SqlNode* Parser::parseRelease() { error("not available yet"); }
void Parser::parseTransactionCharacteristics(SqlNode*, bool) { error("not available yet"); }

NodeList parseStatements(std::string_view text, Arena& arena) {
  Parser p(text, arena);
  p.error("statements are not available yet");
}

void backfillSpans(SqlNode*, SqlNode*) {}

}  // namespace vellum::sql
