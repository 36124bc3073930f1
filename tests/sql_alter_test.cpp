// ALTER TABLE, ALTER SEQUENCE and CREATE CONTINUOUS AGGREGATE: trees, spans
// and every message of their grammar, with positions.
#include <string>

#include <gtest/gtest.h>

#include "sql_test_helpers.h"

namespace vellum_test {
namespace {

TEST(SqlAlter, AlterTrees) {
  static const TreeCase cases[] = {
      {"ALTER TABLE IF EXISTS t ADD COLUMN IF NOT EXISTS c INT NOT NULL",
       "(AlterTable \"IF EXISTS\" t (AlterAddColumn \"IF NOT EXISTS\" (ColumnDef c (TypeName INT) (Constraint :subkind=\"NOT NULL\" \"NOT NULL\"))))"},
      {"ALTER TABLE t ADD c VARCHAR(10) DEFAULT 'x'",
       "(AlterTable t (AlterAddColumn (ColumnDef c (TypeName VARCHAR 10) (Constraint :subkind=DEFAULT DEFAULT 'x'))))"},
      {"ALTER TABLE t ALTER COLUMN c SET DATA TYPE BIGINT",
       "(AlterTable t (AlterColumn c (AlterSetDataType (TypeName BIGINT))))"},
      {"ALTER TABLE t ALTER c TYPE BIGINT",
       "(AlterTable t (AlterColumn c (AlterSetDataType (TypeName BIGINT))))"},
      {"ALTER TABLE t ALTER c DROP NOT NULL",
       "(AlterTable t (AlterColumn c (AlterDropNotNull)))"},
      {"ALTER TABLE t ALTER c DROP DEFAULT",
       "(AlterTable t (AlterColumn c (AlterDropDefault)))"},
      {"ALTER TABLE t ALTER c SET NOT NULL",
       "(AlterTable t (AlterColumn c (AlterSetNotNull)))"},
      {"ALTER TABLE t ALTER COLUMN c SET DEFAULT now()",
       "(AlterTable t (AlterColumn c (AlterSetDefault (FunctionCall now))))"},
      {"ALTER TABLE t RENAME TO u",
       "(AlterTable t (AlterRenameTable u))"},
      {"ALTER TABLE t RENAME COLUMN a TO b",
       "(AlterTable t (AlterRenameColumn a b))"},
      {"ALTER TABLE t DROP COLUMN IF EXISTS c",
       "(AlterTable t (AlterDropColumn \"IF EXISTS\" c))"},
      {"ALTER TABLE t DROP c",
       "(AlterTable t (AlterDropColumn c))"},
      {"ALTER TABLE \"IF EXISTS\" DROP c",
       "(AlterTable \"IF EXISTS\" (AlterDropColumn c))"},
      {"ALTER SEQUENCE s RESTART WITH 100 INCREMENT 5",
       "(AlterSequence :seq=[\"RESTART=100\" \"INCREMENT=5\"] s)"},
      {"ALTER SEQUENCE IF EXISTS s",
       "(AlterSequence \"IF EXISTS\" s)"},
      {"ALTER SEQUENCE s; ALTER TABLE t DROP c",
       "(AlterSequence s) ; (AlterTable t (AlterDropColumn c))"},
  };
  expectTrees(cases);
}

TEST(SqlAlter, AlterSpans) {
  // Actions and their markers have no span of their own: they take the
  // statement's, which is the ALTER token.
  static const TreeCase cases[] = {
      {"ALTER TABLE IF EXISTS t ADD COLUMN IF NOT EXISTS c INT NOT NULL",
       "(AlterTable@1:1-1:5 \"IF EXISTS\"@1:1-1:5 t@1:23-1:23 (AlterAddColumn@1:1-1:5 \"IF NOT EXISTS\"@1:1-1:5 (ColumnDef@1:50-1:50 c (TypeName@1:52-1:54 INT@1:52-1:54) (Constraint@1:56-1:58 :subkind=\"NOT NULL\" \"NOT NULL\"@1:56-1:58))))"},
      {"ALTER TABLE t RENAME COLUMN a TO b",
       "(AlterTable@1:1-1:5 t@1:13-1:13 (AlterRenameColumn@1:1-1:5 a@1:29-1:29 b@1:34-1:34))"},
      {"ALTER SEQUENCE s; ALTER TABLE t DROP c",
       "(AlterSequence@1:1-1:5 s@1:16-1:16) ; (AlterTable@1:19-1:23 t@1:31-1:31 (AlterDropColumn@1:19-1:23 c@1:38-1:38))"},
  };
  expectTrees(cases, true);
}

TEST(SqlAlter, AlterErrors) {
  static const ErrorCase cases[] = {
      {"ALTER TABLE t ALTER c SET NULL", 1, 27, "expected DATA TYPE, DEFAULT, or NOT NULL after SET", "tkNull 'NULL'"},
      {"ALTER TABLE t ADD a INT, ADD b INT", 1, 24, kNoStatement, "tkComma ','"},
      {"ALTER TABLE t RENAME a TO b", 1, 22, "expected tkTo", "tkIdent 'a'"},
      {"ALTER TABLE t ADD CONSTRAINT pk PRIMARY KEY (a)", 1, 19, "expected column name", "tkConstraint 'CONSTRAINT'"},
      {"ALTER TABLE t", 1, 14, "expected ADD, DROP, RENAME, or ALTER action", "tkEof ''"},
      {"ALTER VIEW v", 1, 7, "expected tkTable", "tkIdent 'VIEW'"},
      {"ALTER TABLE t ALTER c", 1, 22, "expected TYPE, SET, or DROP after ALTER COLUMN", "tkEof ''"},
      {"ALTER TABLE t ALTER c DROP x", 1, 28, "expected DEFAULT or NOT NULL after DROP", "tkIdent 'x'"},
      {"ALTER TABLE t ALTER c SET DATA x", 1, 32, "expected type", "tkIdent 'x'"},
      {"ALTER TABLE t ALTER c SET NOT x", 1, 31, "expected tkNull", "tkIdent 'x'"},
      {"ALTER TABLE t RENAME COLUMN a b", 1, 31, "expected tkTo", "tkIdent 'b'"},
      {"ALTER TABLE t RENAME TO", 1, 24, "expected new table name", "tkEof ''"},
      {"ALTER TABLE IF t", 1, 16, "expected tkExists", "tkIdent 't'"},
      {"ALTER SEQUENCE s NO x", 1, 21, "expected CYCLE, MINVALUE, or MAXVALUE after NO", "tkIdent 'x'"},
      {"ALTER SEQUENCE 5", 1, 16, "expected sequence name", "tkInteger '5'"},
      {"ALTER TABLE t DROP COLUMN IF x", 1, 30, "expected tkExists", "tkIdent 'x'"},
      {"ALTER TABLE t DROP COLUMN", 1, 26, "expected column name", "tkEof ''"},
      {"ALTER TABLE t RENAME COLUMN a TO 5", 1, 34, "expected new column name", "tkInteger '5'"},
      {"ALTER TABLE 5 DROP c", 1, 13, "expected table name", "tkInteger '5'"},
      {"ALTER TABLE t ADD COLUMN IF NOT x INT", 1, 33, "expected tkExists", "tkIdent 'x'"},
      {"ALTER TABLE t ALTER COLUMN 5 TYPE INT", 1, 28, "expected column name", "tkInteger '5'"},
      {"ALTER TABLE t ALTER c SET DEFAULT", 1, 34, "unexpected token in expression", "tkEof ''"},
  };
  expectErrors(cases);
}

TEST(SqlAlter, ContinuousAggregateTrees) {
  // Set operations, ORDER BY and LIMIT belong to the query; only the root
  // body's FROM and GROUP BY are checked, so a ROLLUP behind UNION passes.
  // The clauses refused before writing (alias column lists, table functions)
  // pass the grammar. Option keys keep the case they were written in.
  static const TreeCase cases[] = {
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT bucket, avg(v) FROM cpu c GROUP BY bucket WITH (retention = '30d', refresh_interval = '1m')",
       "(CreateContinuousAggregate m (Select (ExprList bucket (FunctionCall avg v)) (FromClause (Alias c cpu)) (GroupByClause bucket)) (WithOptions (IndexOption retention '30d') (IndexOption refresh_interval '1m')))"},
      {"create continuous aggregate m as select a from t union select b from u order by 1 limit 2 with (RETENTION = '1d', Refresh_Interval = '1h');",
       "(CreateContinuousAggregate m (Select (ExprList a) (FromClause t) (SetOperation soUnion (Select (ExprList b) (FromClause u))) (OrderByClause 1) (LimitClause 2)) (WithOptions (IndexOption RETENTION '1d') (IndexOption Refresh_Interval '1h')))"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '1d', refresh_interval = '1h'); SELECT 1",
       "(CreateContinuousAggregate m (Select (ExprList a) (FromClause t)) (WithOptions (IndexOption retention '1d') (IndexOption refresh_interval '1h'))) ; (Select (ExprList 1))"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t x(a, b) WHERE (SELECT 1 FROM f(1), g) > 0 WITH (retention = '1d', refresh_interval = '1h')",
       "(CreateContinuousAggregate m (Select (ExprList a) (FromClause (Alias x [a b] t)) (WhereClause (BinaryOp opGt (ScalarSubquery (Select (ExprList 1) (FromClause (Join jkCross (FromFunction f 1) g _)))) 0))) (WithOptions (IndexOption retention '1d') (IndexOption refresh_interval '1h')))"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t GROUP BY a UNION SELECT a FROM u GROUP BY ROLLUP (a) WITH (retention = '1d', refresh_interval = '1h')",
       "(CreateContinuousAggregate m (Select (ExprList a) (FromClause t) (GroupByClause a) (SetOperation soUnion (Select (ExprList a) (FromClause u) (GroupByClause (Rollup a))))) (WithOptions (IndexOption retention '1d') (IndexOption refresh_interval '1h')))"},
      {"CREATE \"continuous\" AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', refresh_interval = '1m')",
       "(CreateContinuousAggregate m (Select (ExprList a) (FromClause t)) (WithOptions (IndexOption retention '30d') (IndexOption refresh_interval '1m')))"},
  };
  expectTrees(cases);
}

