// Error texts quote the offending token; a token that is one byte of a
// multi-byte UTF-8 character is quoted as the whole character, so that the
// message stays valid UTF-8 whenever the input is.
#include <string>

#include <gtest/gtest.h>

#include "sql/parser.h"
#include "support/errors.h"

namespace vellum::sql {
namespace {

std::string statementError(const std::string& text) {
  Arena arena;
  try {
    parseStatements(text, arena);
  } catch (const ParseError& e) {
    return e.message();
  }
  return "<no error>";
}

constexpr char kStatementMessage[] =
    "expected SQL statement (SHOW, DESCRIBE, EXPLAIN, WITH, SELECT, INSERT, UPDATE, DELETE, MERGE, COPY, "
    "CREATE, DROP, ALTER, TRUNCATE, PRAGMA, BEGIN, START TRANSACTION, SET TRANSACTION, COMMIT, ROLLBACK, "
    "SAVEPOINT, RELEASE)";

struct Case {
  std::string text;
  std::string expected;
};

TEST(SqlErrorTextTest, QuotesWholeUtf8Characters) {
  const Case cases[] = {
      // Lead byte of a three-byte character.
      {"\xe2\x82\xac", std::string("Parse error at line 1, col 1: ") + kStatementMessage + " (got tkIdent '\xe2\x82\xac')"},
      // A four-byte character after SELECT: its first byte is a column, its
      // second the column's alias, and its third starts the next statement.
      {"SELECT \xf0\x9f\x92\x9d", std::string("Parse error at line 1, col 10: ") + kStatementMessage +
                                      " (got tkIdent '\xf0\x9f\x92\x9d')"},
      // ASCII bytes and stray continuation bytes are quoted as they are.
      {"$", std::string("Parse error at line 1, col 1: ") + kStatementMessage + " (got tkIdent '$')"},
      {"\x80", std::string("Parse error at line 1, col 1: ") + kStatementMessage + " (got tkIdent '\x80')"},
      // A truncated character is quoted byte for byte.
      {"\xe2\x82", std::string("Parse error at line 1, col 1: ") + kStatementMessage + " (got tkIdent '\xe2')"},
  };
  for (const auto& c : cases) EXPECT_EQ(statementError(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace vellum::sql
