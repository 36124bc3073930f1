// The DML grammar: INSERT with ON CONFLICT, UPDATE, DELETE, MERGE, COPY and
// RETURNING, as tree dumps (with spans where the back-fill matters) and as
// positioned errors.
#include <gtest/gtest.h>

#include "sql_test_helpers.h"
#include "support/threads.h"

namespace vellum_test {
namespace {

TEST(SqlDml, Insert) {
  static const TreeCase cases[] = {
      // VALUES rows are children of the insert itself.
      {"INSERT INTO t VALUES (1, 2), (3, 4)", "(Insert t (ExprList 1 2) (ExprList 3 4))"},
      {"INSERT INTO t (a, b) SELECT 1, 2", "(Insert t (ColumnList a b) (Select (ExprList 1 2)))"},
      {"insert into t with q as (select 1) select * from q",
       "(Insert t (Select (WithClause (CommonTableExpr q (Select (ExprList 1)))) (ExprList *) (FromClause q)))"},
      {"INSERT INTO t SELECT 1 UNION SELECT 2 ORDER BY 1 LIMIT 1",
       "(Insert t (Select (ExprList 1) (SetOperation soUnion (Select (ExprList 2))) (OrderByClause 1) (LimitClause 1)))"},
      {"INSERT INTO \"My T\" (\"A\") VALUES ('x' || ?)", "(Insert \"My T\" (ColumnList A) (ExprList (BinaryOp opStringConcat 'x' ?1)))"},
      {"INSERT INTO t VALUES (1) ON CONFLICT (a, b) DO UPDATE SET x = 1 WHERE y RETURNING *",
       "(Insert t (ExprList 1) (OnConflict :detail=UPDATE :columns=[a b] (ExprList (BinaryOp opEq x 1)) (WhereClause y)) "
       "(ReturningClause *))"},
      {"INSERT INTO t VALUES (1) ON CONFLICT ON CONSTRAINT pk DO NOTHING",
       "(Insert t (ExprList 1) (OnConflict :detail=NOTHING :constraint=pk))"},
      {"insert into t values (1) on Conflict do Nothing", "(Insert t (ExprList 1) (OnConflict :detail=NOTHING))"},
      {"INSERT INTO t SELECT * FROM u ON CONFLICT (id) DO UPDATE SET a = u.a, b = 2",
       "(Insert t (Select (ExprList *) (FromClause u)) (OnConflict :detail=UPDATE :columns=[id] "
       "(ExprList (BinaryOp opEq a (ColumnRef u a)) (BinaryOp opEq b 2))))"},
      {"INSERT INTO t VALUES (1) RETURNING id, a AS x, b y, t.*",
       "(Insert t (ExprList 1) (ReturningClause id (Alias x a) (Alias y b) (QualifiedStar t)))"},
      // Parameters count per statement; no separator is needed.
      {"INSERT INTO t VALUES (?, ?) RETURNING ? INSERT INTO t VALUES (?)",
       "(Insert t (ExprList ?1 ?2) (ReturningClause ?3)) ; (Insert t (ExprList ?1))"},
      {"EXPLAIN ANALYZE INSERT INTO t VALUES (?)", "(Explain :analyze :format=Text (Insert t (ExprList ?1)))"},
  };
  expectTrees(cases);
}

TEST(SqlDml, UpdateAndDelete) {
  static const TreeCase cases[] = {
      {"UPDATE t SET a = 1, b = b + 1 FROM u WHERE t.id = u.id RETURNING a AS x",
       "(Update t (ExprList (BinaryOp opEq a 1) (BinaryOp opEq b (BinaryOp opAdd b 1))) (FromClause u) "
       "(WhereClause (BinaryOp opEq (ColumnRef t id) (ColumnRef u id))) (ReturningClause (Alias x a)))"},
      {"UPDATE t SET a = NULL", "(Update t (ExprList (BinaryOp opEq a NULL)))"},
      {"UPDATE t SET a = 1 FROM u JOIN v ON u.id = v.id, w WHERE a",
       "(Update t (ExprList (BinaryOp opEq a 1)) (FromClause (Join jkCross (Join jkInner u v (BinaryOp opEq "
       "(ColumnRef u id) (ColumnRef v id))) w _)) (WhereClause a))"},
      {"DELETE FROM t", "(Delete t)"},
      {"DELETE FROM t USING u WHERE t.id = u.id",
       "(Delete t (FromClause u) (WhereClause (BinaryOp opEq (ColumnRef t id) (ColumnRef u id))))"},
      {"delete from t where a > ? returning *", "(Delete t (WhereClause (BinaryOp opGt a ?1)) (ReturningClause *))"},
      {"EXPLAIN DELETE FROM t; UPDATE t SET a = ?",
       "(Explain :format=Text (Delete t)) ; (Update t (ExprList (BinaryOp opEq a ?1)))"},
  };
  expectTrees(cases);
}

TEST(SqlDml, Merge) {
  static const TreeCase cases[] = {
      {"MERGE INTO t AS x USING (SELECT 1) AS s ON true WHEN MATCHED AND x.a > 0 THEN UPDATE SET a = 1 "
       "WHEN NOT MATCHED THEN INSERT (a) VALUES (1)",
       "(Merge (Alias x t) (Alias s (FromDerived (Select (ExprList 1)))) true "
       "(MergeWhen :subkind=MATCHED :detail=UPDATE (ExprList (BinaryOp opEq a 1)) extra: (BinaryOp opGt (ColumnRef x a) 0)) "
       "(MergeWhen :subkind=\"NOT MATCHED\" :detail=INSERT (ColumnList a) (ExprList 1)))"},
      {"merge into t using s on t.id = s.id when matched then delete when not matched then do nothing returning *",
       "(Merge t s (BinaryOp opEq (ColumnRef t id) (ColumnRef s id)) (MergeWhen :subkind=MATCHED :detail=DELETE) "
       "(MergeWhen :subkind=\"NOT MATCHED\" :detail=NOTHING) (ReturningClause *))"},
      // The action is not compared with the matched text.
      {"MERGE INTO t USING s ON x WHEN MATCHED THEN INSERT VALUES (1, ?) WHEN NOT MATCHED THEN DELETE",
       "(Merge t s x (MergeWhen :subkind=MATCHED :detail=INSERT (ExprList 1 ?1)) "
       "(MergeWhen :subkind=\"NOT MATCHED\" :detail=DELETE))"},
      {"MERGE INTO s.t USING f(1) AS g ON x WHEN MATCHED THEN DELETE",
       "(Merge s.t (Alias g (FromFunction f 1)) x (MergeWhen :subkind=MATCHED :detail=DELETE))"},
      {"EXPLAIN MERGE INTO t USING s ON x WHEN MATCHED THEN DELETE",
       "(Explain :format=Text (Merge t s x (MergeWhen :subkind=MATCHED :detail=DELETE)))"},
  };
  expectTrees(cases);
}

TEST(SqlDml, Copy) {
  static const TreeCase cases[] = {
      {"COPY t (a, b) FROM 'data.csv' WITH (FORMAT csv, HEADER, DELIMITER ';')",
       "(Copy :detail=data.csv :columns=[a b] :dir=FROM :target=FILE :copyformat=CSV "
       ":options=[\"FORMAT=CSV\" \"HEADER=TRUE\" \"DELIMITER=;\"] t)"},
      {"COPY (SELECT 1) TO STDOUT", "(Copy :dir=TO :target=STDOUT (Select (ExprList 1)))"},
      {"copy t to stdin", "(Copy :dir=TO :target=STDIN t)"},
      {"COPY (VALUES (1)) FROM 'in.csv'", "(Copy :detail=in.csv :dir=FROM :target=FILE (Values (ExprList 1)))"},
      {"COPY (WITH q AS (SELECT 1) SELECT * FROM q) TO 'o''k.csv'",
       "(Copy :detail=\"o'k.csv\" :dir=TO :target=FILE (Select (WithClause (CommonTableExpr q (Select (ExprList 1)))) "
       "(ExprList *) (FromClause q)))"},
      // WITH alone is accepted; options need no WITH.
      {"COPY t FROM STDIN WITH", "(Copy :dir=FROM :target=STDIN t)"},
      // The last FORMAT wins; every option stays. Values are one token of
      // any kind, upper-cased in ASCII letters only.
      {"COPY t FROM STDIN (format csv, Format 'text', FORMAT binary, encoding 'utf-8', n 1.5, q 'é', h true, x -)",
       "(Copy :dir=FROM :target=STDIN :copyformat=BINARY :options=[\"FORMAT=CSV\" \"FORMAT=TEXT\" \"FORMAT=BINARY\" "
       "\"ENCODING=UTF-8\" \"N=1.5\" \"Q=é\" \"H=TRUE\" \"X=-\"] t)"},
      {"EXPLAIN COPY t TO STDOUT", "(Explain :format=Text (Copy :dir=TO :target=STDOUT t))"},
  };
  expectTrees(cases);
}

// Column lists, rows, SET lists, assignments and WHERE clauses take their
// parent's span; a MERGE branch condition keeps the spans it was built with.
TEST(SqlDml, SpanBackfill) {
  static const TreeCase cases[] = {
      {"INSERT INTO t (a)\n  VALUES (1), (2)",
       "(Insert@1:1-1:6 t@1:13-1:13 (ColumnList@1:1-1:6 a@1:1-1:6) (ExprList@1:1-1:6 1@2:11-2:11) "
       "(ExprList@1:1-1:6 2@2:16-2:16))"},
      {"INSERT INTO t SELECT 1 ON CONFLICT (a) DO UPDATE SET a = 2 WHERE a > 0 RETURNING a",
       "(Insert@1:1-1:6 t@1:13-1:13 (Select@1:15-1:20 (ExprList@1:15-1:20 1@1:22-1:22)) (OnConflict@1:24-1:25 "
       ":detail=UPDATE :columns=[a] (ExprList@1:24-1:25 (BinaryOp@1:24-1:25 opEq a@1:54-1:54 2@1:58-1:58)) "
       "(WhereClause@1:24-1:25 (BinaryOp@1:24-1:25 opGt a@1:66-1:66 0@1:70-1:70))) "
       "(ReturningClause@1:72-1:80 a@1:82-1:82))"},
      {"UPDATE t SET a = 1 WHERE b",
       "(Update@1:1-1:6 t@1:8-1:8 (ExprList@1:1-1:6 (BinaryOp@1:1-1:6 opEq a@1:14-1:14 1@1:18-1:18)) "
       "(WhereClause@1:1-1:6 b@1:26-1:26))"},
      {"DELETE FROM t USING u JOIN v ON x",
       "(Delete@1:1-1:6 t@1:13-1:13 (FromClause@1:21-1:21 (Join@1:21-1:21 jkInner u@1:21-1:21 v@1:28-1:28 "
       "x@1:33-1:33)))"},
      {"MERGE INTO t USING s ON x\nWHEN MATCHED AND a + 1 > 0 THEN UPDATE SET a = 1\n"
       "WHEN NOT MATCHED THEN INSERT (a) VALUES (1)",
       "(Merge@1:1-1:5 t@1:12-1:12 s@1:20-1:20 x@1:25-1:25 (MergeWhen@2:1-2:4 :subkind=MATCHED :detail=UPDATE "
       "(ExprList@2:1-2:4 (BinaryOp@2:1-2:4 opEq a@2:44-2:44 1@2:48-2:48)) extra: (BinaryOp@0:0-0:0 opGt "
       "(BinaryOp@0:0-0:0 opAdd a@2:18-2:18 1@2:22-2:22) 0@2:26-2:26)) (MergeWhen@3:1-3:4 :subkind=\"NOT MATCHED\" "
       ":detail=INSERT (ColumnList@3:1-3:4 a@3:1-3:4) (ExprList@3:1-3:4 1@3:42-3:42)))"},
      {"COPY t FROM STDIN", "(Copy@1:1-1:4 :dir=FROM :target=STDIN t@1:6-1:6)"},
      // EXPLAIN ends where the explained statement's span ends: here its
      // keyword.
      {"EXPLAIN UPDATE t SET a = 1",
       "(Explain@1:1-1:14 :format=Text (Update@1:9-1:14 t@1:16-1:16 (ExprList@1:9-1:14 "
       "(BinaryOp@1:9-1:14 opEq a@1:22-1:22 1@1:26-1:26))))"},
  };
  expectTrees(cases, true);
}

TEST(SqlDml, InsertFailures) {
  static const ErrorCase cases[] = {
      {"INSERT t VALUES (1)", 1, 8, "expected tkInto", "tkIdent 't'"},
      {"INSERT INTO VALUES (1)", 1, 13, "expected table name", "tkValues 'VALUES'"},
      {"INSERT INTO t DEFAULT VALUES", 1, 15, "expected tkValues", "tkDefault 'DEFAULT'"},
      {"INSERT INTO t (a) (SELECT 1)", 1, 19, "expected tkValues", "tkLParen '('"},
      {"INSERT INTO t (SELECT 1)", 1, 16, "expected column name", "tkSelect 'SELECT'"},
      {"INSERT INTO t (a, ) VALUES (1)", 1, 19, "expected column name", "tkRParen ')'"},
      {"INSERT INTO t (a b) VALUES (1)", 1, 18, "expected tkRParen", "tkIdent 'b'"},
      {"INSERT INTO s.t VALUES (1)", 1, 14, "expected tkValues", "tkDot '.'"},
      {"INSERT INTO t VALUES ()", 1, 23, "unexpected token in expression", "tkRParen ')'"},
      {"INSERT INTO t VALUES (1), ", 1, 27, "expected tkLParen", "tkEof ''"},
      // An ON without CONFLICT is left to start the next statement.
      {"INSERT INTO t VALUES (1) ON c", 1, 26, kNoStatement, "tkOn 'ON'"},
      {"INSERT INTO t VALUES (1) ON CONFLICT DO SOMETHING", 1, 41, "expected NOTHING or UPDATE after ON CONFLICT DO",
       "tkIdent 'SOMETHING'"},
      {"INSERT INTO t VALUES (1) ON CONFLICT (a) NOTHING", 1, 42, "expected DO", "tkIdent 'NOTHING'"},
      {"INSERT INTO t VALUES (1) ON CONFLICT () DO NOTHING", 1, 39, "expected conflict target column", "tkRParen ')'"},
      {"INSERT INTO t VALUES (1) ON CONFLICT (lower(a)) DO NOTHING", 1, 44, "expected tkRParen", "tkLParen '('"},
      {"INSERT INTO t VALUES (1) ON CONFLICT ON pk DO NOTHING", 1, 41, "expected tkConstraint", "tkIdent 'pk'"},
      {"INSERT INTO t VALUES (1) ON CONFLICT ON CONSTRAINT (pk) DO NOTHING", 1, 52,
       "expected conflict constraint name", "tkLParen '('"},
      {"INSERT INTO t VALUES (1) ON CONFLICT DO UPDATE x = 1", 1, 48, "expected tkSet", "tkIdent 'x'"},
      {"INSERT INTO t VALUES (1) ON CONFLICT DO UPDATE SET (a, b) = (1, 2)", 1, 52, "expected column name",
       "tkLParen '('"},
      {"INSERT INTO t VALUES (1) ON CONFLICT DO UPDATE SET a 1", 1, 54, "expected tkEq", "tkInteger '1'"},
      {"INSERT INTO t VALUES (1) RETURNING", 1, 35, "unexpected token in expression", "tkEof ''"},
      // After a query source, RETURNING is an implicit alias of the last
      // select item or FROM item.
      {"INSERT INTO t SELECT 1 RETURNING 2", 1, 34, kNoStatement, "tkInteger '2'"},
  };
  expectErrors(cases);
}

TEST(SqlDml, UpdateDeleteFailures) {
  static const ErrorCase cases[] = {
      {"UPDATE SET a = 1", 1, 8, "expected table name", "tkSet 'SET'"},
      {"UPDATE t a = 1", 1, 10, "expected tkSet", "tkIdent 'a'"},
      {"UPDATE t AS x SET a = 1", 1, 10, "expected tkSet", "tkAs 'AS'"},
      {"UPDATE t SET t.a = 1", 1, 15, "expected tkEq", "tkDot '.'"},
      {"UPDATE t SET a = 1,", 1, 20, "expected column name", "tkEof ''"},
      {"UPDATE t SET a = 1 WHERE", 1, 25, "unexpected token in expression", "tkEof ''"},
      {"UPDATE t SET a = 1 FROM", 1, 24, "expected table name", "tkEof ''"},
      {"DELETE t", 1, 8, "expected tkFrom", "tkIdent 't'"},
      {"DELETE FROM", 1, 12, "expected table name", "tkEof ''"},
      {"DELETE FROM t USING", 1, 20, "expected table name", "tkEof ''"},
  };
  expectErrors(cases);
}

TEST(SqlDml, MergeFailures) {
  static const ErrorCase cases[] = {
      {"MERGE t USING s ON x WHEN MATCHED THEN DELETE", 1, 7, "expected tkInto", "tkIdent 't'"},
      {"MERGE INTO t USING s ON t.id = s.id", 1, 36, "MERGE requires at least one WHEN clause", "tkEof ''"},
      {"MERGE INTO t USING s ON x RETURNING *", 1, 27, "MERGE requires at least one WHEN clause",
       "tkIdent 'RETURNING'"},
      {"MERGE INTO t s ON x", 1, 16, "expected tkUsing", "tkOn 'ON'"},
      {"MERGE INTO t USING s WHEN MATCHED THEN DELETE", 1, 22, "expected tkOn", "tkWhen 'WHEN'"},
      {"MERGE INTO (t) USING s ON x WHEN MATCHED THEN DELETE", 1, 13,
       "expected SELECT, VALUES, or WITH in FROM derived table", "tkIdent 't'"},
      {"MERGE INTO t USING s ON x WHEN MATCH THEN DELETE", 1, 32, "expected MATCHED", "tkIdent 'MATCH'"},
      {"MERGE INTO t USING s ON x WHEN NOT THEN DELETE", 1, 36, "expected MATCHED", "tkThen 'THEN'"},
      {"MERGE INTO t USING s ON x WHEN MATCHED DELETE", 1, 40, "expected tkThen", "tkDelete 'DELETE'"},
      {"MERGE INTO t USING s ON x WHEN MATCHED THEN SELECT", 1, 45,
       "expected UPDATE, DELETE, INSERT, or DO NOTHING in MERGE", "tkSelect 'SELECT'"},
      {"MERGE INTO t USING s ON x WHEN MATCHED THEN skip", 1, 45,
       "expected UPDATE, DELETE, INSERT, or DO NOTHING in MERGE", "tkIdent 'skip'"},
      {"MERGE INTO t USING s ON x WHEN MATCHED THEN DO UPDATE", 1, 48, "expected NOTHING", "tkUpdate 'UPDATE'"},
      {"MERGE INTO t USING s ON x WHEN MATCHED THEN UPDATE a = 1", 1, 52, "expected tkSet", "tkIdent 'a'"},
      {"MERGE INTO t USING s ON x WHEN NOT MATCHED THEN INSERT (a) (1)", 1, 60, "expected tkValues", "tkLParen '('"},
      {"MERGE INTO t USING s ON x WHEN NOT MATCHED THEN INSERT DEFAULT VALUES", 1, 56, "expected tkValues",
       "tkDefault 'DEFAULT'"},
      {"MERGE INTO t USING s ON x WHEN NOT MATCHED THEN INSERT VALUES 1", 1, 63, "expected tkLParen",
       "tkInteger '1'"},
      {"MERGE INTO t USING s ON x WHEN NOT MATCHED THEN INSERT () VALUES (1)", 1, 57, "expected MERGE INSERT column",
       "tkRParen ')'"},
  };
  expectErrors(cases);
}

TEST(SqlDml, CopyFailures) {
  static const ErrorCase cases[] = {
      {"COPY FROM STDIN", 1, 6, "expected COPY table name", "tkFrom 'FROM'"},
      {"COPY (INSERT INTO t VALUES (1)) TO STDOUT", 1, 7, "expected SELECT, VALUES, or WITH query",
       "tkInsert 'INSERT'"},
      {"COPY (SELECT 1 TO STDOUT", 1, 16, "expected tkRParen", "tkTo 'TO'"},
      {"COPY t STDIN", 1, 8, "expected FROM or TO in COPY", "tkIdent 'STDIN'"},
      {"COPY s.t FROM STDIN", 1, 7, "expected FROM or TO in COPY", "tkDot '.'"},
      {"COPY t () FROM STDIN", 1, 9, "expected COPY column", "tkRParen ')'"},
      {"COPY t FROM stdio", 1, 13, "expected file path, STDIN, or STDOUT in COPY", "tkIdent 'stdio'"},
      {"COPY t FROM STDIN (FORMAT csv HEADER)", 1, 31, "expected tkRParen", "tkIdent 'HEADER'"},
      {"COPY t FROM STDIN (NULL 'x')", 1, 20, "expected COPY option", "tkNull 'NULL'"},
      {"COPY t FROM STDIN (FORMAT", 1, 26, "expected tkRParen", "tkEof ''"},
      // Options outside parentheses start the next statement.
      {"COPY t FROM STDIN CSV HEADER", 1, 19, kNoStatement, "tkIdent 'CSV'"},
  };
  expectErrors(cases);
}

// The INSERT source query holds one nesting level: with 127 nested derived
// tables inside it the depth is 128, with 128 it would be 129.
TEST(SqlDml, InsertSourceNesting) {
  auto nested = [](std::size_t levels) {
    return "INSERT INTO t SELECT * FROM " + repeat("(SELECT * FROM ", levels) + "u" + repeat(")", levels);
  };
  std::string deepest;
  runOnThreadWithStack(kOneMiB, [&] { deepest = errorOf(nested(127)); });
  EXPECT_EQ(deepest.rfind("parsed: (Insert t (Select", 0), 0u);
  EXPECT_EQ(errorOf(nested(128)), kNestingMessage);
  EXPECT_EQ(errorOf("INSERT INTO t WITH q AS (SELECT 1) SELECT * FROM " + repeat("(SELECT * FROM ", 128) + "q" +
                    repeat(")", 128)),
            kNestingMessage);
  // VALUES rows hold none: their expressions nest as deep as in a SELECT.
  EXPECT_EQ(errorOf("INSERT INTO t VALUES (" + repeat("(", 128) + "1" + repeat(")", 129)).rfind("parsed: ", 0), 0u);
  EXPECT_EQ(errorOf("INSERT INTO t VALUES (" + repeat("(", 129) + "1" + repeat(")", 130)), kNestingMessage);
}

}  // namespace
}  // namespace vellum_test