TEST(SqlAlter, ContinuousAggregateSpans) {
  // The statement runs from CREATE to the options' ")", the query from
  // SELECT to its last token, each option from its key to its value.
  static const TreeCase cases[] = {
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT bucket, avg(v) FROM cpu c GROUP BY bucket WITH (retention = '30d', refresh_interval = '1m')",
       "(CreateContinuousAggregate@1:1-1:131 m@1:29-1:29 (Select@1:34-1:81 (ExprList@1:34-1:81 bucket@1:41-1:46 (FunctionCall@1:49-1:51 avg@1:49-1:51 v@1:53-1:53)) (FromClause@1:61-1:63 (Alias@1:65-1:65 c cpu@1:61-1:63)) (GroupByClause@1:34-1:81 bucket@1:76-1:81)) (WithOptions@1:83-1:131 (IndexOption@1:89-1:105 retention@1:89-1:97 '30d'@1:101-1:105) (IndexOption@1:108-1:130 refresh_interval@1:108-1:123 '1m'@1:127-1:130)))"},
      {"create continuous aggregate m as select a from t union select b from u order by 1 limit 2 with (RETENTION = '1d', Refresh_Interval = '1h');",
       "(CreateContinuousAggregate@1:1-1:138 m@1:29-1:29 (Select@1:34-1:89 (ExprList@1:34-1:89 a@1:41-1:41) (FromClause@1:48-1:48 t@1:48-1:48) (SetOperation@1:50-1:54 soUnion (Select@1:56-1:61 (ExprList@1:56-1:61 b@1:63-1:63) (FromClause@1:70-1:70 u@1:70-1:70))) (OrderByClause@1:34-1:89 1@1:81-1:81) (LimitClause@1:34-1:89 2@1:89-1:89)) (WithOptions@1:91-1:138 (IndexOption@1:97-1:112 RETENTION@1:97-1:105 '1d'@1:109-1:112) (IndexOption@1:115-1:137 Refresh_Interval@1:115-1:130 '1h'@1:134-1:137)))"},
  };
  expectTrees(cases, true);
}

