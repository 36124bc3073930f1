// Primary expressions: every row of the dispatch on the current token, name
// forms, typed and DECIMAL literals, CAST, CASE, ARRAY and vector literals,
// subqueries, prefix operators, function calls with their special argument
// forms and their ORDER BY, WITHIN GROUP, FILTER and OVER clauses, and the
// spans each node receives.
#include <string>

#include <gtest/gtest.h>

#include "sql/parser.h"
#include "sql/tree_dump.h"
#include "sql_parse_helpers.h"
#include "support/errors.h"

namespace {

using namespace vellum::sql;
using sql_test::Case;
using sql_test::expr;
using sql_test::repeat;

class SqlPrimary : public ::testing::TestWithParam<Case> {};
TEST_P(SqlPrimary, Tree) { EXPECT_EQ(expr(GetParam().input), GetParam().expected); }

class SqlPrimarySpans : public ::testing::TestWithParam<Case> {};
TEST_P(SqlPrimarySpans, Tree) { EXPECT_EQ(expr(GetParam().input, true), GetParam().expected); }

// ---- Literals ----

INSTANTIATE_TEST_SUITE_P(
    Literals, SqlPrimary,
    ::testing::Values(
        Case{"42", "42"},
        Case{"4.25", "#4.25"},
        Case{"'it''s'", "'it\\'s'"},
        Case{"''", "''"},
        Case{"TRUE", "true"},
        Case{"false", "false"},
        Case{"NULL", "NULL"},
        Case{"*", "*"},
        Case{"? + ? * ?", "(BinaryOp opAdd ?1 (BinaryOp opMul ?2 ?3))"},
        Case{"INTERVAL '1 day'", "(IntervalLit '1 day')"},
        Case{"interval 5", "ParseError: Parse error at line 1, col 10: expected tkString (got tkInteger '5')"},
        Case{"+1", "ParseError: Parse error at line 1, col 1: unexpected token in expression (got tkPlus '+')"}));

// DATE, TIME, TIMESTAMP, JSON and JSONB with a string are casts of the
// string to a one-word type named as written.
INSTANTIATE_TEST_SUITE_P(
    TypedLiterals, SqlPrimary,
    ::testing::Values(
        Case{"TIMESTAMP '2024-01-01 00:00:00'", "(Cast '2024-01-01 00:00:00' (TypeName TIMESTAMP))"},
        Case{"timestamp(3)", "ParseError: Parse error at line 1, col 10: expected tkString (got tkLParen '(')"},
        Case{"timestamp", "ParseError: Parse error at line 1, col 10: expected tkString (got tkEof '')"},
        Case{"DATE '2024-01-01'", "(Cast '2024-01-01' (TypeName DATE))"},
        Case{"date(x)", "(FunctionCall date x)"},
        Case{"Date", "Date"},
        Case{"date + 1", "(BinaryOp opAdd date 1)"},
        Case{"date.x", "date | stops at tkDot 1:5"},
        Case{"TIME '12:00'", "(Cast '12:00' (TypeName TIME))"},
        Case{"time(x)", "(FunctionCall time x)"},
        Case{"time", "time"},
        Case{"time.x", "(ColumnRef time x)"},
        Case{"TIME.first", "(ColumnRef TIME first)"},
        Case{"time.*", "ParseError: Parse error at line 1, col 6: expected column name (got tkStar '*')"},
        Case{"json '{}'", "(Cast '{}' (TypeName json))"},
        Case{"JSONB '[1]'", "(Cast '[1]' (TypeName JSONB))"},
        Case{"jsonb(x)", "(FunctionCall jsonb x)"},
        Case{"json", "ParseError: Parse error at line 1, col 5: expected JSON literal or function call (got tkEof '')"},
        Case{"JSONB x", "ParseError: Parse error at line 1, col 7: expected JSON literal or function call (got tkIdent 'x')"},
        Case{"NOW()", "(FunctionCall NOW)"},
        Case{"now", "ParseError: Parse error at line 1, col 4: expected function call (got tkEof '')"},
        Case{"VECTOR(1, 2)", "(FunctionCall VECTOR 1 2)"},
        Case{"vector '[1]'", "ParseError: Parse error at line 1, col 8: expected function call (got tkString '[1]')"}));

// DECIMAL 'text': precision and scale from the text, looking only at signs,
// the first point and leading zeros.
INSTANTIATE_TEST_SUITE_P(
    DecimalLiterals, SqlPrimary,
    ::testing::Values(
        Case{"DECIMAL '0012.50'", "(Cast '0012.50' (TypeName DECIMAL 4 2))"},
        Case{"DECIMAL '-0.5'", "(Cast '-0.5' (TypeName DECIMAL 1 1))"},
        Case{"numeric '12'", "(Cast '12' (TypeName numeric 2 0))"},
        Case{"DECIMAL 'abc'", "(Cast 'abc' (TypeName DECIMAL 3 0))"},
        Case{"DECIMAL ''", "(Cast '' (TypeName DECIMAL 1 0))"},
        Case{"DECIMAL '000'", "(Cast '000' (TypeName DECIMAL 1 0))"},
        Case{"DECIMAL '.5'", "(Cast '.5' (TypeName DECIMAL 1 1))"},
        Case{"DECIMAL '+-1.5-+'", "(Cast '+-1.5-+' (TypeName DECIMAL 2 1))"},
        Case{"DECIMAL '1-2'", "(Cast '1-2' (TypeName DECIMAL 3 0))"},
        Case{"DECIMAL '1.2.3'", "(Cast '1.2.3' (TypeName DECIMAL 4 3))"},
        Case{"DECIMAL '12345678901234567890123456789012345678'",
             "(Cast '12345678901234567890123456789012345678' (TypeName DECIMAL 38 0))"},
        Case{"DECIMAL '0.00000000000000000000000000000000000001'",
             "(Cast '0.00000000000000000000000000000000000001' (TypeName DECIMAL 38 38))"},
        Case{"DECIMAL '123456789012345678901234567890123456789'",
             "ParseError: Parse error at line 1, col 50: DECIMAL literal precision must be between 1 and 38 (got tkEof '')"},
        Case{"DECIMAL '1.00000000000000000000000000000000000001' + 1",
             "ParseError: Parse error at line 1, col 52: DECIMAL literal precision must be between 1 and 38 (got tkPlus '+')"},
        Case{"DECIMAL 5", "ParseError: Parse error at line 1, col 9: expected tkString (got tkInteger '5')"},
        Case{"DECIMAL(10, 2)", "ParseError: Parse error at line 1, col 8: expected tkString (got tkLParen '(')"}));

// ---- Names ----

INSTANTIATE_TEST_SUITE_P(
    Names, SqlPrimary,
    ::testing::Values(
        Case{"c", "c"},
        Case{"\"Select\"", "Select"},
        Case{"t.c", "(ColumnRef t c)"},
        Case{"t.*", "(QualifiedStar t)"},
        Case{"\"T\".\"c d\"", "(ColumnRef T \"c d\")"},
        Case{"a.b.c", "(ColumnRef a b) | stops at tkDot 1:4"},
        Case{"t.first", "(ColumnRef t first)"},
        Case{"t.time", "(ColumnRef t time)"},
        Case{"t.row", "(ColumnRef t row)"},
        Case{"t.select", "ParseError: Parse error at line 1, col 3: expected column name (got tkSelect 'select')"},
        Case{"t.1", "ParseError: Parse error at line 1, col 3: expected column name (got tkInteger '1')"},
        Case{"t.", "ParseError: Parse error at line 1, col 3: expected column name (got tkEof '')"},
        Case{"select", "ParseError: Parse error at line 1, col 1: unexpected token in expression (got tkSelect 'select')"},
        Case{"int", "ParseError: Parse error at line 1, col 1: unexpected token in expression (got tkInt 'int')"},
        // The keywords usable as names.
        Case{"begin + start + transaction + commit + rollback + savepoint + release",
             "(BinaryOp opAdd (BinaryOp opAdd (BinaryOp opAdd (BinaryOp opAdd (BinaryOp opAdd (BinaryOp opAdd "
             "begin start) transaction) commit) rollback) savepoint) release)"},
        Case{"first * last * fetch * next * ties * only * row",
             "(BinaryOp opMul (BinaryOp opMul (BinaryOp opMul (BinaryOp opMul (BinaryOp opMul (BinaryOp opMul "
             "first last) fetch) next) ties) only) row)"},
        Case{"row.x", "(ColumnRef row x)"},
        Case{"first(x)", "(FunctionCall first x)"},
        // The three current-time names are calls without parentheses.
        Case{"CURRENT_DATE", "(FunctionCall CURRENT_DATE)"},
        Case{"current_timestamp", "(FunctionCall CURRENT_TIMESTAMP)"},
        Case{"Current_Time", "(FunctionCall CURRENT_TIME)"},
        Case{"current_date()", "(FunctionCall current_date)"},
        Case{"current_date.x", "(FunctionCall CURRENT_DATE) | stops at tkDot 1:13"},
        Case{"\"current_date\"", "(FunctionCall CURRENT_DATE)"},
        Case{"current_user", "current_user"}));

// ---- CAST, TRY_CAST, CASE ----

INSTANTIATE_TEST_SUITE_P(
    Casts, SqlPrimary,
    ::testing::Values(
        Case{"CAST(x AS INT)", "(Cast x (TypeName INT))"},
        Case{"CAST(x AS integer)", "(Cast x (TypeName integer))"},
        Case{"CAST(a + 1 AS VARCHAR(10))", "(Cast (BinaryOp opAdd a 1) (TypeName VARCHAR 10))"},
        Case{"CAST(x AS double precision)",
             "ParseError: Parse error at line 1, col 18: expected tkRParen (got tkIdent 'precision')"},
        Case{"CAST x", "ParseError: Parse error at line 1, col 6: expected tkLParen (got tkIdent 'x')"},
        Case{"CAST(x INT)", "ParseError: Parse error at line 1, col 8: expected tkAs (got tkInt 'INT')"},
        Case{"CAST(x AS INT", "ParseError: Parse error at line 1, col 14: expected tkRParen (got tkEof '')"},
        Case{"CAST(x AS 1)", "ParseError: Parse error at line 1, col 11: expected type name (got tkInteger '1')"},
        Case{"x::int", "x | stops at tkColon 1:2"},
        Case{"try_cast(x AS TEXT)", "(TryCast x (TypeName TEXT))"},
        Case{"TRY_CAST(x AS INT)", "(TryCast x (TypeName INT))"},
        Case{"try_cast", "try_cast"},
        Case{"try_cast.x", "(ColumnRef try_cast x)"},
        Case{"try_cast(x)", "ParseError: Parse error at line 1, col 11: expected tkAs (got tkRParen ')')"}));

INSTANTIATE_TEST_SUITE_P(
    CaseExpressions, SqlPrimary,
    ::testing::Values(
        Case{"CASE WHEN a THEN 1 END", "(Case _ (CaseWhen a 1) _)"},
        Case{"CASE x WHEN 1 THEN 'a' WHEN 2 THEN 'b' ELSE 'c' END",
             "(Case x (CaseWhen 1 'a') (CaseWhen 2 'b') 'c')"},
        Case{"CASE WHEN a > 1 OR b THEN x + 1 ELSE y END",
             "(Case _ (CaseWhen (BinaryOp opOr (BinaryOp opGt a 1) b) (BinaryOp opAdd x 1)) y)"},
        Case{"CASE a ELSE 1 END",
             "ParseError: Parse error at line 1, col 8: expected at least one WHEN in CASE expression (got tkElse 'ELSE')"},
        Case{"CASE END", "ParseError: Parse error at line 1, col 6: unexpected token in expression (got tkEnd 'END')"},
        Case{"CASE WHEN a 1 END", "ParseError: Parse error at line 1, col 13: expected tkThen (got tkInteger '1')"},
        Case{"CASE WHEN a THEN 1", "ParseError: Parse error at line 1, col 19: expected tkEnd (got tkEof '')"},
        Case{"CASE WHEN a THEN 1 ELSE 2 ELSE 3 END",
             "ParseError: Parse error at line 1, col 27: expected tkEnd (got tkElse 'ELSE')"}));

// ---- Parentheses, subqueries, EXISTS ----

INSTANTIATE_TEST_SUITE_P(
    Parenthesized, SqlPrimary,
    ::testing::Values(
        Case{"(1, 2)", "(RowConstructor 1 2)"},
        Case{"((1))", "1"},
        Case{"((1, 2), (3))", "(RowConstructor (RowConstructor 1 2) 3)"},
        Case{"(a = 1, b OR c)", "(RowConstructor (BinaryOp opEq a 1) (BinaryOp opOr b c))"},
        Case{"(SELECT 1)", "(ScalarSubquery (Select (ExprList 1)))"},
        Case{"(VALUES (1))", "(ScalarSubquery (Values (ExprList 1)))"},
        Case{"(SELECT 1) + 1", "(BinaryOp opAdd (ScalarSubquery (Select (ExprList 1))) 1)"},
        Case{"()", "ParseError: Parse error at line 1, col 2: unexpected token in expression (got tkRParen ')')"},
        Case{"(1,)", "ParseError: Parse error at line 1, col 4: unexpected token in expression (got tkRParen ')')"},
        Case{"(1", "ParseError: Parse error at line 1, col 3: expected tkRParen (got tkEof '')"},
        Case{"(1, 2", "ParseError: Parse error at line 1, col 6: expected tkRParen (got tkEof '')"},
        Case{"(SELECT 1", "ParseError: Parse error at line 1, col 10: expected tkRParen (got tkEof '')"},
        Case{"EXISTS (SELECT 1)", "(Exists (Select (ExprList 1)))"},
        Case{"NOT EXISTS (SELECT 1)", "(Exists :negated (Select (ExprList 1)))"},
        Case{"EXISTS (1)",
             "ParseError: Parse error at line 1, col 9: expected SELECT, VALUES, or WITH subquery (got tkInteger '1')"},
        Case{"EXISTS 1", "ParseError: Parse error at line 1, col 8: expected tkLParen (got tkInteger '1')"}));

// ---- Prefix operators ----

INSTANTIATE_TEST_SUITE_P(
    PrefixOperators, SqlPrimary,
    ::testing::Values(
        Case{"-1", "(UnaryOp opNeg 1)"},
        Case{"~x", "(UnaryOp opBitNot x)"},
        Case{"NOT x", "(UnaryOp opNot x)"},
        Case{"- -1", "(UnaryOp opNeg (UnaryOp opNeg 1))"},
        Case{"NOT NOT x", "(UnaryOp opNot (UnaryOp opNot x))"},
        Case{"-f(x)", "(UnaryOp opNeg (FunctionCall f x))"},
        Case{"NOT -x", "(UnaryOp opNot (UnaryOp opNeg x))"},
        Case{"-", "ParseError: Parse error at line 1, col 2: unexpected token in expression (got tkEof '')"},
        Case{"--1", "ParseError: Parse error at line 1, col 4: unexpected token in expression (got tkEof '')"}));

// ---- ARRAY and vector literals ----

INSTANTIATE_TEST_SUITE_P(
    Arrays, SqlPrimary,
    ::testing::Values(
        Case{"ARRAY[1, 2]", "(FunctionCall ARRAY_VALUE 1 2)"},
        Case{"array[]", "(FunctionCall ARRAY_VALUE)"},
        Case{"Array[a + 1, 'x']", "(FunctionCall ARRAY_VALUE (BinaryOp opAdd a 1) 'x')"},
        Case{"ARRAY[1][1]", "(FunctionCall ARRAY_SUBSCRIPT (FunctionCall ARRAY_VALUE 1) 1)"},
        Case{"ARRAY", "ARRAY"},
        Case{"ARRAY(1)", "(FunctionCall ARRAY 1)"},
        Case{"ARRAY[1,]", "ParseError: Parse error at line 1, col 9: unexpected token in expression (got tkRBracket ']')"},
        Case{"ARRAY[1", "ParseError: Parse error at line 1, col 8: expected tkRBracket (got tkEof '')"},
        Case{"[1, -2.5, 3]", "(VectorLiteral #1 #-2.5 #3)"},
        Case{"[0.5]", "(VectorLiteral #0.5)"},
        Case{"[1, 2,]", "(VectorLiteral #1 #2)"},
        Case{"[-0]", "(VectorLiteral #-0)"},
        Case{"[9223372036854775808]", "(VectorLiteral #9223372036854775808)"},
        Case{"[1][1]", "(FunctionCall ARRAY_SUBSCRIPT (VectorLiteral #1) 1)"},
        Case{"[]", "ParseError: Parse error at line 1, col 2: vector literal cannot be empty (got tkRBracket ']')"},
        Case{"[1 2]", "ParseError: Parse error at line 1, col 4: expected ',' or ']' in vector literal (got tkInteger '2')"},
        Case{"[1+1]", "ParseError: Parse error at line 1, col 3: expected ',' or ']' in vector literal (got tkPlus '+')"},
        Case{"[1", "ParseError: Parse error at line 1, col 3: expected ',' or ']' in vector literal (got tkEof '')"},
        Case{"[a]", "ParseError: Parse error at line 1, col 2: expected vector numeric literal (got tkIdent 'a')"},
        Case{"[+1]", "ParseError: Parse error at line 1, col 2: expected vector numeric literal (got tkPlus '+')"},
        Case{"[- -1]", "ParseError: Parse error at line 1, col 4: expected vector numeric literal (got tkMinus '-')"},
        Case{"[,]", "ParseError: Parse error at line 1, col 2: expected vector numeric literal (got tkComma ',')"},
        Case{"[1,,2]", "ParseError: Parse error at line 1, col 4: expected vector numeric literal (got tkComma ',')"},
        Case{"[1,", "ParseError: Parse error at line 1, col 4: expected vector numeric literal (got tkEof '')"},
        Case{"[-]", "ParseError: Parse error at line 1, col 3: expected vector numeric literal (got tkRBracket ']')"}));

TEST(SqlVectorLiteral, HugeNumbersAreInfinite) {
  EXPECT_EQ(expr("[1" + repeat("0", 400) + ", -1" + repeat("0", 400) + ".5]"), "(VectorLiteral #inf #-inf)");
}

// ---- Function calls ----

INSTANTIATE_TEST_SUITE_P(
    Calls, SqlPrimary,
    ::testing::Values(
        Case{"f()", "(FunctionCall f)"},
        Case{"f(a, b + 1)", "(FunctionCall f a (BinaryOp opAdd b 1))"},
        Case{"F(a OR b, c = d)", "(FunctionCall F (BinaryOp opOr a b) (BinaryOp opEq c d))"},
        Case{"t.f(x)", "(ColumnRef t f) | stops at tkLParen 1:4"},
        Case{"count(*)", "(FunctionCall :star count *)"},
        Case{"count(DISTINCT x)", "(FunctionCall :distinct count x)"},
        Case{"count(DISTINCT a, b)", "(FunctionCall :distinct count a b)"},
        Case{"count(DISTINCT *)", "(FunctionCall :distinct count *)"},
        Case{"f(*) + 1", "(BinaryOp opAdd (FunctionCall :star f *) 1)"},
        Case{"count(DISTINCT)", "ParseError: Parse error at line 1, col 15: unexpected token in expression (got tkRParen ')')"},
        Case{"count(*, 1)", "ParseError: Parse error at line 1, col 8: expected tkRParen (got tkComma ',')"},
        Case{"count(* ORDER BY x)", "ParseError: Parse error at line 1, col 9: expected tkRParen (got tkOrder 'ORDER')"},
        Case{"f(a,)", "ParseError: Parse error at line 1, col 5: unexpected token in expression (got tkRParen ')')"},
        Case{"f(a", "ParseError: Parse error at line 1, col 4: expected tkRParen (got tkEof '')"},
        Case{"f(a b)", "ParseError: Parse error at line 1, col 5: expected tkRParen (got tkIdent 'b')"},
        Case{"f(ORDER BY x)", "ParseError: Parse error at line 1, col 3: unexpected token in expression (got tkOrder 'ORDER')"}));

// extract, substring, trim and position: keyword argument forms, names
// matched without regard to ASCII case; substring and position renamed.
INSTANTIATE_TEST_SUITE_P(
    SpecialCalls, SqlPrimary,
    ::testing::Values(
        Case{"extract(YEAR FROM d)", "(FunctionCall extract 'year' d)"},
        Case{"EXTRACT(Epoch FROM t.ts + 1)", "(FunctionCall EXTRACT 'epoch' (BinaryOp opAdd (ColumnRef t ts) 1))"},
        Case{"Extract(first FROM d)", "(FunctionCall Extract 'first' d)"},
        Case{"extract(\"Day\" FROM d)", "(FunctionCall extract 'day' d)"},
        Case{"extract()", "(FunctionCall extract)"},
        Case{"extract(1 FROM d)", "ParseError: Parse error at line 1, col 9: expected date part (got tkInteger '1')"},
        Case{"extract(year, d)", "ParseError: Parse error at line 1, col 13: expected tkFrom (got tkComma ',')"},
        Case{"extract(year FROM d, 1)", "ParseError: Parse error at line 1, col 20: expected tkRParen (got tkComma ',')"},
        Case{"substring(s FROM 2 FOR 3)", "(FunctionCall SUBSTR s 2 3)"},
        Case{"SUBSTRING(s FROM 2)", "(FunctionCall SUBSTR s 2)"},
        Case{"substring(s, 2)", "(FunctionCall SUBSTR s 2)"},
        Case{"SubString(s, 2, 3)", "(FunctionCall SUBSTR s 2 3)"},
        Case{"substring()", "(FunctionCall SUBSTR)"},
        Case{"substr(s, 1)", "(FunctionCall substr s 1)"},
        Case{"substring(s FOR 3)", "ParseError: Parse error at line 1, col 13: expected tkRParen (got tkFor 'FOR')"},
        Case{"substring(s FROM 2 FOR 3, 4)", "ParseError: Parse error at line 1, col 25: expected tkRParen (got tkComma ',')"},
        Case{"substring(DISTINCT s)", "ParseError: Parse error at line 1, col 11: unexpected token in expression (got tkDistinct 'DISTINCT')"},
        Case{"trim(' ' FROM s)", "(FunctionCall trim ' ' s)"},
        Case{"TRIM(s)", "(FunctionCall TRIM s)"},
        Case{"Trim(s, 'x')", "(FunctionCall Trim s 'x')"},
        Case{"trim(s FROM t FOR 1)", "ParseError: Parse error at line 1, col 15: expected tkRParen (got tkFor 'FOR')"},
        Case{"position('a' IN s)", "(FunctionCall STRPOS s 'a')"},
        Case{"POSITION(a || b IN c = d)", "(FunctionCall STRPOS (BinaryOp opEq c d) (BinaryOp opStringConcat a b))"},
        Case{"Position(a, b)", "(FunctionCall STRPOS a b)"},
        Case{"position(a = b)", "ParseError: Parse error at line 1, col 12: expected tkRParen (got tkEq '=')"},
        Case{"position()", "(FunctionCall STRPOS)"},
        // A special name followed by anything but "(" is an ordinary name.
        Case{"position", "position"},
        Case{"x.extract", "(ColumnRef x extract)"}));

INSTANTIATE_TEST_SUITE_P(
    CallClauses, SqlPrimary,
    ::testing::Values(
        Case{"string_agg(x, ',' ORDER BY y)", "(FunctionCall string_agg x ',' (OrderByClause y))"},
        Case{"array_agg(x ORDER BY y, z)", "(FunctionCall array_agg x (OrderByClause y z))"},
        Case{"f(x ORDER y)", "ParseError: Parse error at line 1, col 11: expected tkBy (got tkIdent 'y')"},
        Case{"f(x ORDER BY y", "ParseError: Parse error at line 1, col 15: expected tkRParen (got tkEof '')"},
        Case{"percentile_cont(0.5) WITHIN GROUP (ORDER BY x)",
             "(FunctionCall percentile_cont #0.5 (WithinGroupClause x))"},
        Case{"mode() within group (order by x, y)", "(FunctionCall mode (WithinGroupClause x y))"},
        Case{"string_agg(x, ',' ORDER BY y) WITHIN GROUP (ORDER BY y)",
             "ParseError: Parse error at line 1, col 56: cannot combine an aggregate ORDER BY argument with WITHIN "
             "GROUP (got tkEof '')"},
        Case{"f(x) WITHIN GROUP (x)", "ParseError: Parse error at line 1, col 20: expected tkOrder (got tkIdent 'x')"},
        Case{"f(x) WITHIN GROUP (ORDER x)", "ParseError: Parse error at line 1, col 26: expected tkBy (got tkIdent 'x')"},
        Case{"f(x) WITHIN GROUP x", "ParseError: Parse error at line 1, col 19: expected tkLParen (got tkIdent 'x')"},
        Case{"f(x) WITHIN GROUP (ORDER BY x", "ParseError: Parse error at line 1, col 30: expected tkRParen (got tkEof '')"},
        Case{"f(x) within x", "(FunctionCall f x) | stops at tkIdent 1:6"},
        Case{"count(*) FILTER (WHERE x > 0)", "(FunctionCall :star count * (AggFilterClause (BinaryOp opGt x 0)))"},
        Case{"f(x) Filter (where a OR b)", "(FunctionCall f x (AggFilterClause (BinaryOp opOr a b)))"},
        Case{"f(x) FILTER (x)", "ParseError: Parse error at line 1, col 14: expected tkWhere (got tkIdent 'x')"},
        Case{"f(x) FILTER (WHERE a", "ParseError: Parse error at line 1, col 21: expected tkRParen (got tkEof '')"},
        Case{"f(x) filter x", "(FunctionCall f x) | stops at tkIdent 1:6"},
        Case{"row_number() OVER w", "(FunctionCall row_number (WindowSpec w))"},
        Case{"f() OVER row", "(FunctionCall f (WindowSpec row))"},
        Case{"f() OVER ()", "(FunctionCall f (WindowSpec))"},
        Case{"f() OVER (ORDER BY b)", "(FunctionCall f (WindowSpec (OrderByClause b)))"},
        Case{"f() OVER first", "ParseError: Parse error at line 1, col 10: expected tkLParen (got tkFirst 'first')"},
        Case{"f() OVER", "ParseError: Parse error at line 1, col 9: expected tkLParen (got tkEof '')"},
        // The clauses come in this order, each at most once.
        Case{"sum(x) FILTER (WHERE x > 0) OVER w",
             "(FunctionCall sum x (AggFilterClause (BinaryOp opGt x 0)) (WindowSpec w))"},
        Case{"f(x) WITHIN GROUP (ORDER BY y) FILTER (WHERE z) OVER w",
             "(FunctionCall f x (WithinGroupClause y) (AggFilterClause z) (WindowSpec w))"},
        Case{"sum(x) OVER w FILTER (WHERE x)", "(FunctionCall sum x (WindowSpec w)) | stops at tkIdent 1:15"},
        Case{"f(x) FILTER (WHERE a) WITHIN GROUP (ORDER BY y)",
             "(FunctionCall f x (AggFilterClause a)) | stops at tkIdent 1:23"},
        Case{"f(x) FILTER (WHERE a) FILTER (WHERE b)", "(FunctionCall f x (AggFilterClause a)) | stops at tkIdent 1:23"},
        Case{"f(x) OVER w OVER v", "(FunctionCall f x (WindowSpec w)) | stops at tkOver 1:13"},
        // Clauses follow calls only.
        Case{"x FILTER (WHERE y)", "x | stops at tkIdent 1:3"},
        Case{"x OVER w", "x | stops at tkOver 1:3"}));

// The entry points called by other grammar rules check their first token.
TEST(SqlPrimaryEntries, ExpectTheirFirstToken) {
  auto fails = [](const char* text, auto entry) -> std::string {
    vellum::Arena arena;
    Parser p(text, arena);
    try {
      entry(p);
      return "no error";
    } catch (const vellum::ParseError& e) {
      return e.what();
    }
  };
  EXPECT_EQ(fails("w", [](Parser& p) { p.parseOver(); }), "Parse error at line 1, col 1: expected tkOver (got tkIdent 'w')");
  EXPECT_EQ(fails("x", [](Parser& p) { p.parseVectorLiteral(); }),
            "Parse error at line 1, col 1: expected tkLBracket (got tkIdent 'x')");
  EXPECT_EQ(fails("[x", [](Parser& p) { p.parseFunctionCall(p.current); }),
            "Parse error at line 1, col 1: expected tkLParen (got tkLBracket '[')");
  EXPECT_EQ(fails("(SELECT 1", [](Parser& p) { p.parseParenSubquery(); }),
            "Parse error at line 1, col 10: expected tkRParen (got tkEof '')");
  EXPECT_EQ(fails("SELECT 1", [](Parser& p) { p.parseParenSubquery(); }),
            "Parse error at line 1, col 1: expected tkLParen (got tkSelect 'SELECT')");
}

// ---- Spans ----

INSTANTIATE_TEST_SUITE_P(
    Spans, SqlPrimarySpans,
    ::testing::Values(
        Case{"42", "42@1:1-1:2"},
        Case{"'a\nb'", "'a\nb'@1:1-2:2"},
        Case{"? + ?", "(BinaryOp@0:0-0:0 opAdd ?1@1:1-1:1 ?2@1:5-1:5)"},
        Case{"-1", "(UnaryOp@1:1-1:1 opNeg 1@1:2-1:2)"},
        Case{"~ x", "(UnaryOp@1:1-1:1 opBitNot x@1:3-1:3)"},
        Case{"NOT x", "(UnaryOp@0:0-0:0 opNot x@1:5-1:5)"},
        Case{"INTERVAL '1 day'", "(IntervalLit@1:1-1:16 '1 day')"},
        Case{"DATE '2024-01-01'", "(Cast@1:1-1:17 '2024-01-01'@1:6-1:17 (TypeName@1:1-1:4 DATE@1:1-1:4))"},
        Case{"json\n'{}'", "(Cast@1:1-2:4 '{}'@2:1-2:4 (TypeName@1:1-1:4 json@1:1-1:4))"},
        Case{"DECIMAL '1.5'",
             "(Cast@1:1-1:13 '1.5'@1:9-1:13 (TypeName@1:1-1:7 DECIMAL@1:1-1:7 2@1:1-1:7 1@1:1-1:7))"},
        Case{"time.x", "(ColumnRef@1:1-1:4 time@1:1-1:4 x@1:6-1:6)"},
        Case{"date", "date@1:1-1:4"},
        Case{"tab.col", "(ColumnRef@1:1-1:3 tab@1:1-1:3 col@1:5-1:7)"},
        Case{"tab.*", "(QualifiedStar@1:1-1:3 tab@1:1-1:3)"},
        Case{"CURRENT_DATE", "(FunctionCall@1:1-1:12 CURRENT_DATE@1:1-1:12)"},
        Case{"CAST(x AS INT)", "(Cast@1:1-1:4 x@1:6-1:6 (TypeName@1:11-1:13 INT@1:11-1:13))"},
        Case{"TRY_CAST(x AS INT)", "(TryCast@1:1-1:8 x@1:10-1:10 (TypeName@1:15-1:17 INT@1:15-1:17))"},
        Case{"CASE WHEN a THEN 1 + 2 ELSE 3 END",
             "(Case@1:1-1:33 _ (CaseWhen@1:6-1:22 a@1:11-1:11 (BinaryOp@0:0-0:0 opAdd 1@1:18-1:18 2@1:22-1:22)) "
             "3@1:29-1:29)"},
        Case{"CASE x\nWHEN 1 THEN (2) END",
             "(Case@1:1-2:19 x@1:6-1:6 (CaseWhen@2:1-2:15 1@2:6-2:6 2@2:14-2:14) _)"},
        Case{"(1, 2)", "(RowConstructor@1:1-1:1 1@1:2-1:2 2@1:5-1:5)"},
        Case{"(SELECT 1)", "(ScalarSubquery@1:1-1:1 (Select@1:2-1:7 (ExprList@0:0-0:0 1@1:9-1:9)))"},
        Case{"NOT EXISTS (SELECT 1)", "(Exists@1:5-1:10 :negated (Select@1:13-1:18 (ExprList@0:0-0:0 1@1:20-1:20)))"},
        Case{"[1, -2]", "(VectorLiteral@1:1-1:1 #1@1:2-1:2 #-2@1:6-1:6)"},
        Case{"ARRAY[1]", "(FunctionCall@1:1-1:5 ARRAY_VALUE@1:1-1:5 1@1:7-1:7)"},
        Case{"f(x)", "(FunctionCall@1:1-1:1 f@1:1-1:1 x@1:3-1:3)"},
        Case{"count(*)", "(FunctionCall@1:1-1:5 :star count@1:1-1:5 *@1:7-1:7)"},
        Case{"substring(s, 1)", "(FunctionCall@1:1-1:9 SUBSTR@1:1-1:9 s@1:11-1:11 1@1:14-1:14)"},
        Case{"extract(Year FROM d)", "(FunctionCall@1:1-1:7 extract@1:1-1:7 'year'@1:9-1:12 d@1:19-1:19)"},
        Case{"f(x ORDER BY y)", "(FunctionCall@1:1-1:1 f@1:1-1:1 x@1:3-1:3 (OrderByClause@1:5-1:9 y@1:14-1:14))"},
        Case{"f(x) WITHIN GROUP (ORDER BY y)",
             "(FunctionCall@1:1-1:1 f@1:1-1:1 x@1:3-1:3 (WithinGroupClause@1:6-1:30 y@1:29-1:29))"},
        Case{"f(x) FILTER (WHERE y)",
             "(FunctionCall@1:1-1:1 f@1:1-1:1 x@1:3-1:3 (AggFilterClause@1:6-1:21 y@1:20-1:20))"},
        Case{"f(x) OVER w", "(FunctionCall@1:1-1:1 f@1:1-1:1 x@1:3-1:3 (WindowSpec@1:6-1:11 w@1:11-1:11))"},
        Case{"f(x) OVER (ORDER BY y)",
             "(FunctionCall@1:1-1:1 f@1:1-1:1 x@1:3-1:3 (WindowSpec@1:6-1:22 (OrderByClause@1:12-1:16 y@1:21-1:21)))"}));

// ---- Parameters ----

// Parameters are numbered in reading order; numbering goes on across the
// expressions of one parser until the statement list resets it.
TEST(SqlParameters, NumberedInReadingOrder) {
  vellum::Arena arena;
  Parser p("f(?, ? + ?) ?", arena);
  EXPECT_EQ(dumpTree(p.parseExpression()), "(FunctionCall f ?1 (BinaryOp opAdd ?2 ?3))");
  EXPECT_EQ(p.paramCount, 3);
  EXPECT_EQ(dumpTree(p.parseExpression()), "?4");
}

TEST(SqlParameters, EveryStatementStartsAgainAtOne) {
  vellum::Arena arena;
  NodeList statements = parseStatements("SELECT ?, ?; SELECT ? + ?", arena);
  ASSERT_EQ(statements.size(), 2u);
  EXPECT_EQ(dumpTree(statements[0]), "(Select (ExprList ?1 ?2))");
  EXPECT_EQ(dumpTree(statements[1]), "(Select (ExprList (BinaryOp opAdd ?1 ?2)))");
}

}  // namespace
