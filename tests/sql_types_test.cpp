// Data types: names as written, parameters, the angle-bracket containers,
// the splitting of ">>" that closes two lists, spans and nesting.
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "sql/parser.h"
#include "sql_parse_helpers.h"
#include "support/threads.h"

namespace {

using namespace vellum::sql;
using sql_test::Case;
using sql_test::dataType;
using sql_test::expr;
using sql_test::kNestingError;
using sql_test::nest;
using sql_test::repeat;

class SqlType : public ::testing::TestWithParam<Case> {};
TEST_P(SqlType, Tree) { EXPECT_EQ(dataType(GetParam().input), GetParam().expected); }

class SqlTypeSpans : public ::testing::TestWithParam<Case> {};
TEST_P(SqlTypeSpans, Tree) { EXPECT_EQ(dataType(GetParam().input, true), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Names, SqlType,
    ::testing::Values(
        Case{"INT", "(TypeName INT)"},
        Case{"integer", "(TypeName integer)"},
        Case{"Numeric", "(TypeName Numeric)"},
        Case{"uuid", "(TypeName uuid)"},
        Case{"\"My Type\"", "(TypeName \"My Type\")"},
        Case{"bigint smallint", "(TypeName bigint) | stops at tkSmallint 1:8"},
        Case{"double precision", "(TypeName double) | stops at tkIdent 1:8"},
        Case{"select", "ParseError: Parse error at line 1, col 1: expected type name (got tkSelect 'select')"},
        Case{"1", "ParseError: Parse error at line 1, col 1: expected type name (got tkInteger '1')"},
        Case{"", "ParseError: Parse error at line 1, col 1: expected type name (got tkEof '')"},
        Case{"l2", "ParseError: Parse error at line 1, col 1: expected type name (got tkL2 'l2')"},
        Case{"row", "ParseError: Parse error at line 1, col 1: expected type name (got tkRow 'row')"},
        Case{"first", "ParseError: Parse error at line 1, col 1: expected type name (got tkFirst 'first')"}));

// Every type keyword is accepted as a type name, and no other keyword is.
TEST(SqlTypeNames, TypeKeywords) {
  const TokenKind typeKeywords[] = {tkInt, tkBigint, tkSmallint, tkFloatType, tkReal, tkDouble, tkDecimal,
                                    tkVarchar, tkChar, tkText, tkBlob, tkBoolean, tkBool, tkTimestamp,
                                    tkDate, tkTime, tkVector, tkInterval, tkJson, tkJsonb};
  const char* words[] = {"int", "bigint", "smallint", "float", "real", "double", "decimal", "varchar", "char", "text",
                         "blob", "boolean", "bool", "timestamp", "date", "time", "vector", "interval", "json", "jsonb"};
  for (std::size_t i = 0; i < std::size(words); ++i) {
    ASSERT_EQ(keywordKind(words[i]), typeKeywords[i]) << words[i];
    EXPECT_EQ(dataType(words[i]), "(TypeName " + std::string(words[i]) + ")");
  }
  int accepted = 0;
  for (int k = tkSelect; k <= tkIf; ++k) {
    vellum::Arena arena;
    Parser p("x", arena);
    p.current.kind = static_cast<TokenKind>(k);
    try {
      p.parseDataType();
      ++accepted;
    } catch (const vellum::ParseError&) {
    }
  }
  EXPECT_EQ(accepted, 20);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, SqlType,
    ::testing::Values(
        Case{"VARCHAR(255)", "(TypeName VARCHAR 255)"},
        Case{"DECIMAL(10, 2)", "(TypeName DECIMAL 10 2)"},
        Case{"DECIMAL(50, 2)", "(TypeName DECIMAL 50 2)"},
        Case{"VECTOR(768, COSINE)", "(TypeName VECTOR 768 COSINE)"},
        Case{"vector(3, l2)", "(TypeName vector 3 l2)"},
        Case{"VECTOR(3, Inner)", "(TypeName VECTOR 3 Inner)"},
        Case{"VECTOR(3, DOT)", "(TypeName VECTOR 3 DOT)"},
        Case{"VECTOR(3, 'dot')", "(TypeName VECTOR 3 'dot')"},
        Case{"VECTOR(3, 1 + 1)", "(TypeName VECTOR 3 (BinaryOp opAdd 1 1))"},
        Case{"VARCHAR(n + 1)", "(TypeName VARCHAR (BinaryOp opAdd n 1))"},
        Case{"foo(1)", "(TypeName foo 1)"},
        Case{"ARRAY(3)", "(TypeName ARRAY 3)"},
        Case{"VARCHAR(1, 2, 3)", "ParseError: Parse error at line 1, col 13: expected tkRParen (got tkComma ',')"},
        Case{"VECTOR(3, COSINE, 1)", "ParseError: Parse error at line 1, col 17: expected tkRParen (got tkComma ',')"},
        Case{"VARCHAR()", "ParseError: Parse error at line 1, col 9: unexpected token in expression (got tkRParen ')')"},
        Case{"VARCHAR(10", "ParseError: Parse error at line 1, col 11: expected tkRParen (got tkEof '')"},
        Case{"VECTOR(3,)", "ParseError: Parse error at line 1, col 10: unexpected token in expression (got tkRParen ')')"}));

INSTANTIATE_TEST_SUITE_P(
    Containers, SqlType,
    ::testing::Values(
        Case{"ARRAY<INT>", "(TypeName ARRAY (TypeName INT))"},
        Case{"LIST<INT>", "(TypeName LIST (TypeName INT))"},
        Case{"list<varchar(3)>", "(TypeName list (TypeName varchar 3))"},
        Case{"MAP<TEXT, INT>", "(TypeName MAP (TypeName TEXT) (TypeName INT))"},
        Case{"STRUCT<a INT, b TEXT>", "(TypeName STRUCT a (TypeName INT) b (TypeName TEXT))"},
        Case{"Struct<\"x y\" VARCHAR(3), row DATE>", "(TypeName Struct \"x y\" (TypeName VARCHAR 3) row (TypeName DATE))"},
        Case{"ARRAY<ARRAY<INT>>", "(TypeName ARRAY (TypeName ARRAY (TypeName INT)))"},
        Case{"ARRAY<ARRAY<INT> >", "(TypeName ARRAY (TypeName ARRAY (TypeName INT)))"},
        Case{"ARRAY<MAP<TEXT, ARRAY<INT>>>",
             "(TypeName ARRAY (TypeName MAP (TypeName TEXT) (TypeName ARRAY (TypeName INT))))"},
        Case{"MAP<ARRAY<INT>, STRUCT<a LIST<INT>>>",
             "(TypeName MAP (TypeName ARRAY (TypeName INT)) (TypeName STRUCT a (TypeName LIST (TypeName INT))))"},
        Case{"ARRAY<INT>>", "(TypeName ARRAY (TypeName INT)) | stops at tkGt 1:11"},
        Case{"ARRAY<INT>>>", "(TypeName ARRAY (TypeName INT)) | stops at tkGt 1:11"},
        Case{"ARRAY", "(TypeName ARRAY)"},
        Case{"INT<INT>", "(TypeName INT) | stops at tkLt 1:4"},
        Case{"ARRAY <INT>", "(TypeName ARRAY (TypeName INT))"},
        Case{"STRUCT<>", "ParseError: Parse error at line 1, col 8: expected struct field name (got tkGt '>')"},
        Case{"STRUCT<first INT>", "ParseError: Parse error at line 1, col 8: expected struct field name (got tkFirst 'first')"},
        Case{"STRUCT<a>", "ParseError: Parse error at line 1, col 9: expected type name (got tkGt '>')"},
        Case{"STRUCT<a INT,>", "ParseError: Parse error at line 1, col 14: expected struct field name (got tkGt '>')"},
        Case{"MAP<INT>", "ParseError: Parse error at line 1, col 8: expected tkComma (got tkGt '>')"},
        Case{"MAP<TEXT, INT, INT>", "ParseError: Parse error at line 1, col 14: expected tkGt (got tkComma ',')"},
        Case{"ARRAY<>", "ParseError: Parse error at line 1, col 7: expected type name (got tkGt '>')"},
        Case{"MAP<>", "ParseError: Parse error at line 1, col 5: expected type name (got tkGt '>')"},
        Case{"ARRAY < >", "ParseError: Parse error at line 1, col 9: expected type name (got tkGt '>')"},
        Case{"ARRAY!=", "(TypeName ARRAY) | stops at tkNeq 1:6"},
        Case{"INT<>", "(TypeName INT) | stops at tkNeq 1:4"},
        Case{"ARRAY<INT", "ParseError: Parse error at line 1, col 10: expected tkGt (got tkEof '')"},
        Case{"ARRAY<INT,>", "ParseError: Parse error at line 1, col 10: expected tkGt (got tkComma ',')"},
        Case{"ARRAY<INT>=", "ParseError: Parse error at line 1, col 10: expected tkGt (got tkGe '>=')"},
        Case{"ARRAY<INT)", "ParseError: Parse error at line 1, col 10: expected tkGt (got tkRParen ')')"}));

INSTANTIATE_TEST_SUITE_P(
    Spans, SqlTypeSpans,
    ::testing::Values(
        Case{"VARCHAR(255)", "(TypeName@1:1-1:7 VARCHAR@1:1-1:7 255@1:9-1:11)"},
        Case{"VECTOR(3, Cosine)", "(TypeName@1:1-1:6 VECTOR@1:1-1:6 3@1:8-1:8 Cosine@1:11-1:16)"},
        Case{"STRUCT<a INT>", "(TypeName@1:1-1:6 STRUCT@1:1-1:6 a@1:8-1:8 (TypeName@1:10-1:12 INT@1:10-1:12))"},
        Case{"MAP<TEXT,\n INT>",
             "(TypeName@1:1-1:3 MAP@1:1-1:3 (TypeName@1:5-1:8 TEXT@1:5-1:8) (TypeName@2:2-2:4 INT@2:2-2:4))"}));

// The target of CAST and TRY_CAST is a data type.
TEST(SqlTypesInCasts, CastTargets) {
  EXPECT_EQ(expr("CAST(x AS ARRAY<ARRAY<INT>>)"), "(Cast x (TypeName ARRAY (TypeName ARRAY (TypeName INT))))");
  EXPECT_EQ(expr("TRY_CAST(x AS MAP<TEXT, INT>)"), "(TryCast x (TypeName MAP (TypeName TEXT) (TypeName INT)))");
  EXPECT_EQ(expr("CAST(x AS ARRAY<INT>>)"), "ParseError: Parse error at line 1, col 21: expected tkRParen (got tkGt '>')");
  EXPECT_EQ(expr("CAST(x AS ARRAY<INT>>) > 1"),
            "ParseError: Parse error at line 1, col 21: expected tkRParen (got tkGt '>')");
}

// ">>" closing two lists becomes two ">" tokens in place: the first is
// consumed, the second is current one column further; the lexer is not
// touched.
TEST(SqlTypeShiftSplit, SplitsInPlace) {
  vellum::Arena arena;
  Parser p("ARRAY<INT>>  x", arena);
  p.parseDataType();
  EXPECT_EQ(p.previous.kind, tkGt);
  EXPECT_EQ(p.previous.text, ">");
  EXPECT_EQ(p.previous.line, 1);
  EXPECT_EQ(p.previous.column, 10);
  EXPECT_EQ(p.previous.endLine, 1);
  EXPECT_EQ(p.previous.endColumn, 10);
  EXPECT_EQ(p.current.kind, tkGt);
  EXPECT_EQ(p.current.text, ">");
  EXPECT_EQ(p.current.line, 1);
  EXPECT_EQ(p.current.column, 11);
  EXPECT_EQ(p.current.endLine, 1);
  EXPECT_EQ(p.current.endColumn, 11);
  p.advance();
  EXPECT_EQ(p.current.kind, tkIdent);
  EXPECT_EQ(p.current.column, 14);
  try {
    Parser q("ARRAY<INT>>)", arena);
    q.parseDataType();
    q.expect(tkRParen);
    ADD_FAILURE() << "no error";
  } catch (const vellum::ParseError& e) {
    EXPECT_STREQ(e.what(), "Parse error at line 1, col 11: expected tkRParen (got tkGt '>')");
  }
}

// Every "<" and "(" level of a type counts towards the nesting limit.
TEST(SqlTypeNesting, LimitOn1MiBStack) {
  vellum_test::runOnThreadWithStack(vellum_test::kOneMiB, [] {
    EXPECT_EQ(dataType(nest("ARRAY<", "INT", ">", 128)).rfind("(TypeName ARRAY (TypeName ARRAY", 0), 0u);
    EXPECT_EQ(dataType(nest("ARRAY<", "INT", ">", 129)), kNestingError);
    EXPECT_EQ(dataType(nest("MAP<INT, ", "INT", ">", 128)).rfind("(TypeName MAP (TypeName INT) (TypeName MAP", 0), 0u);
    EXPECT_EQ(dataType(nest("MAP<INT, ", "INT", ">", 129)), kNestingError);
    EXPECT_EQ(dataType(nest("STRUCT<a ", "INT", ">", 128)).rfind("(TypeName STRUCT a (TypeName STRUCT", 0), 0u);
    EXPECT_EQ(dataType(nest("STRUCT<a ", "INT", ">", 129)), kNestingError);
    EXPECT_EQ(dataType(nest("ARRAY<", "VARCHAR(1)", ">", 127)).rfind("(TypeName ARRAY", 0), 0u);
    EXPECT_EQ(dataType(nest("ARRAY<", "VARCHAR(1)", ">", 128)), kNestingError);
    EXPECT_EQ(dataType(nest("ARRAY<", "VARCHAR(" + nest("(", "1", ")", 126) + ")", ">", 1)).rfind("(TypeName ARRAY", 0), 0u);
    EXPECT_EQ(dataType(nest("ARRAY<", "VARCHAR(" + nest("(", "1", ")", 127) + ")", ">", 1)), kNestingError);
    EXPECT_EQ(expr("CAST(x AS " + nest("ARRAY<", "INT", ">", 127) + ")").rfind("(Cast x", 0), 0u);
    EXPECT_EQ(expr("CAST(x AS " + nest("ARRAY<", "INT", ">", 128) + ")"), kNestingError);
    EXPECT_EQ(dataType(repeat("ARRAY<", (1 << 20) / 6)), kNestingError);
  });
}

}  // namespace
