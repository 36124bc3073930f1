// The parser core and the expression grammar above the primaries:
// positioned errors, expectations, look-ahead, the nesting limit, literal
// conversion, operator precedence, predicates, JSON arrows, subscripts and
// slices, and the size and depth limits.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sql/parser.h"
#include "sql_parse_helpers.h"
#include "support/errors.h"
#include "support/threads.h"

namespace {

using namespace vellum::sql;
using sql_test::Case;
using sql_test::expr;
using sql_test::kNestingError;
using sql_test::nest;
using sql_test::repeat;

class SqlExpr : public ::testing::TestWithParam<Case> {};
TEST_P(SqlExpr, Tree) { EXPECT_EQ(expr(GetParam().input), GetParam().expected); }

class SqlExprSpans : public ::testing::TestWithParam<Case> {};
TEST_P(SqlExprSpans, Tree) { EXPECT_EQ(expr(GetParam().input, true), GetParam().expected); }

// ---- Precedence and associativity ----

INSTANTIATE_TEST_SUITE_P(
    Precedence, SqlExpr,
    ::testing::Values(
        Case{"a OR b AND c", "(BinaryOp opOr a (BinaryOp opAnd b c))"},
        Case{"a AND b OR c", "(BinaryOp opOr (BinaryOp opAnd a b) c)"},
        Case{"a OR b OR c", "(BinaryOp opOr (BinaryOp opOr a b) c)"},
        Case{"a AND b AND c", "(BinaryOp opAnd (BinaryOp opAnd a b) c)"},
        Case{"a - b - c", "(BinaryOp opSub (BinaryOp opSub a b) c)"},
        Case{"a || b | c", "(BinaryOp opStringConcat a (BinaryOp opBitOr b c))"},
        Case{"1 + 2 * 3 << 1", "(BinaryOp opShiftLeft (BinaryOp opAdd 1 (BinaryOp opMul 2 3)) 1)"},
        Case{"a | b ^ c", "(BinaryOp opBitOr a (BinaryOp opBitXor b c))"},
        Case{"a ^ b & c", "(BinaryOp opBitXor a (BinaryOp opBitAnd b c))"},
        Case{"a & b >> c", "(BinaryOp opBitAnd a (BinaryOp opShiftRight b c))"},
        Case{"a << b - c", "(BinaryOp opShiftLeft a (BinaryOp opSub b c))"},
        Case{"a + b % c", "(BinaryOp opAdd a (BinaryOp opMod b c))"},
        Case{"a * b / c % d", "(BinaryOp opMod (BinaryOp opDiv (BinaryOp opMul a b) c) d)"},
        Case{"a << b >> c", "(BinaryOp opShiftRight (BinaryOp opShiftLeft a b) c)"},
        Case{"a || b || c", "(BinaryOp opStringConcat (BinaryOp opStringConcat a b) c)"},
        Case{"a + b * c - d", "(BinaryOp opSub (BinaryOp opAdd a (BinaryOp opMul b c)) d)"},
        Case{"a * b + c * d", "(BinaryOp opAdd (BinaryOp opMul a b) (BinaryOp opMul c d))"},
        // Every level once, tightest first and loosest first.
        Case{"a * b + c << d & e ^ f | g || h",
             "(BinaryOp opStringConcat (BinaryOp opBitOr (BinaryOp opBitXor (BinaryOp opBitAnd "
             "(BinaryOp opShiftLeft (BinaryOp opAdd (BinaryOp opMul a b) c) d) e) f) g) h)"},
        Case{"a || b | c ^ d & e << f + g * h",
             "(BinaryOp opStringConcat a (BinaryOp opBitOr b (BinaryOp opBitXor c (BinaryOp opBitAnd d "
             "(BinaryOp opShiftLeft e (BinaryOp opAdd f (BinaryOp opMul g h)))))))"},
        Case{"a || b * c | d", "(BinaryOp opStringConcat a (BinaryOp opBitOr (BinaryOp opMul b c) d))"},
        Case{"a + b = c * d", "(BinaryOp opEq (BinaryOp opAdd a b) (BinaryOp opMul c d))"},
        Case{"a = b AND c < d OR e",
             "(BinaryOp opOr (BinaryOp opAnd (BinaryOp opEq a b) (BinaryOp opLt c d)) e)"},
        Case{"(a OR b) AND c", "(BinaryOp opAnd (BinaryOp opOr a b) c)"},
        Case{"(a + b) * c", "(BinaryOp opMul (BinaryOp opAdd a b) c)"}));

// Prefix operators take a primary, so they bind tighter than everything.
INSTANTIATE_TEST_SUITE_P(
    Prefix, SqlExpr,
    ::testing::Values(
        Case{"-a * b", "(BinaryOp opMul (UnaryOp opNeg a) b)"},
        Case{"~a + b", "(BinaryOp opAdd (UnaryOp opBitNot a) b)"},
        Case{"-a[1]", "(FunctionCall ARRAY_SUBSCRIPT (UnaryOp opNeg a) 1)"},
        Case{"NOT a = b", "(BinaryOp opEq (UnaryOp opNot a) b)"},
        Case{"NOT (a = b)", "(UnaryOp opNot (BinaryOp opEq a b))"},
        Case{"NOT a AND b", "(BinaryOp opAnd (UnaryOp opNot a) b)"},
        Case{"a - -b", "(BinaryOp opSub a (UnaryOp opNeg b))"},
        Case{"a * -b", "(BinaryOp opMul a (UnaryOp opNeg b))"},
        Case{"+a", "ParseError: Parse error at line 1, col 1: unexpected token in expression (got tkPlus '+')"},
        Case{"a + +b", "ParseError: Parse error at line 1, col 5: unexpected token in expression (got tkPlus '+')"}));

// ---- Comparisons and predicates ----

INSTANTIATE_TEST_SUITE_P(
    Comparisons, SqlExpr,
    ::testing::Values(
        Case{"a = b", "(BinaryOp opEq a b)"},
        Case{"a != b", "(BinaryOp opNeq a b)"},
        Case{"a <> b", "(BinaryOp opNeq a b)"},
        Case{"a < b", "(BinaryOp opLt a b)"},
        Case{"a <= b", "(BinaryOp opLe a b)"},
        Case{"a > b", "(BinaryOp opGt a b)"},
        Case{"a >= b", "(BinaryOp opGe a b)"},
        Case{"a = b || c", "(BinaryOp opEq a (BinaryOp opStringConcat b c))"},
        // Comparisons do not chain; the caller meets the second operator.
        Case{"a = b = c", "(BinaryOp opEq a b) | stops at tkEq 1:7"},
        Case{"a < b < c", "(BinaryOp opLt a b) | stops at tkLt 1:7"},
        Case{"a = b IS NULL", "(BinaryOp opEq a b) | stops at tkIs 1:7"},
        Case{"a = b AND b = c", "(BinaryOp opAnd (BinaryOp opEq a b) (BinaryOp opEq b c))"},
        Case{"a =", "ParseError: Parse error at line 1, col 4: unexpected token in expression (got tkEof '')"},
        Case{"x::int", "x | stops at tkColon 1:2"},
        Case{"a == b", "ParseError: Parse error at line 1, col 4: unexpected token in expression (got tkEq '=')"}));

INSTANTIATE_TEST_SUITE_P(
    Between, SqlExpr,
    ::testing::Values(
        Case{"a BETWEEN 1 AND 2", "(BinaryOp opBetween a (ExprList 1 2))"},
        Case{"a NOT BETWEEN 1 AND 2", "(BinaryOp opNotBetween a (ExprList 1 2))"},
        Case{"a BETWEEN 1 AND 2 AND b", "(BinaryOp opAnd (BinaryOp opBetween a (ExprList 1 2)) b)"},
        Case{"a BETWEEN b + 1 AND c * 2",
             "(BinaryOp opBetween a (ExprList (BinaryOp opAdd b 1) (BinaryOp opMul c 2)))"},
        Case{"a + 1 BETWEEN 1 AND 2 OR c",
             "(BinaryOp opOr (BinaryOp opBetween (BinaryOp opAdd a 1) (ExprList 1 2)) c)"},
        Case{"a BETWEEN 1 OR 2",
             "ParseError: Parse error at line 1, col 13: expected tkAnd (got tkOr 'OR')"},
        Case{"a BETWEEN 1", "ParseError: Parse error at line 1, col 12: expected tkAnd (got tkEof '')"},
        Case{"a BETWEEN b = c AND d", "ParseError: Parse error at line 1, col 13: expected tkAnd (got tkEq '=')"}));

INSTANTIATE_TEST_SUITE_P(
    Patterns, SqlExpr,
    ::testing::Values(
        Case{"a LIKE 'x%'", "(BinaryOp opLike a 'x%')"},
        Case{"a LIKE 'x!%' ESCAPE '!'", "(BinaryOp opLike a (ExprList 'x!%' '!'))"},
        Case{"a NOT LIKE 'x'", "(BinaryOp opNotLike a 'x')"},
        Case{"a NOT LIKE 'x' ESCAPE 'y'", "(BinaryOp opNotLike a (ExprList 'x' 'y'))"},
        Case{"a ILIKE 'x' ESCAPE 'y'", "(BinaryOp opILike a (ExprList 'x' 'y'))"},
        Case{"a NOT ILIKE 'x'", "(BinaryOp opNotILike a 'x')"},
        Case{"a GLOB 'x*'", "(BinaryOp opGlob a 'x*')"},
        Case{"a NOT GLOB 'x*'", "(BinaryOp opNotGlob a 'x*')"},
        Case{"a SIMILAR TO 'x'", "(BinaryOp opSimilarTo a 'x')"},
        Case{"a NOT SIMILAR TO 'x'", "(BinaryOp opNotSimilarTo a 'x')"},
        Case{"a LIKE b || '%'", "(BinaryOp opLike a (BinaryOp opStringConcat b '%'))"},
        Case{"a LIKE 'x' ESCAPE e || f", "(BinaryOp opLike a (ExprList 'x' (BinaryOp opStringConcat e f)))"},
        // Only the LIKE forms take ESCAPE; after the others it is left over.
        Case{"a GLOB 'x' ESCAPE 'y'", "(BinaryOp opGlob a 'x') | stops at tkEscape 1:12"},
        Case{"a NOT GLOB 'x' ESCAPE 'y'", "(BinaryOp opNotGlob a 'x') | stops at tkEscape 1:16"},
        Case{"a SIMILAR TO 'x' ESCAPE 'y'", "(BinaryOp opSimilarTo a 'x') | stops at tkEscape 1:18"},
        Case{"a NOT SIMILAR TO 'x' ESCAPE 'y'", "(BinaryOp opNotSimilarTo a 'x') | stops at tkEscape 1:22"},
        Case{"a LIKE 'x' AND b", "(BinaryOp opAnd (BinaryOp opLike a 'x') b)"},
        Case{"a SIMILAR 'x'", "ParseError: Parse error at line 1, col 11: expected tkTo (got tkString 'x')"},
        Case{"a NOT SIMILAR 'x'", "ParseError: Parse error at line 1, col 15: expected tkTo (got tkString 'x')"},
        Case{"a LIKE 'x' ESCAPE", "ParseError: Parse error at line 1, col 18: unexpected token in expression (got tkEof '')"}));

INSTANTIATE_TEST_SUITE_P(
    Is, SqlExpr,
    ::testing::Values(
        Case{"a IS NULL", "(UnaryOp opIsNull a)"},
        Case{"a IS NOT NULL", "(UnaryOp opIsNotNull a)"},
        Case{"a IS TRUE", "(TruthPredicate a TRUE)"},
        Case{"a IS NOT false", "(TruthPredicate :negated a false)"},
        Case{"a IS UNKNOWN", "(TruthPredicate a UNKNOWN)"},
        Case{"a IS not UnKnown", "(TruthPredicate :negated a UnKnown)"},
        Case{"a IS \"unknown\"", "(TruthPredicate a unknown)"},
        Case{"a IS DISTINCT FROM b", "(IsDistinctFrom a b)"},
        Case{"a IS NOT DISTINCT FROM b", "(IsDistinctFrom :negated a b)"},
        Case{"a IS DISTINCT FROM b + 1", "(IsDistinctFrom a (BinaryOp opAdd b 1))"},
        Case{"a + 1 IS NULL", "(UnaryOp opIsNull (BinaryOp opAdd a 1))"},
        Case{"a IS NULL AND b IS NULL", "(BinaryOp opAnd (UnaryOp opIsNull a) (UnaryOp opIsNull b))"},
        Case{"a IS 1", "ParseError: Parse error at line 1, col 6: expected tkNull (got tkInteger '1')"},
        Case{"a IS NOT unknow", "ParseError: Parse error at line 1, col 10: expected tkNull (got tkIdent 'unknow')"},
        Case{"a IS", "ParseError: Parse error at line 1, col 5: expected tkNull (got tkEof '')"},
        Case{"a IS DISTINCT b", "ParseError: Parse error at line 1, col 15: expected tkFrom (got tkIdent 'b')"},
        Case{"a IS NULL IS NULL", "(UnaryOp opIsNull a) | stops at tkIs 1:11"}));

// NOT after the left operand: the negated predicates, or NOT applied to the
// operand, after which the predicate level starts again without NOT.
INSTANTIATE_TEST_SUITE_P(
    PostfixNot, SqlExpr,
    ::testing::Values(
        Case{"a NOT IS NULL", "(UnaryOp opIsNull (UnaryOp opNot a))"},
        Case{"a NOT = b", "(BinaryOp opEq (UnaryOp opNot a) b)"},
        Case{"a NOT LIKE 'x' OR b", "(BinaryOp opOr (BinaryOp opNotLike a 'x') b)"},
        Case{"a NOT", "(UnaryOp opNot a)"},
        Case{"a NOT AND b", "(BinaryOp opAnd (UnaryOp opNot a) b)"},
        Case{"a NOT NOT b", "(UnaryOp opNot a) | stops at tkNot 1:7"},
        Case{"a NOT b", "(UnaryOp opNot a) | stops at tkIdent 1:7"}));

INSTANTIATE_TEST_SUITE_P(
    In, SqlExpr,
    ::testing::Values(
        Case{"a IN (1)", "(BinaryOp opIn a (ExprList 1))"},
        Case{"a IN (1, b + 1, c = d)",
             "(BinaryOp opIn a (ExprList 1 (BinaryOp opAdd b 1) (BinaryOp opEq c d)))"},
        Case{"a NOT IN (1, 2)", "(BinaryOp opNotIn a (ExprList 1 2))"},
        Case{"a IN (b IN (c))", "(BinaryOp opIn a (ExprList (BinaryOp opIn b (ExprList c))))"},
        Case{"a IN (1) AND b", "(BinaryOp opAnd (BinaryOp opIn a (ExprList 1)) b)"},
        Case{"a IN (SELECT 1)", "(InSubquery a (Select (ExprList 1)))"},
        Case{"a NOT IN (SELECT 1)", "(InSubquery :negated a (Select (ExprList 1)))"},
        Case{"a IN ()", "ParseError: Parse error at line 1, col 7: IN list must contain at least one expression (got tkRParen ')')"},
        Case{"a NOT IN ()", "ParseError: Parse error at line 1, col 11: IN list must contain at least one expression (got tkRParen ')')"},
        Case{"a IN (1,)", "ParseError: Parse error at line 1, col 9: unexpected token in expression (got tkRParen ')')"},
        Case{"a IN 1", "ParseError: Parse error at line 1, col 6: expected tkLParen (got tkInteger '1')"},
        Case{"a IN (1", "ParseError: Parse error at line 1, col 8: expected tkRParen (got tkEof '')"},
        Case{"a IN (SELECT 1", "ParseError: Parse error at line 1, col 15: expected tkRParen (got tkEof '')"}));

INSTANTIATE_TEST_SUITE_P(
    Quantified, SqlExpr,
    ::testing::Values(
        Case{"x = ALL (SELECT 1)", "(Quantified :all x opEq (Select (ExprList 1)))"},
        Case{"x <> ANY (SELECT 1)", "(Quantified x opNeq (Select (ExprList 1)))"},
        Case{"x != SOME (SELECT 1)", "(Quantified x opNeq (Select (ExprList 1)))"},
        Case{"x < ANY (SELECT 1)", "(Quantified x opLt (Select (ExprList 1)))"},
        Case{"x <= ALL (SELECT 1)", "(Quantified :all x opLe (Select (ExprList 1)))"},
        Case{"x > SOME (SELECT 1)", "(Quantified x opGt (Select (ExprList 1)))"},
        Case{"x >= ANY (SELECT 1)", "(Quantified x opGe (Select (ExprList 1)))"},
        Case{"x = ANY (VALUES (1))", "(Quantified x opEq (Values (ExprList 1)))"},
        Case{"a = ANY (1, 2)",
             "ParseError: Parse error at line 1, col 10: expected SELECT, VALUES, or WITH subquery (got tkInteger '1')"},
        Case{"a = ANY b", "ParseError: Parse error at line 1, col 9: expected tkLParen (got tkIdent 'b')"},
        Case{"a = ANY ((SELECT 1))",
             "ParseError: Parse error at line 1, col 10: expected SELECT, VALUES, or WITH subquery (got tkLParen '(')"},
        Case{"a = ALL (SELECT 1", "ParseError: Parse error at line 1, col 18: expected tkRParen (got tkEof '')"}));

// Right-hand operands are read at the "||" level: an arrow there needs
// parentheses.
INSTANTIATE_TEST_SUITE_P(
    RightOperands, SqlExpr,
    ::testing::Values(
        Case{"a = b -> 'k'", "(BinaryOp opEq a b) | stops at tkArrow 1:7"},
        Case{"a = (b -> 'k')", "(BinaryOp opEq a (FunctionCall JSONB_EXTRACT b 'k'))"},
        Case{"a LIKE b ->> 'k'", "(BinaryOp opLike a b) | stops at tkArrowText 1:10"},
        Case{"a BETWEEN b -> 'k' AND c", "ParseError: Parse error at line 1, col 13: expected tkAnd (got tkArrow '->')"},
        Case{"a IS DISTINCT FROM b #> 'k'", "(IsDistinctFrom a b) | stops at tkPathArrow 1:22"},
        Case{"a = b AND c", "(BinaryOp opAnd (BinaryOp opEq a b) c)"}));

// ---- JSON arrows ----

INSTANTIATE_TEST_SUITE_P(
    Json, SqlExpr,
    ::testing::Values(
        Case{"a->'x'", "(FunctionCall JSONB_EXTRACT a 'x')"},
        Case{"a->>'x'", "(FunctionCall JSONB_EXTRACT_TEXT a 'x')"},
        Case{"a#>'{x,y}'", "(FunctionCall JSONB_EXTRACT_PATH a '{x,y}')"},
        Case{"a#>>'{x,y}'", "(FunctionCall JSONB_EXTRACT_PATH_TEXT a '{x,y}')"},
        Case{"a->'x'->>'y'", "(FunctionCall JSONB_EXTRACT_TEXT (FunctionCall JSONB_EXTRACT a 'x') 'y')"},
        Case{"a -> 'x' || 'y'", "(FunctionCall JSONB_EXTRACT a (BinaryOp opStringConcat 'x' 'y'))"},
        Case{"a || b -> 'k'", "(FunctionCall JSONB_EXTRACT (BinaryOp opStringConcat a b) 'k')"},
        Case{"a -> 1 + 1", "(FunctionCall JSONB_EXTRACT a (BinaryOp opAdd 1 1))"},
        Case{"a->'x' = 'v'", "(BinaryOp opEq (FunctionCall JSONB_EXTRACT a 'x') 'v')"},
        Case{"a->'x' IS NULL", "(UnaryOp opIsNull (FunctionCall JSONB_EXTRACT a 'x'))"},
        Case{"a->'x'[1]", "(FunctionCall JSONB_EXTRACT a (FunctionCall ARRAY_SUBSCRIPT 'x' 1))"},
        Case{"a->", "ParseError: Parse error at line 1, col 4: unexpected token in expression (got tkEof '')"}));

// ---- Subscripts and slices ----

INSTANTIATE_TEST_SUITE_P(
    Subscripts, SqlExpr,
    ::testing::Values(
        Case{"a[1]", "(FunctionCall ARRAY_SUBSCRIPT a 1)"},
        Case{"a[1][2]", "(FunctionCall ARRAY_SUBSCRIPT (FunctionCall ARRAY_SUBSCRIPT a 1) 2)"},
        Case{"a[i + 1]", "(FunctionCall ARRAY_SUBSCRIPT a (BinaryOp opAdd i 1))"},
        Case{"a[b[1]]", "(FunctionCall ARRAY_SUBSCRIPT a (FunctionCall ARRAY_SUBSCRIPT b 1))"},
        Case{"a[x = 1 OR y]", "(FunctionCall ARRAY_SUBSCRIPT a (BinaryOp opOr (BinaryOp opEq x 1) y))"},
        Case{"a[1:2]", "(FunctionCall ARRAY_SLICE a 1 2)"},
        Case{"a[1:]", "(FunctionCall ARRAY_SLICE a 1 NULL)"},
        Case{"a[:2]", "(FunctionCall ARRAY_SLICE a NULL 2)"},
        Case{"a[:]", "(FunctionCall ARRAY_SLICE a NULL NULL)"},
        Case{"a[1:2][3]", "(FunctionCall ARRAY_SUBSCRIPT (FunctionCall ARRAY_SLICE a 1 2) 3)"},
        Case{"a[n - 1 : n + 1]", "(FunctionCall ARRAY_SLICE a (BinaryOp opSub n 1) (BinaryOp opAdd n 1))"},
        Case{"f(x)[1]", "(FunctionCall ARRAY_SUBSCRIPT (FunctionCall f x) 1)"},
        Case{"(a)[1]", "(FunctionCall ARRAY_SUBSCRIPT a 1)"},
        Case{"t.c[1]", "(FunctionCall ARRAY_SUBSCRIPT (ColumnRef t c) 1)"},
        Case{"a[1] * 2", "(BinaryOp opMul (FunctionCall ARRAY_SUBSCRIPT a 1) 2)"},
        Case{"a[]", "ParseError: Parse error at line 1, col 3: unexpected token in expression (got tkRBracket ']')"},
        Case{"a[1", "ParseError: Parse error at line 1, col 4: expected tkRBracket (got tkEof '')"},
        Case{"a[1:2:3]", "ParseError: Parse error at line 1, col 6: expected tkRBracket (got tkColon ':')"},
        Case{"a[::]", "ParseError: Parse error at line 1, col 4: unexpected token in expression (got tkColon ':')"},
        Case{"a[1,2]", "ParseError: Parse error at line 1, col 4: expected tkRBracket (got tkComma ',')"}));

// ---- Spans ----

INSTANTIATE_TEST_SUITE_P(
    Spans, SqlExprSpans,
    ::testing::Values(
        // Binary operators, predicates' lists and NOT get the empty span.
        Case{"a + bc", "(BinaryOp@0:0-0:0 opAdd a@1:1-1:1 bc@1:5-1:6)"},
        Case{"a OR b AND c", "(BinaryOp@0:0-0:0 opOr a@1:1-1:1 (BinaryOp@0:0-0:0 opAnd b@1:6-1:6 c@1:12-1:12))"},
        Case{"a BETWEEN 1 AND 2", "(BinaryOp@0:0-0:0 opBetween a@1:1-1:1 (ExprList@0:0-0:0 1@1:11-1:11 2@1:17-1:17))"},
        Case{"a NOT LIKE 'x' ESCAPE 'y'",
             "(BinaryOp@0:0-0:0 opNotLike a@1:1-1:1 (ExprList@0:0-0:0 'x'@1:12-1:14 'y'@1:23-1:25))"},
        Case{"a IN (1)", "(BinaryOp@0:0-0:0 opIn a@1:1-1:1 (ExprList@0:0-0:0 1@1:7-1:7))"},
        Case{"a NOT IN (SELECT 1)",
             "(InSubquery@0:0-0:0 :negated a@1:1-1:1 (Select@1:11-1:16 (ExprList@0:0-0:0 1@1:18-1:18)))"},
        Case{"a IS NULL", "(UnaryOp@0:0-0:0 opIsNull a@1:1-1:1)"},
        Case{"a NOT", "(UnaryOp@0:0-0:0 opNot a@1:1-1:1)"},
        // Truth predicates take the span of the word, IS DISTINCT FROM the
        // span of DISTINCT, quantified comparisons that of the quantifier.
        Case{"a IS NOT True", "(TruthPredicate@1:10-1:13 :negated a@1:1-1:1 True@1:10-1:13)"},
        Case{"a IS DISTINCT FROM b", "(IsDistinctFrom@1:6-1:13 a@1:1-1:1 b@1:20-1:20)"},
        Case{"x >= Some (SELECT 1)",
             "(Quantified@1:6-1:9 x@1:1-1:1 opGe@1:6-1:9 (Select@1:12-1:17 (ExprList@0:0-0:0 1@1:19-1:19)))"},
        // A JSON access runs from its left operand to its right operand; the
        // name takes the arrow's span.
        Case{"ab -> 'x'", "(FunctionCall@1:1-1:9 JSONB_EXTRACT@1:4-1:5 ab@1:1-1:2 'x'@1:7-1:9)"},
        Case{"a->'x'\n->>'y'",
             "(FunctionCall@1:1-2:6 JSONB_EXTRACT_TEXT@2:1-2:3 (FunctionCall@1:1-1:6 JSONB_EXTRACT@1:2-1:3 "
             "a@1:1-1:1 'x'@1:4-1:6) 'y'@2:4-2:6)"},
        // After a left operand still without a position the call has none
        // either (the back-fill then gives it its parent's span); after a
        // right one the call ends at its last token.
        Case{"a -> (b || c)", "(FunctionCall@1:1-1:13 JSONB_EXTRACT@1:3-1:4 a@1:1-1:1 (BinaryOp@0:0-0:0 opStringConcat b@1:7-1:7 c@1:12-1:12))"},
        Case{"obj -> 3 * 2", "(FunctionCall@1:1-1:12 JSONB_EXTRACT@1:5-1:6 obj@1:1-1:3 (BinaryOp@0:0-0:0 opMul 3@1:8-1:8 2@1:12-1:12))"},
        Case{"f(a -> a + 1)", "(FunctionCall@1:1-1:1 f@1:1-1:1 (FunctionCall@1:3-1:12 JSONB_EXTRACT@1:5-1:6 a@1:3-1:3 (BinaryOp@0:0-0:0 opAdd a@1:8-1:8 1@1:12-1:12)))"},
        Case{"a ->> (b IS NULL) -> f(x)", "(FunctionCall@1:1-1:22 JSONB_EXTRACT@1:19-1:20 (FunctionCall@1:1-1:17 JSONB_EXTRACT_TEXT@1:3-1:5 a@1:1-1:1 (UnaryOp@0:0-0:0 opIsNull b@1:8-1:8)) (FunctionCall@1:22-1:22 f@1:22-1:22 x@1:24-1:24))"},
        Case{"(a || b) -> 'x'", "(FunctionCall@0:0-0:0 JSONB_EXTRACT@1:10-1:11 (BinaryOp@0:0-0:0 opStringConcat a@1:2-1:2 b@1:7-1:7) 'x'@1:13-1:15)"},
        // Subscripts and slices take the base's span, also for their name
        // and missing bounds.
        Case{"ab[1]", "(FunctionCall@1:1-1:2 ARRAY_SUBSCRIPT@1:1-1:2 ab@1:1-1:2 1@1:4-1:4)"},
        Case{"ab[:]", "(FunctionCall@1:1-1:2 ARRAY_SLICE@1:1-1:2 ab@1:1-1:2 NULL@1:1-1:2 NULL@1:1-1:2)"},
        Case{"-a[1]", "(FunctionCall@1:1-1:1 ARRAY_SUBSCRIPT@1:1-1:1 (UnaryOp@1:1-1:1 opNeg a@1:2-1:2) 1@1:4-1:4)"},
        Case{"(a + b)[1]",
             "(FunctionCall@0:0-0:0 ARRAY_SUBSCRIPT@0:0-0:0 (BinaryOp@0:0-0:0 opAdd a@1:2-1:2 b@1:6-1:6) 1@1:9-1:9)"}));

// ---- Errors ----

TEST(SqlParserErrors, MessageNamesPositionKindAndText) {
  EXPECT_EQ(expr("(1"), "ParseError: Parse error at line 1, col 3: expected tkRParen (got tkEof '')");
  EXPECT_EQ(expr("1 +\n  from t"),
            "ParseError: Parse error at line 2, col 3: unexpected token in expression (got tkFrom 'from')");
  // The text is inserted as it is, without escaping.
  EXPECT_EQ(expr("a IS 'it''s'"), "ParseError: Parse error at line 1, col 6: expected tkNull (got tkString 'it's')");
  EXPECT_EQ(expr("a IS \"x\"\"y\""), "ParseError: Parse error at line 1, col 6: expected tkNull (got tkIdent 'x\"y')");
  // A byte of a multi-byte character is quoted with its whole character.
  EXPECT_EQ(expr("a IS \xe2\x82\xac"),
            "ParseError: Parse error at line 1, col 6: expected tkNull (got tkIdent '\xe2\x82\xac')");
  EXPECT_EQ(expr("a IS 'two\nlines'"), "ParseError: Parse error at line 1, col 6: expected tkNull (got tkString 'two\nlines')");
  EXPECT_EQ(expr("\n\n   )"), "ParseError: Parse error at line 3, col 4: unexpected token in expression (got tkRParen ')')");
  EXPECT_EQ(expr(""), "ParseError: Parse error at line 1, col 1: unexpected token in expression (got tkEof '')");
}

// The same messages through the statement list.
TEST(SqlParserErrors, InStatements) {
  auto statements = [](const std::string& text) -> std::string {
    vellum::Arena arena;
    try {
      NodeList list = parseStatements(text, arena);
      return std::to_string(list.size()) + " statement(s)";
    } catch (const vellum::ParseError& e) {
      return e.what();
    }
  };
  EXPECT_EQ(statements("SELECT (1"), "Parse error at line 1, col 10: expected tkRParen (got tkEof '')");
  EXPECT_EQ(statements("SELECT 1 +\n  from t"),
            "Parse error at line 2, col 3: unexpected token in expression (got tkFrom 'from')");
  EXPECT_EQ(statements("SELECT " + nest("(", "1", ")", 128)), "1 statement(s)");
  EXPECT_EQ(statements("SELECT " + nest("(", "1", ")", 129)), "maximum SQL syntactic nesting depth of 128 exceeded");
  EXPECT_EQ(statements("SELECT " + nest("(", "1", ")", 128) + "; SELECT " + nest("(", "1", ")", 128)),
            "2 statement(s)");
  EXPECT_EQ(statements("SELECT a GLOB 'x' ESCAPE 'y'").rfind("Parse error at line 1, col 19: ", 0), 0u);
  EXPECT_EQ(statements("SELECT x::int").rfind("Parse error at line 1, col 9: ", 0), 0u);
}

// ---- Parser core ----

TEST(SqlParserCore, StartsWithTheFirstTokenScanned) {
  vellum::Arena arena;
  Parser p("  select x", arena);
  EXPECT_EQ(p.current.kind, tkSelect);
  EXPECT_EQ(p.current.column, 3);
  EXPECT_EQ(p.previous.text, "");
  EXPECT_EQ(p.previous.line, 0);
  EXPECT_EQ(p.previous.column, 0);
  EXPECT_EQ(p.depth, 0);
  EXPECT_EQ(p.paramCount, 0);
}

TEST(SqlParserCore, AdvanceReturnsAndRemembersTheConsumedToken) {
  vellum::Arena arena;
  Parser p("a 'b''c' d", arena);
  Token a = p.advance();
  EXPECT_EQ(a.text, "a");
  EXPECT_EQ(p.previous.text, "a");
  EXPECT_EQ(p.current.kind, tkString);
  EXPECT_EQ(p.current.text, "b'c");
  EXPECT_EQ(p.advance().text, "b'c");
  EXPECT_EQ(p.previous.endColumn, 8);
  p.advance();
  EXPECT_EQ(p.current.kind, tkEof);
  EXPECT_EQ(p.advance().kind, tkEof);
  EXPECT_EQ(p.current.kind, tkEof);
}

TEST(SqlParserCore, PeekLooksAheadWithoutMoving) {
  vellum::Arena arena;
  Parser p("a ( 'x''y' )", arena);
  EXPECT_EQ(p.peekKind(), tkLParen);
  EXPECT_EQ(p.peekKind2(), tkString);
  EXPECT_EQ(p.current.text, "a");
  p.advance();
  p.advance();
  EXPECT_EQ(p.peekKind(), tkRParen);
  EXPECT_EQ(p.peekKind2(), tkEof);
  EXPECT_EQ(p.current.text, "x'y");
  p.advance();
  EXPECT_EQ(p.peekKind(), tkEof);
  EXPECT_EQ(p.peekKind2(), tkEof);
  EXPECT_EQ(p.current.kind, tkRParen);
}

TEST(SqlParserCore, IsWordMatchesIdentifiersIgnoringAsciiCase) {
  vellum::Arena arena;
  struct WordCase {
    const char* text;
    const char* word;
    bool match;
  } cases[] = {
      {"lateral", "lateral", true},   {"LaTeRaL", "lateral", true},   {"lateral", "LATERAL", true},
      {"\"Lateral\"", "lateral", true}, {"laterals", "lateral", false}, {"latera", "lateral", false},
      {"select", "select", false},     {"'lateral'", "lateral", false}, {"l\xc3\xa4teral", "lateral", false},
      {"@", "`", false},
  };
  for (const WordCase& c : cases) {
    Parser p(c.text, arena);
    EXPECT_EQ(p.isWord(c.word), c.match) << c.text << " / " << c.word;
  }
}

TEST(SqlParserCore, ExpectConsumesOrFailsNamingTheKind) {
  vellum::Arena arena;
  Parser p("( x", arena);
  EXPECT_EQ(p.expect(tkLParen).kind, tkLParen);
  EXPECT_EQ(p.current.text, "x");
  try {
    p.expect(tkRParen);
    ADD_FAILURE() << "no error";
  } catch (const vellum::ParseError& e) {
    EXPECT_STREQ(e.what(), "Parse error at line 1, col 3: expected tkRParen (got tkIdent 'x')");
  }
  EXPECT_TRUE(p.accept(tkIdent));
  EXPECT_FALSE(p.accept(tkIdent));
  EXPECT_EQ(p.current.kind, tkEof);
}

TEST(SqlParserCore, ExpectWordUsesTheWordAsWritten) {
  vellum::Arena arena;
  Parser p("Ordinality x", arena);
  EXPECT_EQ(p.expectWord("ORDINALITY").text, "Ordinality");
  try {
    p.expectWord("ORDINALITY");
    ADD_FAILURE() << "no error";
  } catch (const vellum::ParseError& e) {
    EXPECT_STREQ(e.what(), "Parse error at line 1, col 12: expected ORDINALITY (got tkIdent 'x')");
  }
}

// The keywords accepted as names, and the three more accepted as wide names.
TEST(SqlParserCore, NameTokenClasses) {
  const TokenKind names[] = {tkIdent, tkBegin, tkStart, tkTransaction, tkCommit, tkRollback, tkSavepoint,
                             tkRelease, tkFetch, tkNext, tkTies, tkOnly, tkRow};
  const TokenKind wideOnly[] = {tkFirst, tkLast, tkTime};
  int nameCount = 0;
  int wideCount = 0;
  for (int k = 0; k <= tkEof; ++k) {
    auto kind = static_cast<TokenKind>(k);
    nameCount += isNameToken(kind);
    wideCount += isWideNameToken(kind);
  }
  EXPECT_EQ(nameCount, 13);
  EXPECT_EQ(wideCount, 16);
  for (TokenKind k : names) EXPECT_TRUE(isNameToken(k) && isWideNameToken(k)) << tokenKindName(k);
  for (TokenKind k : wideOnly) EXPECT_TRUE(!isNameToken(k) && isWideNameToken(k)) << tokenKindName(k);
}

TEST(SqlParserCore, ExpectIdentAndExpectName) {
  struct NameCase {
    const char* text;
    bool ident;
    bool name;
  } cases[] = {
      {"x", true, true},         {"\"select\"", true, true}, {"begin", true, true},
      {"START", true, true},     {"transaction", true, true}, {"commit", true, true},
      {"rollback", true, true},  {"savepoint", true, true},   {"release", true, true},
      {"fetch", true, true},     {"next", true, true},        {"ties", true, true},
      {"only", true, true},      {"row", true, true},         {"first", false, true},
      {"LAST", false, true},     {"time", false, true},       {"select", false, false},
      {"rows", false, false},    {"date", false, false},      {"1", false, false},
      {"'x'", false, false},     {"", false, false},
  };
  vellum::Arena arena;
  for (const NameCase& c : cases) {
    for (bool wide : {false, true}) {
      Parser p(c.text, arena);
      std::string before(p.current.text);
      bool accepted = true;
      try {
        Token t = wide ? p.expectName("column name") : p.expectIdent("table name");
        EXPECT_EQ(std::string(t.text), before);
      } catch (const vellum::ParseError& e) {
        accepted = false;
        std::string expected = std::string("Parse error at line 1, col 1: expected ") +
                               (wide ? "column name" : "table name") + " (got " +
                               std::string(tokenKindName(p.current.kind)) + " '" + before + "')";
        EXPECT_EQ(e.what(), expected);
      }
      EXPECT_EQ(accepted, wide ? c.name : c.ident) << c.text << (wide ? " as name" : " as ident");
    }
  }
}

TEST(SqlParserCore, NestingLimitIs128WithoutPosition) {
  vellum::Arena arena;
  Parser p("x", arena);
  for (int i = 0; i < 128; ++i) p.enterNesting(p.depth);
  EXPECT_EQ(p.depth, 128);
  try {
    p.enterNesting(p.depth);
    ADD_FAILURE() << "no error";
  } catch (const vellum::ParseError& e) {
    EXPECT_STREQ(e.what(), "maximum SQL syntactic nesting depth of 128 exceeded");
  }
  p.leaveNesting(p.depth);
  EXPECT_EQ(p.depth, 127);
  p.enterNesting(p.depth);
  EXPECT_EQ(p.depth, 128);
}

TEST(SqlParserCore, DepthIsBackToZeroAfterEveryConstruct) {
  vellum::Arena arena;
  Parser p("(a[1] IN (f(x), CASE WHEN -b THEN ARRAY[1] END, CAST(c AS ARRAY<INT>), [1]) OR NOT d) AND "
           "e = ANY (SELECT 1) AND EXISTS (SELECT 2) AND (SELECT 3) > 0",
           arena);
  p.parseExpression();
  EXPECT_EQ(p.current.kind, tkEof);
  EXPECT_EQ(p.depth, 0);
}

// ---- Literal conversion ----

INSTANTIATE_TEST_SUITE_P(
    Numbers, SqlExpr,
    ::testing::Values(
        Case{"0", "0"},
        Case{"007", "7"},
        Case{"9223372036854775807", "9223372036854775807"},
        Case{"00000000000000000000009223372036854775807", "9223372036854775807"},
        Case{"9223372036854775808", "ValueError: Parsed integer outside of valid range"},
        Case{"99999999999999999999999", "ValueError: Parsed integer outside of valid range"},
        // Negative numbers are never literals.
        Case{"-9223372036854775807", "(UnaryOp opNeg 9223372036854775807)"},
        Case{"-9223372036854775808", "ValueError: Parsed integer outside of valid range"},
        Case{"1 + 9223372036854775808", "ValueError: Parsed integer outside of valid range"},
        Case{"1.5", "#1.5"},
        Case{"0.1", "#0.1"},
        Case{"10.000", "#10"},
        Case{"-2.5", "(UnaryOp opNeg #2.5)"}));

TEST(SqlLiteralConversion, Integers) {
  EXPECT_EQ(Parser::convertInteger("0"), 0);
  EXPECT_EQ(Parser::convertInteger("42"), 42);
  EXPECT_EQ(Parser::convertInteger("9223372036854775807"), INT64_MAX);
  // Either side of the 18 digits that are added up without a range check.
  EXPECT_EQ(Parser::convertInteger("999999999999999999"), 999999999999999999);
  EXPECT_EQ(Parser::convertInteger("1000000000000000000"), 1000000000000000000);
  EXPECT_EQ(Parser::convertInteger("000000000000000042"), 42);
  EXPECT_EQ(Parser::convertInteger("0000000000000000000000042"), 42);
  EXPECT_THROW(Parser::convertInteger("12a"), vellum::InternalDefect);
  EXPECT_THROW(Parser::convertInteger("9223372036854775808"), vellum::ValueError);
  EXPECT_THROW(Parser::convertInteger(repeat("9", 400)), vellum::ValueError);
  try {
    Parser::convertInteger("18446744073709551616");
  } catch (const vellum::ValueError& e) {
    EXPECT_STREQ(e.what(), "Parsed integer outside of valid range");
  }
}

TEST(SqlLiteralConversion, UnsignedIntegers) {
  std::uint64_t value = 0;
  EXPECT_TRUE(Parser::convertUnsigned("18446744073709551615", value));
  EXPECT_EQ(value, UINT64_MAX);
  EXPECT_FALSE(Parser::convertUnsigned("18446744073709551616", value));
  EXPECT_TRUE(Parser::convertUnsigned("0005", value));
  EXPECT_EQ(value, 5u);
}

// Floats convert to the nearest double; beyond the largest double that is
// infinity, below the smallest it is zero. Neither is an error.
TEST(SqlLiteralConversion, Floats) {
  EXPECT_EQ(Parser::convertFloat("1.5"), 1.5);
  EXPECT_EQ(Parser::convertFloat("0.1"), 0.1);
  EXPECT_EQ(Parser::convertFloat("7"), 7.0);
  EXPECT_EQ(Parser::convertFloat("17976931348623157" + repeat("0", 292) + ".0"), 1.7976931348623157e308);
  EXPECT_EQ(Parser::convertFloat(repeat("9", 400) + ".5"), HUGE_VAL);
  EXPECT_EQ(Parser::convertFloat("000" + repeat("1", 320) + ".0"), HUGE_VAL);
  EXPECT_EQ(Parser::convertFloat("0." + repeat("0", 400) + "1"), 0.0);
  EXPECT_EQ(Parser::convertFloat("0." + repeat("0", 319) + "4"), 4e-320);
  EXPECT_EQ(Parser::convertFloat("1." + repeat("0", 1000) + "1"), 1.0);
  EXPECT_EQ(expr(repeat("9", 400) + ".0"), "#inf");
  EXPECT_EQ(expr("-" + repeat("9", 400) + ".0"), "(UnaryOp opNeg #inf)");
}

// ---- Depth and size limits ----

struct NestingCase {
  const char* name;
  const char* open;   // one level, before the core
  const char* core;
  const char* close;  // one level, after the core
};

// Every construct that raises the nesting depth: 128 levels parse, 129
// fail with the unpositioned nesting message. All on a 1 MiB stack.
const NestingCase kNestings[] = {
    {"parentheses", "(", "1", ")"},
    {"row constructors", "(1, ", "1", ")"},
    {"subscripts", "a[", "1", "]"},
    {"slice starts", "a[", "1", ":]"},
    {"slice ends", "a[:", "1", "]"},
    {"calls", "f(", "1", ")"},
    {"calls with ORDER BY", "f(x ORDER BY ", "1", ")"},
    {"special call forms", "substring(", "1", " FROM 1 FOR 2)"},
    {"CAST", "CAST(", "1", " AS INT)"},
    {"TRY_CAST", "try_cast(", "1", " AS INT)"},
    {"CASE", "CASE WHEN ", "1", " THEN 1 END"},
    {"ARRAY", "ARRAY[", "1", "]"},
    {"IN lists", "a IN (", "1", ")"},
    {"minus", "- ", "1", ""},
    {"bitwise not", "~", "1", ""},
    {"NOT", "NOT ", "1", ""},
    {"scalar subqueries", "(SELECT ", "1", ")"},
    {"IN subqueries", "a IN (SELECT ", "1", ")"},
    {"EXISTS", "EXISTS (SELECT ", "1", ")"},
    {"quantified comparisons", "a = ANY (SELECT ", "1", ")"},
    {"OVER", "f() OVER (PARTITION BY ", "1", ")"},
    {"mixed", "(a[(f(CAST(-", "1", " AS INT)))])"},
};

TEST(SqlNestingLimit, EveryNestingConstructOn1MiBStack) {
  vellum_test::runOnThreadWithStack(vellum_test::kOneMiB, [] {
    for (const NestingCase& c : kNestings) {
      std::string_view name = c.name;
      std::size_t perLevel = name == "mixed" ? 5 : name == "OVER" ? 2 : 1;  // of `depth`
      std::string ok = nest(c.open, c.core, c.close, 128 / perLevel);
      std::string tooDeep = nest(c.open, c.core, c.close, 128 / perLevel + 1);
      EXPECT_EQ(expr(ok).rfind("ParseError", 0), std::string::npos) << c.name << ": " << expr(ok).substr(0, 200);
      EXPECT_EQ(expr(tooDeep), kNestingError) << c.name;
    }
  });
}

// Subscripts and slices do not count against the nesting limit; their
// brackets are bounded by a count of their own, so that 128 levels of both
// still fit a 1 MiB stack.
TEST(SqlNestingLimit, BracketsCountApartFromOtherNesting) {
  struct Row {
    std::string text;
    bool parses;
  };
  const std::string paren128 = nest("(", "1", ")", 128);
  const Row rows[] = {
      {paren128, true},
      {nest("(", "1", ")", 129), false},
      {nest("a[", "1", "]", 128), true},
      {nest("a[", "1", "]", 129), false},
      {nest("a[", "1:]", "]", 129), false},
      {"a[" + paren128 + "]", true},
      {nest("(", "a[1]", ")", 128), true},
      {nest("a[(", "1", ")]", 128), true},
      {nest("a[f(", "1", ")]", 128), true},
      {nest("a[CASE WHEN ", "1", " THEN 1 END]", 128), true},
      {nest("a[(SELECT ", "1", ")]", 128), true},
      {nest("a[substring(", "1", " FROM 1 FOR 2)]", 128), true},  // the deepest frames
      {nest("a[", paren128, ":]", 128), true},
      {"(" + nest("a[(", "1", ")]", 128) + ")", false},
      {nest("a[(", "1", ")]", 128) + " + " + nest("a[(", "1", ")]", 128), true},
  };
  vellum_test::runOnThreadWithStack(vellum_test::kOneMiB, [&] {
    for (const Row& row : rows) {
      std::string got = expr(row.text);
      if (row.parses) {
        EXPECT_EQ(got.rfind("ParseError", 0), std::string::npos) << row.text << "\n" << got.substr(0, 200);
      } else {
        EXPECT_EQ(got, kNestingError) << row.text;
      }
    }
  });
}

// Runaway nesting stops at the limit, not at the end of the stack.
TEST(SqlNestingLimit, UnclosedNestingFillingTheInputLimit) {
  vellum_test::runOnThreadWithStack(vellum_test::kOneMiB, [] {
    const std::size_t bytes = 1 << 20;
    EXPECT_EQ(expr(repeat("a[", bytes / 2)), kNestingError);
    EXPECT_EQ(expr(repeat("(", bytes)), kNestingError);
    EXPECT_EQ(expr(repeat("f(", bytes / 2)), kNestingError);
    EXPECT_EQ(expr(repeat("- ", bytes / 2)), kNestingError);
    EXPECT_EQ(expr(repeat("NOT ", bytes / 4)), kNestingError);
    EXPECT_EQ(expr(repeat("a IN (", bytes / 6)), kNestingError);
    EXPECT_EQ(expr(repeat("CASE WHEN ", bytes / 10)), kNestingError);
  });
}

// Counts the operators along the left spine of a chain, iteratively.
std::size_t leftChainLength(const SqlNode* node, SqlBinaryOp op) {
  std::size_t n = 0;
  while (node->kind == nkBinaryOp && node->binOp() == op) {
    EXPECT_EQ(node->binRight()->kind, nkIntLit);
    node = node->binLeft();
    ++n;
  }
  return n;
}

// Operator chains do not nest: a chain filling the input limit parses in
// linear time without deep recursion.
TEST(SqlChains, ChainsFillingTheInputLimitParseOn1MiBStack) {
  vellum_test::runOnThreadWithStack(vellum_test::kOneMiB, [] {
    const std::size_t bytes = 1 << 20;
    struct Chain {
      const char* step;
      SqlBinaryOp op;
    } chains[] = {{"1+", opAdd}, {"1*", opMul}, {"1||", opStringConcat}, {"1 OR ", opOr}, {"1 AND ", opAnd}};
    for (const Chain& c : chains) {
      std::size_t steps = bytes / std::string_view(c.step).size() - 1;
      std::string text = repeat(c.step, steps) + "1";
      ASSERT_LE(text.size(), bytes);
      vellum::Arena arena;
      Parser p(text, arena);
      SqlNode* root = p.parseExpression();
      EXPECT_EQ(p.current.kind, tkEof);
      EXPECT_EQ(leftChainLength(root, c.op), steps) << c.step;
    }
    for (const char* step : {"[1]", "->'k'"}) {
      std::string text = "a" + repeat(step, (bytes - 1) / std::string_view(step).size());
      vellum::Arena arena;
      Parser p(text, arena);
      const SqlNode* node = p.parseExpression();
      EXPECT_EQ(p.current.kind, tkEof);
      std::size_t depth = 0;
      while (node->kind == nkFunctionCall) {
        node = node->children()[1];
        ++depth;
      }
      EXPECT_EQ(depth, (bytes - 1) / std::string_view(step).size()) << step;
    }
  });
}

}  // namespace
