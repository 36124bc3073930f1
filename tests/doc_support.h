// Helpers for the SQL document tests: parse SQL with the library's own
// parser, write documents (or single expressions) with the writer, and decode
// them with msgpack-c into compact JSON.
#pragma once

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "ffi/sql_document.h"
#include "ffi/sql_writer.h"
#include "msgpack/output_stream.h"
#include "sql/parser.h"
#include "support/arena.h"
#include "support/errors.h"
#include "support/msgpack_json.h"

namespace vellum_test {

inline JsonOptions spanOptions(bool spans) {
  JsonOptions options;
  if (!spans) options.dropKeys = {"span"};
  return options;
}

// Expected documents may use two abbreviations for span-less envelopes:
// $name is the column reference {"kind":{"variant":"ColumnRef","table":null,
// "column":"name"}} and #digits the number literal with that text.
inline std::string expandExpected(std::string_view text) {
  std::string out;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      out.push_back(c);
      if (c == '\\' && i + 1 < text.size()) {
        out.push_back(text[++i]);
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
      out.push_back(c);
    } else if (c == '$' || c == '#') {
      std::size_t j = i + 1;
      while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_' ||
                                 (c == '#' && (text[j] == '.' || text[j] == '-' || text[j] == '+')))) {
        ++j;
      }
      std::string word(text.substr(i + 1, j - i - 1));
      if (c == '$') {
        out += R"({"kind":{"variant":"ColumnRef","table":null,"column":")" + word + R"("}})";
      } else {
        out += R"({"kind":{"variant":"Literal","literal":{"variant":"Number","value":")" + word + R"("}}})";
      }
      i = j - 1;
    } else if (c != ' ' && c != '\n' && c != '\t' && c != '\r') {
      out.push_back(c);
    }
  }
  return out;
}

// The whole document of a SQL text as JSON, or "error: MESSAGE".
inline std::string sqlDocJson(std::string_view sql, bool spans = false) {
  try {
    vellum::DocumentBytes document = vellum::parseSqlDocument(sql);
    return msgpackToJson(document.data.get(), document.size, spanOptions(spans));
  } catch (const vellum::VellumError& e) {
    return "error: " + e.message();
  }
}

// The envelope of the first projection item of "SELECT <expr>", or
// "error: MESSAGE".
inline std::string exprJson(std::string_view expr, bool spans = false) {
  try {
    vellum::Arena arena;
    std::string text = "SELECT " + std::string(expr);
    vellum::sql::NodeList statements = vellum::sql::parseStatements(text, arena);
    const vellum::sql::SqlNode* item = nullptr;
    for (const vellum::sql::SqlNode* child : statements[0]->children()) {
      if (child->kind == vellum::sql::nkExprList) {
        item = child->children()[0];
        break;
      }
    }
    vellum::BufferStream out(0);
    vellum::sql::SqlWriter writer(out);
    writer.writeExpr(item);
    return msgpackToJson(out.data(), out.size(), spanOptions(spans));
  } catch (const vellum::VellumError& e) {
    return "error: " + e.message();
  }
}

// The statement map of the first statement of a SQL text ("kind" of its
// envelope), or "error: MESSAGE". With `restricted`, the statement must be a
// SELECT and is written as the restricted SELECT map.
inline std::string statementJson(std::string_view sql, bool spans = false, bool restricted = false) {
  try {
    vellum::Arena arena;
    vellum::sql::NodeList statements = vellum::sql::parseStatements(sql, arena);
    vellum::BufferStream out(0);
    vellum::sql::SqlWriter writer(out);
    if (restricted) {
      writer.writeRestrictedSelect(statements[0]);
    } else {
      writer.writeStatementKind(statements[0]);
    }
    return msgpackToJson(out.data(), out.size(), spanOptions(spans));
  } catch (const vellum::VellumError& e) {
    return "error: " + e.message();
  }
}

struct DocCase {
  std::string input;
  std::string expected;  // JSON with the abbreviations above, or "error: ..."
};

inline std::string expectedText(const std::string& expected) {
  return expected.rfind("error: ", 0) == 0 ? expected : expandExpected(expected);
}

// Every case's whole document (or error) against its expectation.
inline void runDocCases(const std::vector<DocCase>& cases, bool spans = false) {
  for (const DocCase& c : cases) {
    EXPECT_EQ(sqlDocJson(c.input, spans), expectedText(c.expected)) << "input: " << c.input;
  }
}

}  // namespace vellum_test