TEST(SqlAlter, ContinuousAggregateErrors) {
  static const ErrorCase cases[] = {
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (refresh_interval = '1m', retention = '30d')", 1, 56, "expected continuous aggregate option retention", "tkIdent 'refresh_interval'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '', refresh_interval = '1m')", 1, 68, "continuous aggregate option retention requires a non-empty duration string", "tkString ''"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = 30, refresh_interval = '1m')", 1, 68, "continuous aggregate option retention requires a string duration", "tkInteger '30'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', refresh_interval = 1)", 1, 94, "continuous aggregate option refresh_interval requires a string duration", "tkInteger '1'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', refresh_interval = '')", 1, 94, "continuous aggregate option refresh_interval requires a non-empty duration string", "tkString ''"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d')", 1, 73, "missing continuous aggregate option refresh_interval", "tkRParen ')'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d' refresh_interval = '1m')", 1, 74, "missing continuous aggregate option refresh_interval", "tkIdent 'refresh_interval'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', refresh_interval = '1m',)", 1, 99, "unexpected trailing comma in continuous aggregate options", "tkRParen ')'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', refresh_interval = '1m', retention = '1d')", 1, 100, "duplicate continuous aggregate option retention", "tkIdent 'retention'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', refresh_interval = '1m', REFRESH_INTERVAL = '1d')", 1, 100, "duplicate continuous aggregate option REFRESH_INTERVAL", "tkIdent 'REFRESH_INTERVAL'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', refresh_interval = '1m', other = '1d')", 1, 100, "unknown continuous aggregate option other", "tkIdent 'other'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', refresh_interval = '1m', 5)", 1, 100, "expected continuous aggregate option", "tkInteger '5'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', refresh_interval = '1m'", 1, 98, "expected tkRParen", "tkEof ''"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', retention = '1m')", 1, 75, "duplicate continuous aggregate option retention", "tkIdent 'retention'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', other = '1m')", 1, 75, "unknown continuous aggregate option other", "tkIdent 'other'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', 'x' = '1m')", 1, 75, "expected continuous aggregate option refresh_interval", "tkString 'x'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', )", 1, 75, "missing continuous aggregate option refresh_interval", "tkRParen ')'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH ()", 1, 56, "missing continuous aggregate option retention", "tkRParen ')'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (1)", 1, 56, "expected continuous aggregate option retention", "tkInteger '1'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (ttl = '1d')", 1, 56, "unknown continuous aggregate option ttl", "tkIdent 'ttl'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention '1d')", 1, 66, "expected tkEq", "tkString '1d'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH retention = '1d'", 1, 55, "expected tkLParen", "tkIdent 'retention'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', refresh_interval = '1m') LIMIT 1", 1, 100, "unexpected token after continuous aggregate options", "tkLimit 'LIMIT'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', refresh_interval = '1m') SELECT 1", 1, 100, "unexpected token after continuous aggregate options", "tkSelect 'SELECT'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t", 1, 49, "expected WITH options after continuous aggregate SELECT", "tkEof ''"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t ;", 1, 50, "expected WITH options after continuous aggregate SELECT", "tkSemicolon ';'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM a JOIN b ON x WITH (retention = '30d', refresh_interval = '1m')", 1, 62, "continuous aggregate query requires one source measurement", "tkWith 'WITH'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM (SELECT 1) s WITH (retention = '30d', refresh_interval = '1m')", 1, 61, "continuous aggregate query requires one source measurement", "tkWith 'WITH'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM a, b WITH (retention = '30d', refresh_interval = '1m')", 1, 53, "continuous aggregate query requires one source measurement", "tkWith 'WITH'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM generate_series(1, 2) WITH (retention = '30d', refresh_interval = '1m')", 1, 70, "continuous aggregate query requires one source measurement", "tkWith 'WITH'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT 1 WITH (retention = '30d', refresh_interval = '1m')", 1, 43, "continuous aggregate query requires one source measurement", "tkWith 'WITH'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t GROUP BY ROLLUP (a) WITH (retention = '30d', refresh_interval = '1m')", 1, 70, "continuous aggregate queries do not support GROUPING SETS, ROLLUP, or CUBE", "tkWith 'WITH'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t GROUP BY a, CUBE (a) WITH (retention = '30d', refresh_interval = '1m')", 1, 71, "continuous aggregate queries do not support GROUPING SETS, ROLLUP, or CUBE", "tkWith 'WITH'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t GROUP BY GROUPING SETS ((a)) WITH (retention = '30d', refresh_interval = '1m')", 1, 79, "continuous aggregate queries do not support GROUPING SETS, ROLLUP, or CUBE", "tkWith 'WITH'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t GROUP BY () WITH (retention = '30d', refresh_interval = '1m')", 1, 62, "continuous aggregate queries do not support GROUPING SETS, ROLLUP, or CUBE", "tkWith 'WITH'"},
      {"CREATE CONTINUOUS AGGREGATE m AS WITH x AS (SELECT 1) SELECT a FROM t", 1, 34, "expected SELECT query after AS", "tkWith 'WITH'"},
      {"CREATE CONTINUOUS AGGREGATE m AS VALUES (1)", 1, 34, "expected SELECT query after AS", "tkValues 'VALUES'"},
      {"CREATE CONTINUOUS AGGREGATE m SELECT a", 1, 31, "expected tkAs", "tkSelect 'SELECT'"},
      {"CREATE CONTINUOUS AGGREGATE 5 AS SELECT a", 1, 29, "expected continuous aggregate name", "tkInteger '5'"},
      {"CREATE CONTINUOUS VIEW m", 1, 19, "expected AGGREGATE", "tkIdent 'VIEW'"},
      {"CREATE CONTINUOUSLY AGGREGATE m", 1, 8, "expected TABLE, VIEW, INDEX, SEQUENCE, or CONTINUOUS AGGREGATE after CREATE", "tkIdent 'CONTINUOUSLY'"},
      {"CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '30d', refresh_interval = '1m')SELECT 1", 1, 99, "unexpected token after continuous aggregate options", "tkSelect 'SELECT'"},
  };
  expectErrors(cases);
}

