// Queries: set operations, SELECT cores, select items, ORDER BY, LIMIT /
// OFFSET / FETCH, VALUES and WITH.
#include <gtest/gtest.h>

#include "sql_test_helpers.h"
#include "support/threads.h"

namespace vellum_test {
namespace {

TEST(SqlQuery, SetOperationsHangOffTheRootBody) {
  static const TreeCase cases[] = {
      // INTERSECT binds tighter: it belongs to the first body of its term.
      {"SELECT 1 UNION SELECT 2 INTERSECT SELECT 3 ORDER BY 1 LIMIT 1",
       "(Select (ExprList 1) (SetOperation soUnion (Select (ExprList 2) (SetOperation soIntersect "
       "(Select (ExprList 3))))) (OrderByClause 1) (LimitClause 1))"},
      {"SELECT 1 INTERSECT SELECT 2 UNION ALL SELECT 3 EXCEPT SELECT 4 INTERSECT ALL SELECT 5",
       "(Select (ExprList 1) (SetOperation soIntersect (Select (ExprList 2))) (SetOperation soUnion :all "
       "(Select (ExprList 3))) (SetOperation soExcept (Select (ExprList 4) (SetOperation soIntersect :all "
       "(Select (ExprList 5))))))"},
      {"SELECT 1 EXCEPT ALL SELECT 2 UNION SELECT 3",
       "(Select (ExprList 1) (SetOperation soExcept :all (Select (ExprList 2))) (SetOperation soUnion "
       "(Select (ExprList 3))))"},
      {"VALUES (1) UNION VALUES (2) ORDER BY 1",
       "(Values (ExprList 1) (SetOperation soUnion (Values (ExprList 2))) (OrderByClause 1))"},
      {"SELECT a FROM t UNION SELECT b FROM u WHERE c",
       "(Select (ExprList a) (FromClause t) (SetOperation soUnion (Select (ExprList b) (FromClause u) "
       "(WhereClause c))))"},
  };
  expectTrees(cases);
}

TEST(SqlQuery, LimitOffsetAndFetch) {
  static const TreeCase cases[] = {
      // The limit node precedes the offset node whatever the source order.
      {"SELECT a FROM t OFFSET 5 LIMIT 10", "(Select (ExprList a) (FromClause t) (LimitClause 10) (OffsetClause 5))"},
      {"SELECT a FROM t LIMIT 10 OFFSET 5 ROWS",
       "(Select (ExprList a) (FromClause t) (LimitClause 10) (OffsetClause 5))"},
      {"SELECT 1 OFFSET 1 ROW", "(Select (ExprList 1) (OffsetClause 1))"},
      {"SELECT 1 OFFSET 1 ROWS FETCH NEXT ROW ONLY", "(Select (ExprList 1) (LimitClause 1) (OffsetClause 1))"},
      {"SELECT 1 FETCH FIRST 5 ROWS WITH TIES", "(Select (ExprList 1) (LimitClause :ties 5))"},
      {"SELECT 1 FETCH FIRST 2 + 3 ROW ONLY OFFSET 4",
       "(Select (ExprList 1) (LimitClause (BinaryOp opAdd 2 3)) (OffsetClause 4))"},
      // LIMIT ALL leaves no node.
      {"SELECT 1 LIMIT ALL", "(Select (ExprList 1))"},
      {"SELECT 1 LIMIT ALL OFFSET 2", "(Select (ExprList 1) (OffsetClause 2))"},
      {"SELECT 1 LIMIT ?", "(Select (ExprList 1) (LimitClause ?1))"},
  };
  expectTrees(cases);
}

TEST(SqlQuery, SelectCoreClauses) {
  static const TreeCase cases[] = {
      {"SELECT DISTINCT a FROM t", "(Select DISTINCT (ExprList a) (FromClause t))"},
      {"SELECT DISTINCT ON (a, b) a FROM t", "(Select (DistinctOnClause a b) (ExprList a) (FromClause t))"},
      {"SELECT a FROM t WHERE x GROUP BY a HAVING y WINDOW w AS (PARTITION BY a) QUALIFY z",
       "(Select (ExprList a) (FromClause t) (WhereClause x) (GroupByClause a) (HavingClause y) (WindowClause "
       "(NamedWindow w (WindowSpec (PartitionByClause a)))) (QualifyClause z))"},
      {"SELECT a WINDOW w AS (), v AS (w ORDER BY b)",
       "(Select (ExprList a) (WindowClause (NamedWindow w (WindowSpec)) (NamedWindow v (WindowSpec w "
       "(OrderByClause b)))))"},
      {"SELECT a, b, c GROUP BY a, b", "(Select (ExprList a b c) (GroupByClause a b))"},
      {"SELECT * FROM t QUALIFY x", "(Select (ExprList *) (FromClause t) (QualifyClause x))"},
      // Every clause is optional; a projection alone is a query.
      {"select 1", "(Select (ExprList 1))"},
  };
  expectTrees(cases);
}

TEST(SqlQuery, SelectItemAliases) {
  static const TreeCase cases[] = {
      {"SELECT a b, c AS first FROM t", "(Select (ExprList (Alias b a) (Alias first c)) (FromClause t))"},
      // AS takes a wide name (FIRST, LAST, TIME too); an implicit alias is a
      // name other than FETCH.
      {"SELECT a AS time, b AS last, c begin, d row",
       "(Select (ExprList (Alias time a) (Alias last b) (Alias begin c) (Alias row d)))"},
      {"SELECT a AS fetch, b next, c ties, d only, e savepoint",
       "(Select (ExprList (Alias fetch a) (Alias next b) (Alias ties c) (Alias only d) (Alias savepoint e)))"},
      {"SELECT a \"Mixed Case\"", "(Select (ExprList (Alias \"Mixed Case\" a)))"},
      {"SELECT t.*, * FROM t", "(Select (ExprList (QualifiedStar t) *) (FromClause t))"},
  };
  expectTrees(cases);
}

TEST(SqlQuery, OrderItems) {
  static const TreeCase cases[] = {
      // ASC/DESC wrap the item in an alias named "asc"/"desc"; NULLS sets the
      // item itself (the wrapper when there is one).
      {"SELECT a FROM t ORDER BY a DESC NULLS FIRST, b NULLS LAST, c ASC",
       "(Select (ExprList a) (FromClause t) (OrderByClause (Alias :desc :nullsfirst desc a) (Identifier "
       ":nullslast b) (Alias :asc asc c)))"},
      {"SELECT a ORDER BY a + 1, 2 DESC",
       "(Select (ExprList a) (OrderByClause (BinaryOp opAdd a 1) (Alias :desc desc 2)))"},
      {"SELECT a ORDER BY a nulls first", "(Select (ExprList a) (OrderByClause (Identifier :nullsfirst a)))"},
  };
  expectTrees(cases);
}

TEST(SqlQuery, ValuesBodies) {
  static const TreeCase cases[] = {
      // Rows of different lengths are accepted.
      {"VALUES (1, 2), (3)", "(Values (ExprList 1 2) (ExprList 3))"},
      {"VALUES (1) LIMIT 1 OFFSET 1", "(Values (ExprList 1) (LimitClause 1) (OffsetClause 1))"},
  };
  expectTrees(cases);
}

TEST(SqlQuery, WithQueries) {
  static const TreeCase cases[] = {
      {"WITH RECURSIVE t(n) AS (VALUES (1)) SELECT * FROM t",
       "(Select (WithClause :recursive (CommonTableExpr t (CteColumnList n) (Values (ExprList 1)))) (ExprList *) "
       "(FromClause t))"},
      {"WITH a AS (SELECT 1), b(x, y) AS (SELECT 2 UNION SELECT 3) VALUES (4) ORDER BY 1",
       "(Values (WithClause (CommonTableExpr a (Select (ExprList 1))) (CommonTableExpr b (CteColumnList x y) "
       "(Select (ExprList 2) (SetOperation soUnion (Select (ExprList 3)))))) (ExprList 4) (OrderByClause 1))"},
      // CTE bodies nest.
      {"WITH a AS (WITH b AS (SELECT 1) SELECT 2) SELECT 3",
       "(Select (WithClause (CommonTableExpr a (Select (WithClause (CommonTableExpr b (Select (ExprList 1)))) "
       "(ExprList 2)))) (ExprList 3))"},
      // Names may be non-reserved keywords.
      {"WITH row(next) AS (SELECT 1) SELECT 2",
       "(Select (WithClause (CommonTableExpr row (CteColumnList next) (Select (ExprList 1)))) (ExprList 2))"},
  };
  expectTrees(cases);
}

TEST(SqlQuery, Spans) {
  static const TreeCase cases[] = {
      // The FETCH count without a number is a 1 with the span of ROW; the
      // limit and offset clauses take the body's span.
      {"SELECT 1 OFFSET 1 ROWS FETCH NEXT ROW ONLY",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 1@1:8-1:8) (LimitClause@1:1-1:6 1@1:35-1:37) (OffsetClause@1:1-1:6 "
       "1@1:17-1:17))"},
      // The DISTINCT marker takes the span of the SELECT node.
      {"SELECT DISTINCT a FROM t",
       "(Select@1:1-1:6 DISTINCT@1:1-1:6 (ExprList@1:1-1:6 a@1:17-1:17) (FromClause@1:24-1:24 t@1:24-1:24))"},
      {"SELECT DISTINCT ON (a, b) a FROM t",
       "(Select@1:1-1:6 (DistinctOnClause@1:8-1:25 a@1:21-1:21 b@1:24-1:24) (ExprList@1:1-1:6 a@1:27-1:27) "
       "(FromClause@1:34-1:34 t@1:34-1:34))"},
      // The root body starts at WITH and still ends at its SELECT.
      {"WITH RECURSIVE t(n) AS (VALUES (1)) SELECT * FROM t",
       "(Select@1:1-1:42 (WithClause@1:1-1:4 :recursive (CommonTableExpr@1:16-1:16 t@1:16-1:16 "
       "(CteColumnList@1:17-1:17 n@1:18-1:18) (Values@1:25-1:30 (ExprList@1:33-1:34 1@1:33-1:33)))) "
       "(ExprList@1:1-1:42 *@1:44-1:44) (FromClause@1:51-1:51 t@1:51-1:51))"},
      // A VALUES row runs from its first expression to the `)`.
      {"VALUES (1, 2),\n  (3)",
       "(Values@1:1-1:6 (ExprList@1:9-1:13 1@1:9-1:9 2@1:12-1:12) (ExprList@2:4-2:5 3@2:4-2:4))"},
      {"SELECT a x, b AS y",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 (Alias@1:10-1:10 x a@1:8-1:8) (Alias@1:18-1:18 y b@1:13-1:13)))"},
      {"SELECT a FROM t ORDER BY a DESC, b",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 a@1:8-1:8) (FromClause@1:15-1:15 t@1:15-1:15) (OrderByClause@1:1-1:6 "
       "(Alias@1:28-1:31 :desc desc a@1:26-1:26) b@1:34-1:34))"},
      {"SELECT 1 UNION SELECT 2",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 1@1:8-1:8) (SetOperation@1:10-1:14 soUnion (Select@1:16-1:21 "
       "(ExprList@1:16-1:21 2@1:23-1:23))))"},
      {"SELECT a WINDOW w AS (PARTITION BY a) QUALIFY z",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 a@1:8-1:8) (WindowClause@1:10-1:15 (NamedWindow@1:17-1:37 w@1:17-1:17 "
       "(WindowSpec@1:22-1:37 (PartitionByClause@1:23-1:31 a@1:36-1:36)))) (QualifyClause@1:39-1:45 z@1:47-1:47))"},
  };
  expectTrees(cases, true);
}

TEST(SqlQuery, NameRules) {
  // Name: identifiers and BEGIN, START, TRANSACTION, COMMIT, ROLLBACK,
  // SAVEPOINT, RELEASE, FETCH, NEXT, TIES, ONLY, ROW. Wide name (after AS in
  // a select list): also FIRST, LAST, TIME. Implicit alias: a Name but FETCH.
  // Window base name: identifiers and FETCH, NEXT, TIES, ONLY, ROW.
  static const TreeCase trees[] = {
      {"WITH fetch AS (SELECT 1) SELECT 1",
       "(Select (WithClause (CommonTableExpr fetch (Select (ExprList 1)))) (ExprList 1))"},
      {"SELECT 1 AS first, 2 transaction, 3 AS \"select\"",
       "(Select (ExprList (Alias first 1) (Alias transaction 2) (Alias select 3)))"},
      {"SELECT a WINDOW fetch AS (ties), v AS (next), u AS (only)",
       "(Select (ExprList a) (WindowClause (NamedWindow fetch (WindowSpec ties)) (NamedWindow v (WindowSpec next)) "
       "(NamedWindow u (WindowSpec only))))"},
  };
  expectTrees(trees);
  static const ErrorCase errors[] = {
      {"WITH first AS (SELECT 1) SELECT 1", 1, 6, "expected common table expression name", "tkFirst 'first'"},
      {"WITH t(last) AS (SELECT 1) SELECT 1", 1, 8, "expected common table expression column name",
       "tkLast 'last'"},
      {"SELECT 1 time", 1, 10, kNoStatement, "tkTime 'time'"},
      {"SELECT a WINDOW first AS ()", 1, 17, "expected window name", "tkFirst 'first'"},
      {"SELECT a WINDOW w AS (begin)", 1, 23, "expected tkRParen", "tkBegin 'begin'"},
      {"SELECT * FROM t AS time", 1, 20, "expected alias", "tkTime 'time'"},
  };
  expectErrors(errors);
}

TEST(SqlQuery, KeywordsOutOfPlaceEndTheQuery) {
  static const ErrorCase cases[] = {
      // A clause out of order is left unconsumed and fails as a statement start.
      {"SELECT a FROM t GROUP BY a WHERE x", 1, 28, kNoStatement, "tkWhere 'WHERE'"},
      {"SELECT a QUALIFY b HAVING c", 1, 20, kNoStatement, "tkHaving 'HAVING'"},
      // FIRST is no implicit alias.
      {"SELECT c first FROM t", 1, 10, kNoStatement, "tkFirst 'first'"},
      // FETCH is no implicit alias either: it starts the FETCH clause.
      {"SELECT c fetch", 1, 15, "expected FIRST or NEXT after FETCH", "tkEof ''"},
      // ALL after SELECT is not recognised.
      {"SELECT ALL a", 1, 8, "unexpected token in expression", "tkAll 'ALL'"},
      {"SELECT 1 ORDER BY 1 UNION SELECT 2", 1, 21, kNoStatement, "tkUnion 'UNION'"},
  };
  expectErrors(cases);
}

TEST(SqlQuery, Failures) {
  static const ErrorCase cases[] = {
      {"SELECT 1 UNION (SELECT 2)", 1, 16, "expected SELECT or VALUES query body", "tkLParen '('"},
      {"SELECT 1 INTERSECT 2", 1, 20, "expected SELECT or VALUES query body", "tkInteger '2'"},
      {"SELECT 1 EXCEPT ALL WITH a AS (SELECT 1) SELECT 2", 1, 21, "expected SELECT or VALUES query body",
       "tkWith 'WITH'"},
      {"WITH t AS (SELECT 1) WITH u AS (SELECT 2) SELECT 1", 1, 22, "expected SELECT or VALUES after WITH clause",
       "tkWith 'WITH'"},
      {"WITH t AS (SELECT 1)", 1, 21, "expected SELECT or VALUES after WITH clause", "tkEof ''"},
      {"WITH t AS ((SELECT 1)) SELECT 1", 1, 12, "expected SELECT, VALUES, or WITH in common table expression",
       "tkLParen '('"},
      {"WITH 1 AS (SELECT 1) SELECT 1", 1, 6, "expected common table expression name", "tkInteger '1'"},
      {"WITH t(a, 1) AS (SELECT 1) SELECT 1", 1, 11, "expected common table expression column name",
       "tkInteger '1'"},
      {"WITH t SELECT 1", 1, 8, "expected tkAs", "tkSelect 'SELECT'"},
      {"WITH t AS SELECT 1", 1, 11, "expected tkLParen", "tkSelect 'SELECT'"},
      {"WITH t AS (SELECT 1 SELECT 2", 1, 21, "expected tkRParen", "tkSelect 'SELECT'"},
      {"WITH t(a AS (SELECT 1) SELECT 1", 1, 10, "expected tkRParen", "tkAs 'AS'"},
      {"VALUES ()", 1, 9, "expected expression in VALUES row", "tkRParen ')'"},
      {"VALUES 1", 1, 8, "expected tkLParen", "tkInteger '1'"},
      {"VALUES (1", 1, 10, "expected tkRParen", "tkEof ''"},
      {"SELECT DISTINCT ON () a", 1, 21, "expected expression in DISTINCT ON list", "tkRParen ')'"},
      {"SELECT DISTINCT ON a", 1, 20, "expected tkLParen", "tkIdent 'a'"},
      {"SELECT a ORDER BY a NULLS", 1, 26, "expected FIRST or LAST after NULLS", "tkEof ''"},
      {"SELECT a ORDER BY a DESC NULLS ASC", 1, 32, "expected FIRST or LAST after NULLS", "tkAsc 'ASC'"},
      {"SELECT a ORDER a", 1, 16, "expected tkBy", "tkIdent 'a'"},
      {"SELECT a GROUP a", 1, 16, "expected tkBy", "tkIdent 'a'"},
      {"SELECT a AS select", 1, 13, "expected alias", "tkSelect 'select'"},
      {"SELECT a WINDOW 1", 1, 17, "expected window name", "tkInteger '1'"},
      {"SELECT a WINDOW w (", 1, 19, "expected tkAs", "tkLParen '('"},
      {"SELECT 1 OFFSET 1 OFFSET 2", 1, 19, "multiple OFFSET clauses are not allowed", "tkOffset 'OFFSET'"},
      {"SELECT 1 LIMIT 1 LIMIT 2", 1, 18, "multiple LIMIT clauses are not allowed", "tkLimit 'LIMIT'"},
      {"SELECT 1 LIMIT ALL LIMIT 3", 1, 20, "multiple LIMIT clauses are not allowed", "tkLimit 'LIMIT'"},
      {"SELECT 1 LIMIT ALL FETCH FIRST ROW ONLY", 1, 20, "multiple LIMIT clauses are not allowed",
       "tkFetch 'FETCH'"},
      {"SELECT 1 LIMIT 3 FETCH FIRST 2 ROWS ONLY", 1, 18, "multiple LIMIT clauses are not allowed",
       "tkFetch 'FETCH'"},
      {"SELECT 1 FETCH 2 ROWS ONLY", 1, 16, "expected FIRST or NEXT after FETCH", "tkInteger '2'"},
      {"SELECT 1 FETCH FIRST 10 PERCENT ROWS ONLY", 1, 25, "FETCH ... PERCENT is not supported",
       "tkIdent 'PERCENT'"},
      {"SELECT 1 FETCH FIRST 10 ONLY", 1, 25, "expected ROW or ROWS after FETCH count", "tkOnly 'ONLY'"},
      {"SELECT 1 FETCH FIRST 10 ROWS", 1, 29, "expected ONLY or WITH TIES in FETCH clause", "tkEof ''"},
      {"SELECT 1 FETCH FIRST ROWS WITH", 1, 31, "expected TIES after WITH in FETCH clause", "tkEof ''"},
  };
  expectErrors(cases);
}

// A CTE body that is a WITH query nests and counts against the limit.
std::string nestedCteBodies(std::size_t levels) {
  return repeat("WITH a AS (", levels) + "SELECT 1" + repeat(") SELECT 1", levels);
}

TEST(SqlQuery, NestedCteBodiesHaveALimitOfTheirOwn) {
  // The outermost WITH is the statement itself; 128 bodies below it nest.
  EXPECT_EQ(errorOf(nestedCteBodies(129)).substr(0, 8), "parsed: ");
  EXPECT_EQ(errorOf(nestedCteBodies(130)), kNestingMessage);
  // Bodies do not count against the nesting limit of the expressions in
  // them: 128 parentheses parse in a SELECT body and in a WITH body, 129
  // fail in either.
  auto parens = [](int n) { return repeat("(", n) + "1" + repeat(")", n); };
  const std::string inSelect = "WITH a AS (SELECT ";
  const std::string inWith = "WITH a AS (WITH b AS (SELECT 1) SELECT ";
  for (const std::string& head : {inSelect, inWith}) {
    EXPECT_EQ(errorOf(head + parens(128) + ") SELECT 1").substr(0, 8), "parsed: ") << head;
    EXPECT_EQ(errorOf(head + parens(129) + ") SELECT 1"), kNestingMessage) << head;
  }
  // Both limits at once, on a small stack.
  std::string both = "SELECT " + parens(128);
  for (int i = 0; i < 128; ++i) both = "WITH a AS (" + both + ") SELECT 1";
  std::string result;
  runOnThreadWithStack(kOneMiB, [&] { result = errorOf("WITH z AS (" + both + ") SELECT 1"); });
  EXPECT_EQ(result.substr(0, 8), "parsed: ");
}

TEST(SqlQuery, NestedCteBodiesNearTheInputLimitFailCleanly) {
  // About 1 MiB of `WITH a AS (` would recurse 95000 levels deep without the
  // nesting count; it must fail with the nesting message on a small stack.
  std::string text = repeat("WITH a AS (", (kOneMiB - 16) / 11) + "SELECT 1";
  ASSERT_LE(text.size(), kOneMiB);
  std::string result;
  runOnThreadWithStack(kOneMiB, [&] { result = errorOf(text); });
  EXPECT_EQ(result, kNestingMessage);
}

}  // namespace
}  // namespace vellum_test
