// FROM clauses: joins, comma lists, table names, derived tables, table
// functions, LATERAL, WITH ORDINALITY and aliases.
#include <gtest/gtest.h>

#include "sql_test_helpers.h"

namespace vellum_test {
namespace {

TEST(SqlFrom, TableNamesAndAliases) {
  static const TreeCase cases[] = {
      {"SELECT * FROM t", "(Select (ExprList *) (FromClause t))"},
      // A qualified name is one identifier joined by a dot.
      {"SELECT * FROM s.t", "(Select (ExprList *) (FromClause s.t))"},
      {"SELECT * FROM \"my schema\".\"my table\"", "(Select (ExprList *) (FromClause \"my schema.my table\"))"},
      {"SELECT * FROM t AS x", "(Select (ExprList *) (FromClause (Alias x t)))"},
      {"SELECT * FROM t x", "(Select (ExprList *) (FromClause (Alias x t)))"},
      {"SELECT * FROM t AS x(a, b)", "(Select (ExprList *) (FromClause (Alias x [a b] t)))"},
      {"SELECT * FROM \"my table\" \"x y\"", "(Select (ExprList *) (FromClause (Alias \"x y\" \"my table\")))"},
      // Non-reserved keywords are names, and implicit aliases except FETCH.
      {"SELECT * FROM begin row", "(Select (ExprList *) (FromClause (Alias row begin)))"},
      {"SELECT * FROM t AS fetch", "(Select (ExprList *) (FromClause (Alias fetch t)))"},
      {"SELECT * FROM t fetch first row only", "(Select (ExprList *) (FromClause t) (LimitClause 1))"},
  };
  expectTrees(cases);
}

TEST(SqlFrom, JoinChainsNestToTheLeft) {
  static const TreeCase cases[] = {
      {"SELECT * FROM a JOIN b ON x INNER JOIN c ON y CROSS JOIN d",
       "(Select (ExprList *) (FromClause (Join jkCross (Join jkInner (Join jkInner a b x) c y) d _)))"},
      {"SELECT * FROM a LEFT JOIN b ON x LEFT OUTER JOIN c USING (k)",
       "(Select (ExprList *) (FromClause (Join jkLeft (Join jkLeft a b x) c _ using=[k])))"},
      {"SELECT * FROM a RIGHT JOIN b ON x RIGHT OUTER JOIN c ON y",
       "(Select (ExprList *) (FromClause (Join jkRight (Join jkRight a b x) c y)))"},
      {"SELECT * FROM a FULL JOIN b ON x FULL OUTER JOIN c ON y",
       "(Select (ExprList *) (FromClause (Join jkFull (Join jkFull a b x) c y)))"},
      // NATURAL leaves no mark.
      {"SELECT * FROM a NATURAL JOIN b NATURAL LEFT JOIN c USING (m, n) NATURAL CROSS JOIN d",
       "(Select (ExprList *) (FromClause (Join jkCross (Join jkLeft (Join jkInner a b _) c _ using=[m n]) d _)))"},
      {"SELECT * FROM a NATURAL INNER JOIN b NATURAL RIGHT OUTER JOIN c NATURAL FULL JOIN d",
       "(Select (ExprList *) (FromClause (Join jkFull (Join jkRight (Join jkInner a b _) c _) d _)))"},
      // No condition is required and none is refused.
      {"SELECT * FROM a JOIN b", "(Select (ExprList *) (FromClause (Join jkInner a b _)))"},
      {"SELECT * FROM a CROSS JOIN b ON c", "(Select (ExprList *) (FromClause (Join jkCross a b c)))"},
      {"SELECT * FROM a t1 JOIN b t2 ON t1.k = t2.k",
       "(Select (ExprList *) (FromClause (Join jkInner (Alias t1 a) (Alias t2 b) (BinaryOp opEq (ColumnRef t1 k) "
       "(ColumnRef t2 k)))))"},
  };
  expectTrees(cases);
}

TEST(SqlFrom, CommaListsFollowTheJoinChain) {
  static const TreeCase cases[] = {
      {"SELECT * FROM a, b, c", "(Select (ExprList *) (FromClause (Join jkCross (Join jkCross a b _) c _)))"},
      {"SELECT * FROM a JOIN b ON x, c", "(Select (ExprList *) (FromClause (Join jkCross (Join jkInner a b x) c _)))"},
  };
  expectTrees(cases);
  // After a comma a join keyword ends the FROM clause.
  EXPECT_EQ(errorOf("SELECT * FROM a, b JOIN c ON x"), parseError(1, 20, kNoStatement, "tkJoin 'JOIN'"));
}

TEST(SqlFrom, DerivedTablesAndTableFunctions) {
  static const TreeCase cases[] = {
      {"SELECT * FROM (SELECT 1) AS d(x)", "(Select (ExprList *) (FromClause (Alias d [x] (FromDerived (Select (ExprList 1))))))"},
      {"SELECT * FROM (VALUES (1), (2)) v",
       "(Select (ExprList *) (FromClause (Alias v (FromDerived (Values (ExprList 1) (ExprList 2))))))"},
      {"SELECT * FROM (WITH c AS (SELECT 1) SELECT * FROM c) d",
       "(Select (ExprList *) (FromClause (Alias d (FromDerived (Select (WithClause (CommonTableExpr c (Select "
       "(ExprList 1)))) (ExprList *) (FromClause c))))))"},
      {"SELECT * FROM (SELECT 1 UNION SELECT 2 LIMIT 1)",
       "(Select (ExprList *) (FromClause (FromDerived (Select (ExprList 1) (SetOperation soUnion (Select (ExprList "
       "2))) (LimitClause 1)))))"},
      {"SELECT * FROM f()", "(Select (ExprList *) (FromClause (FromFunction f)))"},
      {"SELECT * FROM generate_series(1, 10) AS g(n)",
       "(Select (ExprList *) (FromClause (Alias g [n] (FromFunction generate_series 1 10))))"},
      {"SELECT * FROM unnest(arr) WITH ORDINALITY AS u(v, n)",
       "(Select (ExprList *) (FromClause (Alias u [v n] (FromFunction :ordinality unnest arr))))"},
      {"SELECT * FROM f(1) with \"ORDINALITY\"", "(Select (ExprList *) (FromClause (FromFunction :ordinality f 1)))"},
  };
  expectTrees(cases);
  // A WITH that is not followed by an identifier is left to the caller,
  // where it starts the next statement.
  EXPECT_EQ(errorOf("SELECT * FROM f(x) WITH (SELECT 1)"),
            parseError(1, 25, "expected common table expression name", "tkLParen '('"));
}

TEST(SqlFrom, LateralLooksAhead) {
  static const TreeCase cases[] = {
      {"SELECT * FROM lateral", "(Select (ExprList *) (FromClause lateral))"},
      {"SELECT * FROM lateral AS l", "(Select (ExprList *) (FromClause (Alias l lateral)))"},
      {"SELECT * FROM lateral.t", "(Select (ExprList *) (FromClause lateral.t))"},
      {"SELECT * FROM LATERAL (SELECT 1) s",
       "(Select (ExprList *) (FromClause (Alias s (FromDerived :lateral (Select (ExprList 1))))))"},
      {"SELECT * FROM t, LATERAL (VALUES (1)), lateral (WITH a AS (SELECT 1) SELECT 2)",
       "(Select (ExprList *) (FromClause (Join jkCross (Join jkCross t (FromDerived :lateral (Values (ExprList 1))) "
       "_) (FromDerived :lateral (Select (WithClause (CommonTableExpr a (Select (ExprList 1)))) (ExprList 2))) _)))"},
      {"SELECT * FROM LATERAL f(x)", "(Select (ExprList *) (FromClause (FromFunction :lateral f x)))"},
      // `lateral (` not followed by a query, and `lateral` before a keyword
      // name, leave lateral an ordinary name.
      {"SELECT * FROM lateral(x)", "(Select (ExprList *) (FromClause (FromFunction lateral x)))"},
      {"SELECT * FROM lateral (1)", "(Select (ExprList *) (FromClause (FromFunction lateral 1)))"},
      {"SELECT * FROM lateral begin", "(Select (ExprList *) (FromClause (Alias begin lateral)))"},
  };
  expectTrees(cases);
  EXPECT_EQ(errorOf("SELECT * FROM LATERAL begin(1)"),
            parseError(1, 29, "expected table alias column name", "tkInteger '1'"));
}

TEST(SqlFrom, Spans) {
  static const TreeCase cases[] = {
      // The clause takes the first token after FROM; a qualified name runs
      // from the first name to the second; joins take the clause's span.
      {"SELECT * FROM s . t AS x(a)",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 *@1:8-1:8) (FromClause@1:15-1:15 (Alias@1:24-1:24 x [a] s.t@1:15-1:19)))"},
      {"SELECT * FROM a JOIN b ON c, d",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 *@1:8-1:8) (FromClause@1:15-1:15 (Join@1:15-1:15 jkCross (Join@1:15-1:15 "
       "jkInner a@1:15-1:15 b@1:22-1:22 c@1:27-1:27) d@1:30-1:30 _)))"},
      {"SELECT * FROM LATERAL (SELECT 1) s",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 *@1:8-1:8) (FromClause@1:15-1:21 (Alias@1:34-1:34 s (FromDerived@1:23-1:23 "
       ":lateral (Select@1:24-1:29 (ExprList@1:24-1:29 1@1:31-1:31))))))"},
      {"SELECT * FROM f(1) WITH ORDINALITY u",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 *@1:8-1:8) (FromClause@1:15-1:15 (Alias@1:36-1:36 u (FromFunction@1:15-1:15 "
       ":ordinality f@1:15-1:15 1@1:17-1:17))))"},
  };
  expectTrees(cases, true);
}

TEST(SqlFrom, Failures) {
  static const ErrorCase cases[] = {
      {"SELECT * FROM a NATURAL OUTER JOIN b", 1, 25, "expected JOIN", "tkOuter 'OUTER'"},
      {"SELECT * FROM a NATURAL b", 1, 25, "expected JOIN", "tkIdent 'b'"},
      {"SELECT * FROM a INNER b", 1, 23, "expected tkJoin", "tkIdent 'b'"},
      {"SELECT * FROM a CROSS b", 1, 23, "expected tkJoin", "tkIdent 'b'"},
      {"SELECT * FROM a LEFT OUTER b", 1, 28, "expected tkJoin", "tkIdent 'b'"},
      {"SELECT * FROM a FULL b", 1, 22, "expected tkJoin", "tkIdent 'b'"},
      // A parenthesised join or table name is no derived table.
      {"SELECT * FROM (a)", 1, 16, "expected SELECT, VALUES, or WITH in FROM derived table", "tkIdent 'a'"},
      {"SELECT * FROM (a JOIN b)", 1, 16, "expected SELECT, VALUES, or WITH in FROM derived table", "tkIdent 'a'"},
      {"SELECT * FROM (SELECT 1", 1, 24, "expected tkRParen", "tkEof ''"},
      // The word after WITH is read before it is checked.
      {"SELECT * FROM f(x) WITH foo AS u", 1, 29, "expected ORDINALITY after WITH", "tkAs 'AS'"},
      {"SELECT * FROM f(1", 1, 18, "expected tkRParen", "tkEof ''"},
      {"SELECT * FROM", 1, 14, "expected table name", "tkEof ''"},
      {"SELECT * FROM 1", 1, 15, "expected table name", "tkInteger '1'"},
      {"SELECT * FROM a JOIN", 1, 21, "expected table name", "tkEof ''"},
      {"SELECT * FROM s.1", 1, 17, "expected qualified table name", "tkInteger '1'"},
      // One qualifier level, and a qualified name is never a function.
      {"SELECT * FROM s.t.u", 1, 18, kNoStatement, "tkDot '.'"},
      {"SELECT * FROM s.f(1)", 1, 18, kNoStatement, "tkLParen '('"},
      {"SELECT * FROM t AS 1", 1, 20, "expected alias", "tkInteger '1'"},
      {"SELECT * FROM t AS first", 1, 20, "expected alias", "tkFirst 'first'"},
      {"SELECT * FROM t x(1)", 1, 19, "expected table alias column name", "tkInteger '1'"},
      {"SELECT * FROM t x(a", 1, 20, "expected tkRParen", "tkEof ''"},
      {"SELECT * FROM a JOIN b USING a", 1, 30, "expected tkLParen", "tkIdent 'a'"},
      {"SELECT * FROM a JOIN b USING (1)", 1, 31, "expected USING column", "tkInteger '1'"},
      {"SELECT * FROM a JOIN b USING (k", 1, 32, "expected tkRParen", "tkEof ''"},
  };
  expectErrors(cases);
}

std::string nestedDerivedTables(std::size_t levels) {
  return "SELECT * FROM " + repeat("(SELECT * FROM ", levels) + "t" + repeat(")", levels);
}

TEST(SqlFrom, DerivedTablesCountAgainstTheNestingLimit) {
  EXPECT_EQ(errorOf(nestedDerivedTables(128)).substr(0, 8), "parsed: ");
  EXPECT_EQ(errorOf(nestedDerivedTables(129)), kNestingMessage);
  // Table functions count a level too: their arguments may nest 127 more.
  std::string inFunction = "SELECT * FROM f(" + repeat("(", 127) + "1" + repeat(")", 128);
  EXPECT_EQ(errorOf(inFunction).substr(0, 8), "parsed: ");
  std::string tooDeep = "SELECT * FROM f(" + repeat("(", 128) + "1" + repeat(")", 129);
  EXPECT_EQ(errorOf(tooDeep), kNestingMessage);
}

}  // namespace
}  // namespace vellum_test