TEST(SqlAlter, ContinuousAggregateWordsAreCheckedByTheRuleItself) {
  // The CREATE dispatch calls the rule only at the word `continuous`; the
  // rule checks both words on its own.
  struct Case {
    const char* text;
    std::string error;
  };
  const Case cases[] = {{"CREATE x", parseError(1, 8, "expected CONTINUOUS", "tkIdent 'x'")},
                        {"CREATE continuous", parseError(1, 18, "expected AGGREGATE", "tkEof ''")}};
  for (const Case& c : cases) {
    vellum::Arena arena;
    vellum::sql::Parser parser(c.text, arena);
    vellum::sql::Token create = parser.advance();
    try {
      parser.parseCreateContinuousAggregate(create);
      ADD_FAILURE() << c.text;
    } catch (const vellum::ParseError& e) {
      EXPECT_EQ(e.message(), c.error);
    }
  }
}

TEST(SqlAlter, ContinuousAggregateTakesOneNestingLevel) {
  auto aggregate = [](std::size_t parens) {
    return "CREATE CONTINUOUS AGGREGATE m AS SELECT " + repeat("(", parens) + "a" + repeat(")", parens) +
           " FROM t WITH (retention = '1d', refresh_interval = '1h')";
  };
  EXPECT_EQ(errorOf(aggregate(127)).rfind("parsed: (CreateContinuousAggregate m", 0), 0u);
  EXPECT_EQ(errorOf(aggregate(128)), kNestingMessage);
  EXPECT_EQ(errorOf("SELECT " + repeat("(", 128) + "a" + repeat(")", 128)).rfind("parsed: ", 0), 0u);
}

}  // namespace
}  // namespace vellum_test
