// GROUP BY elements and window definitions with their frames.
#include <gtest/gtest.h>

#include "sql_test_helpers.h"

namespace vellum_test {
namespace {

TEST(SqlGrouping, GroupingElements) {
  static const TreeCase cases[] = {
      // `()` is a grouping-sets node holding one empty set.
      {"SELECT a GROUP BY ()", "(Select (ExprList a) (GroupByClause (GroupingSets (GroupingSet))))"},
      {"SELECT a GROUP BY GROUPING SETS ((a, b), a, ())",
       "(Select (ExprList a) (GroupByClause (GroupingSets (GroupingSet a b) (GroupingSet a) (GroupingSet))))"},
      {"SELECT a GROUP BY Grouping Sets (a + 1)",
       "(Select (ExprList a) (GroupByClause (GroupingSets (GroupingSet (BinaryOp opAdd a 1)))))"},
      {"SELECT a GROUP BY rollup(a, b), CUBE (c)", "(Select (ExprList a) (GroupByClause (Rollup a b) (Cube c)))"},
      {"SELECT a GROUP BY a, ROLLUP(b), ()",
       "(Select (ExprList a) (GroupByClause a (Rollup b) (GroupingSets (GroupingSet))))"},
      // The words are names unless the next token confirms them.
      {"SELECT a GROUP BY rollup, cube, grouping", "(Select (ExprList a) (GroupByClause rollup cube grouping))"},
      {"SELECT a GROUP BY grouping(a)", "(Select (ExprList a) (GroupByClause (FunctionCall grouping a)))"},
      {"SELECT a GROUP BY GROUPING SETS (rollup, grouping)",
       "(Select (ExprList a) (GroupByClause (GroupingSets (GroupingSet rollup) (GroupingSet grouping))))"},
      // A parenthesis not directly closed is an ordinary expression.
      {"SELECT a GROUP BY (a)", "(Select (ExprList a) (GroupByClause a))"},
      {"SELECT a GROUP BY (a, b)", "(Select (ExprList a) (GroupByClause (RowConstructor a b)))"},
  };
  expectTrees(cases);
}

TEST(SqlGrouping, WindowDefinitions) {
  static const TreeCase cases[] = {
      {"SELECT a WINDOW w AS (w2 PARTITION BY a, b ORDER BY c DESC ROWS BETWEEN UNBOUNDED PRECEDING AND CURRENT ROW)",
       "(Select (ExprList a) (WindowClause (NamedWindow w (WindowSpec w2 (PartitionByClause a b) (OrderByClause (Alias "
       ":desc desc c)) (WindowFrame fuRows (WindowFrameBound fbUnboundedPreceding) (WindowFrameBound "
       "fbCurrentRow))))))"},
      {"SELECT a WINDOW w AS ()", "(Select (ExprList a) (WindowClause (NamedWindow w (WindowSpec))))"},
      // Base names: identifiers and FETCH, NEXT, TIES, ONLY, ROW.
      {"SELECT a WINDOW w AS (fetch), v AS (row ORDER BY a)",
       "(Select (ExprList a) (WindowClause (NamedWindow w (WindowSpec fetch)) (NamedWindow v (WindowSpec row "
       "(OrderByClause a)))))"},
      {"SELECT sum(x) OVER (PARTITION BY a ROWS 2 PRECEDING) FROM t",
       "(Select (ExprList (FunctionCall sum x (WindowSpec (PartitionByClause a) (WindowFrame fuRows (WindowFrameBound "
       "fbPreceding 2) (WindowFrameBound fbCurrentRow))))) (FromClause t))"},
  };
  expectTrees(cases);
}

TEST(SqlGrouping, WindowFrames) {
  static const TreeCase cases[] = {
      // A lone bound ends at CURRENT ROW.
      {"SELECT a WINDOW w AS (ROWS 5 PRECEDING)",
       "(Select (ExprList a) (WindowClause (NamedWindow w (WindowSpec (WindowFrame fuRows (WindowFrameBound "
       "fbPreceding 5) (WindowFrameBound fbCurrentRow))))))"},
      {"SELECT a WINDOW w AS (RANGE BETWEEN 1 FOLLOWING AND UNBOUNDED FOLLOWING)",
       "(Select (ExprList a) (WindowClause (NamedWindow w (WindowSpec (WindowFrame fuRange (WindowFrameBound "
       "fbFollowing 1) (WindowFrameBound fbUnboundedFollowing))))))"},
      // The offset is unsigned 64-bit.
      {"SELECT a WINDOW w AS (ROWS BETWEEN 18446744073709551615 PRECEDING AND CURRENT ROW)",
       "(Select (ExprList a) (WindowClause (NamedWindow w (WindowSpec (WindowFrame fuRows (WindowFrameBound "
       "fbPreceding 18446744073709551615) (WindowFrameBound fbCurrentRow))))))"},
      {"SELECT a WINDOW w AS (ROWS 0 FOLLOWING)",
       "(Select (ExprList a) (WindowClause (NamedWindow w (WindowSpec (WindowFrame fuRows (WindowFrameBound "
       "fbFollowing 0) (WindowFrameBound fbCurrentRow))))))"},
      // The two bounds are not compared with each other.
      {"SELECT a WINDOW w AS (ROWS BETWEEN UNBOUNDED FOLLOWING AND UNBOUNDED PRECEDING)",
       "(Select (ExprList a) (WindowClause (NamedWindow w (WindowSpec (WindowFrame fuRows (WindowFrameBound "
       "fbUnboundedFollowing) (WindowFrameBound fbUnboundedPreceding))))))"},
      {"SELECT a WINDOW w AS (range current row)",
       "(Select (ExprList a) (WindowClause (NamedWindow w (WindowSpec (WindowFrame fuRange (WindowFrameBound "
       "fbCurrentRow) (WindowFrameBound fbCurrentRow))))))"},
  };
  expectTrees(cases);
}

TEST(SqlGrouping, Spans) {
  static const TreeCase cases[] = {
      {"SELECT a GROUP BY ( )",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 a@1:8-1:8) (GroupByClause@1:1-1:6 (GroupingSets@1:19-1:21 "
       "(GroupingSet@1:19-1:21))))"},
      // A set without parentheses takes its expression's span, here the
      // empty span of an operator, which the back-fill replaces.
      {"SELECT a GROUP BY GROUPING SETS ((a, b), a+1, c)",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 a@1:8-1:8) (GroupByClause@1:1-1:6 (GroupingSets@1:19-1:48 "
       "(GroupingSet@1:34-1:39 a@1:35-1:35 b@1:38-1:38) (GroupingSet@1:19-1:48 (BinaryOp@1:19-1:48 opAdd a@1:42-1:42 "
       "1@1:44-1:44)) (GroupingSet@1:47-1:47 c@1:47-1:47))))"},
      {"SELECT a GROUP BY ROLLUP (a), cube(b)",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 a@1:8-1:8) (GroupByClause@1:1-1:6 (Rollup@1:19-1:28 a@1:27-1:27) "
       "(Cube@1:31-1:37 b@1:36-1:36)))"},
      {"SELECT a WINDOW w AS (PARTITION BY a ORDER BY b ROWS BETWEEN 1 PRECEDING AND 2 FOLLOWING)",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 a@1:8-1:8) (WindowClause@1:10-1:15 (NamedWindow@1:17-1:89 w@1:17-1:17 "
       "(WindowSpec@1:22-1:89 (PartitionByClause@1:23-1:31 a@1:36-1:36) (OrderByClause@1:38-1:42 b@1:47-1:47) "
       "(WindowFrame@1:49-1:88 fuRows (WindowFrameBound@1:62-1:72 fbPreceding 1) (WindowFrameBound@1:78-1:88 "
       "fbFollowing 2))))))"},
      // The implied CURRENT ROW end takes the start bound's span.
      {"SELECT a WINDOW w AS (RANGE UNBOUNDED PRECEDING)",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 a@1:8-1:8) (WindowClause@1:10-1:15 (NamedWindow@1:17-1:48 w@1:17-1:17 "
       "(WindowSpec@1:22-1:48 (WindowFrame@1:23-1:47 fuRange (WindowFrameBound@1:29-1:47 fbUnboundedPreceding) "
       "(WindowFrameBound@1:29-1:47 fbCurrentRow))))))"},
  };
  expectTrees(cases, true);
}

TEST(SqlGrouping, Failures) {
  static const ErrorCase cases[] = {
      {"SELECT a GROUP BY GROUPING SETS ()", 1, 34, "expected at least one grouping set in GROUPING SETS",
       "tkRParen ')'"},
      {"SELECT a GROUP BY grouping sets", 1, 32, "expected tkLParen", "tkEof ''"},
      {"SELECT a GROUP BY GROUPING SETS (GROUPING SETS (a))", 1, 34,
       "GROUPING SETS cannot be nested inside GROUPING SETS", "tkIdent 'GROUPING'"},
      {"SELECT a GROUP BY GROUPING SETS (a, ROLLUP(a))", 1, 37, "ROLLUP and CUBE cannot be nested inside GROUPING SETS",
       "tkIdent 'ROLLUP'"},
      {"SELECT a GROUP BY GROUPING SETS (cube (a))", 1, 34, "ROLLUP and CUBE cannot be nested inside GROUPING SETS",
       "tkIdent 'cube'"},
      // The keyword as written, upper-cased.
      {"SELECT a GROUP BY ROLLUP()", 1, 26, "expected expression in ROLLUP list", "tkRParen ')'"},
      {"SELECT a GROUP BY cube()", 1, 24, "expected expression in CUBE list", "tkRParen ')'"},
      {"SELECT a GROUP BY Rollup ( )", 1, 28, "expected expression in ROLLUP list", "tkRParen ')'"},
      {"SELECT a GROUP BY ROLLUP(a", 1, 27, "expected tkRParen", "tkEof ''"},
      {"SELECT a GROUP BY GROUPING SETS ((a), b", 1, 40, "expected tkRParen", "tkEof ''"},
      // A parenthesised set is a list of expressions, not an expression.
      {"SELECT a GROUP BY GROUPING SETS ((a+b)*2)", 1, 39, "expected tkRParen", "tkStar '*'"},
      {"SELECT a WINDOW w AS x", 1, 22, "expected tkLParen", "tkIdent 'x'"},
      {"SELECT a WINDOW w AS (w1 w2)", 1, 26, "expected tkRParen", "tkIdent 'w2'"},
      {"SELECT a WINDOW w AS (PARTITION a)", 1, 33, "expected tkBy", "tkIdent 'a'"},
      {"SELECT a WINDOW w AS (ORDER a)", 1, 29, "expected tkBy", "tkIdent 'a'"},
      {"SELECT a WINDOW w AS (ORDER BY a NULLS)", 1, 39, "expected FIRST or LAST after NULLS", "tkRParen ')'"},
      // GROUPS is no frame unit (it reads as a base name) and there is no
      // exclusion clause.
      {"SELECT a WINDOW w AS (GROUPS 1 PRECEDING)", 1, 30, "expected tkRParen", "tkInteger '1'"},
      {"SELECT a WINDOW w AS (ROWS 1 PRECEDING EXCLUDE CURRENT ROW)", 1, 40, "expected tkRParen",
       "tkIdent 'EXCLUDE'"},
      {"SELECT a WINDOW w AS (ROWS foo)", 1, 28, "expected window frame bound", "tkIdent 'foo'"},
      {"SELECT a WINDOW w AS (ROWS -1 PRECEDING)", 1, 28, "expected window frame bound", "tkMinus '-'"},
      {"SELECT a WINDOW w AS (ROWS 1.5 PRECEDING)", 1, 28, "expected window frame bound", "tkFloat '1.5'"},
      {"SELECT a WINDOW w AS (ROWS INTERVAL '1' DAY PRECEDING)", 1, 28, "expected window frame bound",
       "tkInterval 'INTERVAL'"},
      {"SELECT a WINDOW w AS (ROWS UNBOUNDED)", 1, 37, "expected PRECEDING or FOLLOWING after UNBOUNDED",
       "tkRParen ')'"},
      {"SELECT a WINDOW w AS (ROWS UNBOUNDED CURRENT)", 1, 38, "expected PRECEDING or FOLLOWING after UNBOUNDED",
       "tkIdent 'CURRENT'"},
      {"SELECT a WINDOW w AS (ROWS CURRENT)", 1, 35, "expected row", "tkRParen ')'"},
      {"SELECT a WINDOW w AS (ROWS CURRENT rows)", 1, 36, "expected row", "tkRows 'rows'"},
      // The offset is read before it is checked, so the error names the
      // token after it.
      {"SELECT a WINDOW w AS (ROWS BETWEEN 18446744073709551616 PRECEDING AND CURRENT ROW)", 1, 57,
       "window frame offset exceeds unsigned 64-bit range", "tkIdent 'PRECEDING'"},
      {"SELECT a WINDOW w AS (ROWS 5)", 1, 29, "expected PRECEDING or FOLLOWING after window frame offset",
       "tkRParen ')'"},
      {"SELECT a WINDOW w AS (ROWS 5 ROWS)", 1, 30, "expected PRECEDING or FOLLOWING after window frame offset",
       "tkRows 'ROWS'"},
      {"SELECT a WINDOW w AS (ROWS BETWEEN 1 PRECEDING 2 FOLLOWING)", 1, 48, "expected tkAnd", "tkInteger '2'"},
  };
  expectErrors(cases);
}

}  // namespace
}  // namespace vellum_test
