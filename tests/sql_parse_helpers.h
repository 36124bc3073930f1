// Helpers for the expression and data type tests: parse a text with one
// parser entry point and describe the outcome in one line.
#pragma once

#include <exception>
#include <ostream>
#include <string>
#include <string_view>

#include "sql/parser.h"
#include "sql/tree_dump.h"
#include "support/errors.h"
#include "support/text.h"

namespace sql_test {

using vellum::sql::Parser;
using vellum::sql::SqlNode;

// The outcome of one entry point over `text`:
//   the tree dump, when the whole text was consumed;
//   the dump + " | stops at KIND line:col", when tokens were left over;
//   "ParseError: MESSAGE" or "ValueError: MESSAGE" when it failed.
template <class Entry>
std::string outcome(std::string_view text, Entry entry, bool spans) {
  vellum::Arena arena;
  try {
    Parser parser(text, arena);
    SqlNode* node = entry(parser);
    std::string out = vellum::sql::dumpTree(node, spans);
    if (!parser.at(vellum::sql::tkEof)) {
      out += " | stops at " + std::string(vellum::sql::tokenKindName(parser.current.kind)) + " " +
             std::to_string(parser.current.line) + ":" + std::to_string(parser.current.column);
    }
    return out;
  } catch (const vellum::ParseError& e) {
    return std::string("ParseError: ") + e.what();
  } catch (const vellum::ValueError& e) {
    return std::string("ValueError: ") + e.what();
  }
}

inline std::string expr(std::string_view text, bool spans = false) {
  return outcome(text, [](Parser& p) { return p.parseExpression(); }, spans);
}

inline std::string dataType(std::string_view text, bool spans = false) {
  return outcome(text, [](Parser& p) { return p.parseDataType(); }, spans);
}

// One table row: input text and the expected outcome.
struct Case {
  const char* input;
  const char* expected;
};

inline std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.input; }

using vellum_test::repeat;

// `n` levels of open + ... + close around `core`.
inline std::string nest(std::string_view open, std::string_view core, std::string_view close, std::size_t n) {
  return repeat(open, n) + std::string(core) + repeat(close, n);
}

inline constexpr char kNestingError[] = "ParseError: maximum SQL syntactic nesting depth of 128 exceeded";

}  // namespace sql_test
