// Shared helpers for the SQL grammar tests: parse a text and give its
// statements as one-line tree dumps, or the text of the error it raises.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "sql/parser.h"
#include "sql/tree_dump.h"
#include "support/arena.h"
#include "support/errors.h"
#include "support/text.h"

namespace vellum_test {

// Every statement of the text dumped, separated by " ; ". Errors propagate.
inline std::string dumpStatements(std::string_view text, bool withSpans = false) {
  vellum::Arena arena;
  vellum::sql::NodeList list = vellum::sql::parseStatements(text, arena);
  std::string out;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i != 0) out += " ; ";
    out += vellum::sql::dumpTree(list[i], withSpans);
  }
  return out;
}

// The message of the error the text raises, or a note that it parsed.
inline std::string errorOf(std::string_view text) {
  try {
    std::string tree = dumpStatements(text);
    return "parsed: " + tree;
  } catch (const vellum::ParseError& e) {
    return e.what();
  } catch (const vellum::VellumError& e) {
    return std::string("other error: ") + e.what();
  }
}

// The positioned syntax error text.
inline std::string parseError(int line, int column, std::string_view message, std::string_view got) {
  return "Parse error at line " + std::to_string(line) + ", col " + std::to_string(column) + ": " +
         std::string(message) + " (got " + std::string(got) + ")";
}

inline constexpr std::string_view kNoStatement =
    "expected SQL statement (SHOW, DESCRIBE, EXPLAIN, WITH, SELECT, INSERT, UPDATE, DELETE, MERGE, "
    "COPY, CREATE, DROP, ALTER, TRUNCATE, PRAGMA, BEGIN, START TRANSACTION, SET TRANSACTION, COMMIT, "
    "ROLLBACK, SAVEPOINT, RELEASE)";

inline constexpr std::string_view kNestingMessage = "maximum SQL syntactic nesting depth of 128 exceeded";

struct TreeCase {
  std::string_view text;
  std::string_view tree;
};

struct ErrorCase {
  std::string_view text;
  int line;
  int column;
  std::string_view message;
  std::string_view got;  // "KIND 'TEXT'"
};

inline void expectTrees(const TreeCase* begin, const TreeCase* end, bool withSpans = false) {
  for (const TreeCase* c = begin; c != end; ++c) {
    SCOPED_TRACE(c->text);
    try {
      EXPECT_EQ(dumpStatements(c->text, withSpans), c->tree);
    } catch (const vellum::VellumError& e) {
      ADD_FAILURE() << "unexpected error: " << e.what();
    }
  }
}

inline void expectErrors(const ErrorCase* begin, const ErrorCase* end) {
  for (const ErrorCase* c = begin; c != end; ++c) {
    SCOPED_TRACE(c->text);
    EXPECT_EQ(errorOf(c->text), parseError(c->line, c->column, c->message, c->got));
  }
}

template <std::size_t N>
void expectTrees(const TreeCase (&cases)[N], bool withSpans = false) {
  expectTrees(cases, cases + N, withSpans);
}

template <std::size_t N>
void expectErrors(const ErrorCase (&cases)[N]) {
  expectErrors(cases, cases + N);
}

}  // namespace vellum_test
