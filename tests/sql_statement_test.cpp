// The statement list, the dispatcher, the span back-fill and the utility
// statements (EXPLAIN, PRAGMA, SHOW, DESCRIBE, transactions).
#include <gtest/gtest.h>

#include <vector>

#include "sql_test_helpers.h"
#include "support/threads.h"

namespace vellum_test {
namespace {

using vellum::Arena;
using namespace vellum::sql;

TEST(SqlStatement, StatementList) {
  static const TreeCase cases[] = {
      {"", ""},
      {"-- only a comment\n/* and another */", ""},
      {";;;", ""},
      {"SELECT 1;;SELECT 2;", "(Select (ExprList 1)) ; (Select (ExprList 2))"},
      // No separator is needed between statements.
      {"SELECT 1 SELECT 2", "(Select (ExprList 1)) ; (Select (ExprList 2))"},
      {"COMMIT BEGIN", "(Commit) ; (Begin)"},
      // Parameters are numbered per statement.
      {"SELECT ?, ?; SELECT ?", "(Select (ExprList ?1 ?2)) ; (Select (ExprList ?1))"},
      {"SELECT ? FROM t WHERE a = ? LIMIT ? SELECT ?",
       "(Select (ExprList ?1) (FromClause t) (WhereClause (BinaryOp opEq a ?2)) (LimitClause ?3)) ; (Select "
       "(ExprList ?1))"},
      // An explained statement shares the count of its EXPLAIN.
      {"EXPLAIN SELECT ?, ?; EXPLAIN SELECT ?",
       "(Explain :format=Text (Select (ExprList ?1 ?2))) ; (Explain :format=Text (Select (ExprList ?1)))"},
  };
  expectTrees(cases);
}

// INSERT, UPDATE, DELETE and the words merge and copy (in any case, quoted
// too) start the DML statements.
TEST(SqlStatement, DispatchesDml) {
  static const TreeCase cases[] = {
      {"INSERT INTO t VALUES (1)", "(Insert t (ExprList 1))"},
      {"UPDATE t SET a = 1", "(Update t (ExprList (BinaryOp opEq a 1)))"},
      {"DELETE FROM t", "(Delete t)"},
      {"SELECT 1; merge into t using u on x when matched then delete",
       "(Select (ExprList 1)) ; (Merge t u x (MergeWhen :subkind=MATCHED :detail=DELETE))"},
      {"COPY t FROM STDIN; \"copy\" t TO STDOUT",
       "(Copy :dir=FROM :target=STDIN t) ; (Copy :dir=TO :target=STDOUT t)"},
  };
  expectTrees(cases);
}

TEST(SqlStatement, DispatcherFailures) {
  static const ErrorCase cases[] = {
      {"SELECT 1 2", 1, 10, kNoStatement, "tkInteger '2'"},
      {"FROM t", 1, 1, kNoStatement, "tkFrom 'FROM'"},
      {")", 1, 1, kNoStatement, "tkRParen ')'"},
      {"SELECT 1;\n  WHERE", 2, 3, kNoStatement, "tkWhere 'WHERE'"},
      {"COMMIT WORK", 1, 8, kNoStatement, "tkIdent 'WORK'"},
  };
  expectErrors(cases);
}

TEST(SqlStatement, Explain) {
  static const TreeCase cases[] = {
      {"EXPLAIN SELECT 1", "(Explain :format=Text (Select (ExprList 1)))"},
      {"EXPLAIN ANALYZE SELECT 1", "(Explain :analyze :format=Text (Select (ExprList 1)))"},
      {"EXPLAIN (FORMAT JSON, ANALYZE) SELECT 1", "(Explain :analyze :format=Json (Select (ExprList 1)))"},
      {"explain analyze (format text) VALUES (1)", "(Explain :analyze :format=Text (Values (ExprList 1)))"},
      {"EXPLAIN (FORMAT JSON) WITH a AS (SELECT 1) SELECT 2",
       "(Explain :format=Json (Select (WithClause (CommonTableExpr a (Select (ExprList 1)))) (ExprList 2)))"},
      // PRAGMA, SHOW and DESCRIBE may be explained.
      {"EXPLAIN SHOW TABLES", "(Explain :format=Text (Pragma show_tables))"},
      {"EXPLAIN DESCRIBE t", "(Explain :format=Text (Pragma describe 't'))"},
      {"EXPLAIN PRAGMA x = 1", "(Explain :format=Text (Pragma x 1))"},
      {"EXPLAIN SELECT 1;; EXPLAIN SELECT 2",
       "(Explain :format=Text (Select (ExprList 1))) ; (Explain :format=Text (Select (ExprList 2)))"},
  };
  expectTrees(cases);
}

TEST(SqlStatement, ExplainFailures) {
  static const ErrorCase cases[] = {
      {"EXPLAIN ANALYZE (ANALYZE) SELECT 1", 1, 18, "duplicate ANALYZE explain option", "tkIdent 'ANALYZE'"},
      {"EXPLAIN (ANALYZE, ANALYZE) SELECT 1", 1, 19, "duplicate ANALYZE explain option", "tkIdent 'ANALYZE'"},
      {"EXPLAIN (FORMAT JSON, FORMAT TEXT) SELECT 1", 1, 23, "duplicate FORMAT explain option", "tkIdent 'FORMAT'"},
      {"EXPLAIN (FORMAT XML) SELECT 1", 1, 17, "expected JSON or TEXT explain format", "tkIdent 'XML'"},
      {"EXPLAIN (VERBOSE) SELECT 1", 1, 10, "expected ANALYZE or FORMAT explain option", "tkIdent 'VERBOSE'"},
      {"EXPLAIN (1) SELECT 1", 1, 10, "expected ANALYZE or FORMAT explain option", "tkInteger '1'"},
      // A `(` after EXPLAIN always opens the option list.
      {"EXPLAIN (SELECT 1)", 1, 10, "expected ANALYZE or FORMAT explain option", "tkSelect 'SELECT'"},
      {"EXPLAIN (ANALYZE SELECT 1", 1, 18, "expected tkRParen", "tkSelect 'SELECT'"},
      {"EXPLAIN", 1, 8, kNoStatement, "tkEof ''"},
      {"EXPLAIN; SELECT 1", 1, 8, kNoStatement, "tkSemicolon ';'"},
      // The check runs after the explained statement and its `;`.
      {"EXPLAIN COMMIT", 1, 15, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement", "tkEof ''"},
      {"EXPLAIN BEGIN; SELECT 1", 1, 16, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement",
       "tkSelect 'SELECT'"},
      {"EXPLAIN ROLLBACK TO s", 1, 22, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement", "tkEof ''"},
      {"EXPLAIN SAVEPOINT s", 1, 20, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement", "tkEof ''"},
      {"EXPLAIN RELEASE s", 1, 18, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement", "tkEof ''"},
      {"EXPLAIN SET TRANSACTION READ ONLY", 1, 34, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement",
       "tkEof ''"},
      {"EXPLAIN ROLLBACK", 1, 17, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement", "tkEof ''"},
      // Explaining an EXPLAIN fails once the inner one is complete: after the
      // innermost statement with its `;` and the `;` after each inner EXPLAIN.
      {"EXPLAIN EXPLAIN SELECT 1", 1, 25, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement", "tkEof ''"},
      {"EXPLAIN EXPLAIN SELECT 1; SELECT 2", 1, 27, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement",
       "tkSelect 'SELECT'"},
      {"EXPLAIN EXPLAIN SELECT 1;; SELECT 2", 1, 28, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement",
       "tkSelect 'SELECT'"},
      {"EXPLAIN EXPLAIN SELECT 1;;; SELECT 2", 1, 27, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement",
       "tkSemicolon ';'"},
      {"EXPLAIN EXPLAIN EXPLAIN SELECT 1;;;", 1, 35, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement",
       "tkSemicolon ';'"},
      {"EXPLAIN ANALYZE EXPLAIN (FORMAT JSON) SHOW TABLES;\n;\n;x", 3, 1,
       "EXPLAIN requires a query, DML, DDL, or PRAGMA statement", "tkSemicolon ';'"},
      // The innermost level's own check comes first.
      {"EXPLAIN EXPLAIN COMMIT;;", 1, 24, "EXPLAIN requires a query, DML, DDL, or PRAGMA statement",
       "tkSemicolon ';'"},
      // Every prefix is read before the explained statement.
      {"EXPLAIN (FORMAT JSON) EXPLAIN (FORMAT XML) SELECT 1", 1, 39, "expected JSON or TEXT explain format",
       "tkIdent 'XML'"},
      {"EXPLAIN EXPLAIN SELECT", 1, 23, "unexpected token in expression", "tkEof ''"},
  };
  expectErrors(cases);
}

TEST(SqlStatement, ExplainRunsNearTheInputLimit) {
  // 131071 prefixes: a recursive reading would need one call level each.
  const std::size_t prefixes = (kOneMiB - 8) / 8;
  std::string explained = repeat("EXPLAIN ", prefixes) + "SELECT 1";
  ASSERT_EQ(explained.size(), kOneMiB);
  std::string withSemicolons = repeat("EXPLAIN ", prefixes - 1) + "SELECT 1;;;";
  std::string prefixesOnly = repeat("EXPLAIN ", kOneMiB / 8);
  std::string r1, r2, r3;
  runOnThreadWithStack(kOneMiB, [&] {
    r1 = errorOf(explained);
    r2 = errorOf(withSemicolons);
    r3 = errorOf(prefixesOnly);
  });
  const char* message = "EXPLAIN requires a query, DML, DDL, or PRAGMA statement";
  EXPECT_EQ(r1, parseError(1, 1048577, message, "tkEof ''"));
  EXPECT_EQ(r2, parseError(1, static_cast<int>(withSemicolons.size()), message, "tkSemicolon ';'"));
  // Without a statement the innermost dispatch fails first.
  EXPECT_EQ(r3, parseError(1, 1048577, kNoStatement, "tkEof ''"));
}

TEST(SqlStatement, PragmaShowDescribe) {
  static const TreeCase cases[] = {
      {"PRAGMA cache_size = 2000", "(Pragma cache_size 2000)"},
      {"PRAGMA mode = 'wal'", "(Pragma mode 'wal')"},
      {"PRAGMA x", "(Pragma x)"},
      {"PRAGMA begin = 9223372036854775807", "(Pragma begin 9223372036854775807)"},
      {"SHOW TABLES", "(Pragma show_tables)"},
      {"SHOW INDEXES", "(Pragma show_indexes)"},
      {"SHOW INDEXES FROM t", "(Pragma show_indexes 't')"},
      {"show indexes from row", "(Pragma show_indexes 'row')"},
      {"DESC t", "(Pragma describe 't')"},
      {"describe TABLE t", "(Pragma describe 't')"},
      {"\"desc\" t", "(Pragma describe 't')"},
      {"DESCRIBE \"My T\"", "(Pragma describe 'My T')"},
  };
  expectTrees(cases);
}

TEST(SqlStatement, PragmaShowDescribeFailures) {
  static const ErrorCase cases[] = {
      {"PRAGMA x = -1", 1, 12, "expected integer or string pragma value", "tkMinus '-'"},
      {"PRAGMA x = y", 1, 12, "expected integer or string pragma value", "tkIdent 'y'"},
      {"PRAGMA x = 1.5", 1, 12, "expected integer or string pragma value", "tkFloat '1.5'"},
      {"PRAGMA 1", 1, 8, "expected pragma name", "tkInteger '1'"},
      // The call form is no part of the grammar.
      {"PRAGMA x(1)", 1, 9, kNoStatement, "tkLParen '('"},
      {"SHOW", 1, 5, "expected TABLES or INDEXES after SHOW", "tkEof ''"},
      {"SHOW COLUMNS", 1, 6, "expected TABLES or INDEXES after SHOW", "tkIdent 'COLUMNS'"},
      {"SHOW INDEXES FROM 1", 1, 19, "expected table name", "tkInteger '1'"},
      {"DESCRIBE", 1, 9, "expected table name", "tkEof ''"},
      // A single name only: `.t` starts the next statement.
      {"DESCRIBE s.t", 1, 11, kNoStatement, "tkDot '.'"},
  };
  expectErrors(cases);
  EXPECT_EQ(errorOf("PRAGMA x = 9223372036854775808"), "other error: Parsed integer outside of valid range");
}

TEST(SqlStatement, Transactions) {
  static const TreeCase cases[] = {
      {"BEGIN", "(Begin)"},
      {"BEGIN TRANSACTION", "(Begin)"},
      {"START TRANSACTION READ WRITE", "(Begin access=ReadWrite)"},
      {"BEGIN ISOLATION LEVEL SERIALIZABLE, READ ONLY", "(Begin iso=Serializable access=ReadOnly)"},
      {"BEGIN TRANSACTION READ ONLY, ISOLATION LEVEL REPEATABLE READ", "(Begin iso=RepeatableRead access=ReadOnly)"},
      {"SET TRANSACTION ISOLATION LEVEL READ COMMITTED", "(SetTransaction iso=ReadCommitted)"},
      {"set transaction isolation level read uncommitted", "(SetTransaction iso=ReadUncommitted)"},
      {"SET TRANSACTION \"read\" \"write\"", "(SetTransaction access=ReadWrite)"},
      {"COMMIT", "(Commit)"},
      {"COMMIT TRANSACTION", "(Commit)"},
      {"ROLLBACK", "(Rollback)"},
      {"ROLLBACK TRANSACTION", "(Rollback)"},
      {"ROLLBACK TO s", "(RollbackToSavepoint s)"},
      {"ROLLBACK TRANSACTION TO SAVEPOINT s", "(RollbackToSavepoint s)"},
      {"SAVEPOINT s", "(Savepoint s)"},
      {"RELEASE s", "(ReleaseSavepoint s)"},
      {"RELEASE SAVEPOINT s", "(ReleaseSavepoint s)"},
      {"RELEASE savepoint savepoint", "(ReleaseSavepoint savepoint)"},
      // Without a comma the next characteristic starts a new statement;
      // here READ cannot, but BEGIN can.
      {"BEGIN READ ONLY BEGIN", "(Begin access=ReadOnly) ; (Begin)"},
  };
  expectTrees(cases);
}

TEST(SqlStatement, TransactionFailures) {
  static const ErrorCase cases[] = {
      {"START", 1, 6, "expected tkTransaction", "tkEof ''"},
      {"START READ ONLY", 1, 7, "expected tkTransaction", "tkIdent 'READ'"},
      {"SET x = 1", 1, 5, "expected tkTransaction", "tkIdent 'x'"},
      {"SET TRANSACTION", 1, 16, "expected transaction characteristic", "tkEof ''"},
      // Characteristics need a comma between them.
      {"SET TRANSACTION ISOLATION LEVEL SERIALIZABLE READ ONLY", 1, 46, kNoStatement, "tkIdent 'READ'"},
      {"BEGIN READ ONLY, READ WRITE", 1, 18, "duplicate transaction access mode", "tkIdent 'READ'"},
      {"BEGIN ISOLATION LEVEL SERIALIZABLE, ISOLATION LEVEL SERIALIZABLE", 1, 37,
       "duplicate transaction isolation level", "tkIdent 'ISOLATION'"},
      {"BEGIN READ ONLY,", 1, 17, "expected transaction characteristic after comma", "tkEof ''"},
      {"SET TRANSACTION READ ONLY, COMMIT", 1, 28, "expected transaction characteristic after comma",
       "tkCommit 'COMMIT'"},
      {"BEGIN DEFERRED", 1, 7, "unsupported transaction characteristic", "tkIdent 'DEFERRED'"},
      {"BEGIN TRANSACTION immediate", 1, 19, "unsupported transaction characteristic", "tkIdent 'immediate'"},
      {"BEGIN READ ONLY, EXCLUSIVE", 1, 18, "unsupported transaction characteristic", "tkIdent 'EXCLUSIVE'"},
      {"BEGIN ISOLATION SERIALIZABLE", 1, 17, "expected level", "tkIdent 'SERIALIZABLE'"},
      {"BEGIN ISOLATION LEVEL 1", 1, 23, "expected transaction isolation level", "tkInteger '1'"},
      {"BEGIN ISOLATION LEVEL SNAPSHOT", 1, 23, "expected transaction isolation level", "tkIdent 'SNAPSHOT'"},
      {"BEGIN ISOLATION LEVEL REPEATABLE", 1, 33, "expected read", "tkEof ''"},
      {"BEGIN ISOLATION LEVEL READ", 1, 27, "expected COMMITTED or UNCOMMITTED after READ", "tkEof ''"},
      {"BEGIN READ", 1, 11, "expected ONLY or WRITE after READ", "tkEof ''"},
      {"ROLLBACK TO", 1, 12, "expected savepoint name", "tkEof ''"},
      {"ROLLBACK TO SAVEPOINT 1", 1, 23, "expected savepoint name", "tkInteger '1'"},
      {"SAVEPOINT", 1, 10, "expected savepoint name", "tkEof ''"},
      {"RELEASE SAVEPOINT", 1, 18, "expected savepoint name", "tkEof ''"},
  };
  expectErrors(cases);
}

TEST(SqlStatement, UtilitySpans) {
  static const TreeCase cases[] = {
      // EXPLAIN ends where the explained statement's span ends.
      {"EXPLAIN ANALYZE SELECT 1",
       "(Explain@1:1-1:22 :analyze :format=Text (Select@1:17-1:22 (ExprList@1:17-1:22 1@1:24-1:24)))"},
      {"PRAGMA x = 'y'", "(Pragma@1:1-1:6 x@1:8-1:8 'y'@1:12-1:14)"},
      {"SHOW TABLES", "(Pragma@1:1-1:4 show_tables@1:1-1:4)"},
      {"SHOW INDEXES FROM t", "(Pragma@1:1-1:19 show_indexes@1:1-1:4 't'@1:19-1:19)"},
      {"DESC TABLE t", "(Pragma@1:1-1:12 describe@1:1-1:4 't'@1:12-1:12)"},
      {"BEGIN", "(Begin@1:1-1:5)"},
      {"START TRANSACTION READ ONLY, ISOLATION LEVEL SERIALIZABLE",
       "(Begin@1:1-1:57 iso=Serializable access=ReadOnly)"},
      {"SET TRANSACTION READ WRITE", "(SetTransaction@1:1-1:26 access=ReadWrite)"},
      {"COMMIT TRANSACTION", "(Commit@1:1-1:18)"},
      {"ROLLBACK TRANSACTION", "(Rollback@1:1-1:20)"},
      {"ROLLBACK TO SAVEPOINT s", "(RollbackToSavepoint@1:1-1:23 s@1:23-1:23)"},
      {"SAVEPOINT s", "(Savepoint@1:1-1:11 s@1:11-1:11)"},
      {"RELEASE SAVEPOINT\n  s", "(ReleaseSavepoint@1:1-2:3 s@2:3-2:3)"},
  };
  expectTrees(cases, true);
}

// ---- Span back-fill ----

SqlNode* identifier(Arena& a, const char* text, SqlSpan span = {}) { return newIdentifier(a, text, span); }

TEST(SqlStatement, BackfillVisitsEveryNodeValuedPartButExtraExpr) {
  Arena a;
  const SqlSpan root{1, 1, 1, 9};
  const SqlSpan own{2, 3, 2, 4};
  SqlNode* table = newNode(a, nkCreateTable, root);
  SqlNode* column = newNode(a, nkColumnDef, {});
  column->colName() = "c";
  column->colType() = newNode(a, nkTypeName, {});
  column->colType()->children().push_back(a, identifier(a, "int"));
  SqlNode* check = newNode(a, nkConstraint, own);
  SqlNode* checked = identifier(a, "x");
  check->mutableExtra(a).extraExpr = checked;
  check->children().push_back(a, identifier(a, "CHECK"));
  column->colConstraints().push_back(a, check);
  table->children().push_back(a, column);

  SqlNode* kase = newNode(a, nkCase, {});
  kase->caseOperand() = identifier(a, "o");
  SqlNode* when = newNode(a, nkCaseWhen, {});
  when->caseWhen() = identifier(a, "w");
  when->caseThen() = newUnary(a, opNeg, identifier(a, "t"), {});
  kase->caseBranches().push_back(a, when);
  kase->caseElse() = newBinary(a, opAdd, identifier(a, "l"), identifier(a, "r"), {});
  table->children().push_back(a, kase);

  SqlNode* frame = newNode(a, nkWindowFrame, own);
  frame->frameStart() = newNode(a, nkWindowFrameBound, {});
  frame->frameEnd() = newNode(a, nkWindowFrameBound, {});
  table->children().push_back(a, frame);

  SqlNode* join = newNode(a, nkJoin, {});
  join->joinLeft() = identifier(a, "a");
  SqlNode* alias = newNode(a, nkAlias, {});
  alias->aliasExpr() = identifier(a, "b");
  join->joinRight() = alias;
  join->joinCond() = identifier(a, "c");
  SqlNode* setOp = newNode(a, nkSetOperation, {});
  setOp->setRight() = newNode(a, nkSelect, {});
  table->children().push_back(a, join);
  table->children().push_back(a, setOp);

  backfillSpans(table, table);
  EXPECT_EQ(dumpTree(table, true),
            "(CreateTable@1:1-1:9 (ColumnDef@1:1-1:9 c (TypeName@1:1-1:9 int@1:1-1:9) (Constraint@2:3-2:4 "
            "CHECK@2:3-2:4 extra: x@0:0-0:0)) (Case@1:1-1:9 o@1:1-1:9 (CaseWhen@1:1-1:9 w@1:1-1:9 (UnaryOp@1:1-1:9 opNeg t@1:1-1:9)) "
            "(BinaryOp@1:1-1:9 opAdd l@1:1-1:9 r@1:1-1:9)) (WindowFrame@2:3-2:4 fuRows (WindowFrameBound@2:3-2:4 "
            "fbUnboundedPreceding) (WindowFrameBound@2:3-2:4 fbUnboundedPreceding)) (Join@1:1-1:9 jkInner a@1:1-1:9 "
            "(Alias@1:1-1:9 \"\" b@1:1-1:9) c@1:1-1:9) (SetOperation@1:1-1:9 soUnion (Select@1:1-1:9)))");
  // The CHECK expression under extraExpr keeps its empty span.
  EXPECT_TRUE(checked->span.isEmpty());
}

TEST(SqlStatement, BackfillGivesTheParentsSpan) {
  static const TreeCase cases[] = {
      // Nodes deep in a chain take the nearest filled ancestor's span.
      {"SELECT a = 1 AND b FROM t",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 (BinaryOp@1:1-1:6 opAnd (BinaryOp@1:1-1:6 opEq a@1:8-1:8 1@1:12-1:12) "
       "b@1:18-1:18)) (FromClause@1:25-1:25 t@1:25-1:25))"},
      {"SELECT x FROM t WHERE NOT a",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 x@1:8-1:8) (FromClause@1:15-1:15 t@1:15-1:15) (WhereClause@1:1-1:6 "
       "(UnaryOp@1:1-1:6 opNot a@1:27-1:27)))"},
      // A start of 0:0 counts as empty whatever the end: this row starts at
      // an operator's empty span and ends at `)`.
      {"VALUES (a+1)", "(Values@1:1-1:6 (ExprList@1:1-1:6 (BinaryOp@1:1-1:6 opAdd a@1:9-1:9 1@1:11-1:11)))"},
      {"SELECT (SELECT 1 UNION SELECT 2)",
       "(Select@1:1-1:6 (ExprList@1:1-1:6 (ScalarSubquery@1:8-1:8 (Select@1:9-1:14 (ExprList@1:9-1:14 1@1:16-1:16) "
       "(SetOperation@1:18-1:22 soUnion (Select@1:24-1:29 (ExprList@1:24-1:29 2@1:31-1:31)))))))"},
  };
  expectTrees(cases, true);
}

SqlNode* listOf(Arena& a, SqlSpan span, std::initializer_list<SqlNode*> parts) {
  SqlNode* list = newNode(a, nkExprList, span);
  for (SqlNode* part : parts) list->children().push_back(a, part);
  return list;
}

// A node reached from two parents keeps the span of the first visit: a
// node's part-less parts are filled when the node is expanded, its other
// parts one subtree after the other, in order.
TEST(SqlStatement, BackfillOfSharedNodesFollowsTheVisitingOrder) {
  struct Case {
    const char* expected;
    SqlNode* (*build)(Arena&);
  };
  static constexpr SqlSpan rs{1, 1, 1, 9}, xs{2, 1, 2, 9}, ys{3, 1, 3, 9};
  static const Case cases[] = {
      // A part-less child of the root is filled before the first subtree.
      {"(ExprList@1:1-1:9 (ExprList@2:1-2:9 l@1:1-1:9) l@1:1-1:9)",
       [](Arena& a) {
         SqlNode* l = identifier(a, "l");
         return listOf(a, rs, {listOf(a, xs, {l}), l});
       }},
      // A leaf under two subtrees takes the first subtree's span.
      {"(ExprList@1:1-1:9 (ExprList@2:1-2:9 l@2:1-2:9) (ExprList@3:1-3:9 l@2:1-2:9))",
       [](Arena& a) {
         SqlNode* l = identifier(a, "l");
         return listOf(a, rs, {listOf(a, xs, {l}), listOf(a, ys, {l})});
       }},
      // So does a node with parts, and its own parts with it; a null part is
      // passed over.
      {"(ExprList@1:1-1:9 (ExprList@3:1-3:9 _ (ExprList@3:1-3:9 k@3:1-3:9)) _ (ExprList@2:1-2:9 (ExprList@3:1-3:9 "
       "k@3:1-3:9) _))",
       [](Arena& a) {
         SqlNode* m = listOf(a, {}, {identifier(a, "k")});
         return listOf(a, rs, {listOf(a, ys, {nullptr, m}), nullptr, listOf(a, xs, {m, nullptr})});
       }},
      // The parts of a binary operator: the right one shared with a node
      // under the left one.
      {"(BinaryOp@1:1-1:9 opAdd (ExprList@2:1-2:9 (ExprList@2:1-2:9 k@2:1-2:9)) (ExprList@2:1-2:9 k@2:1-2:9))",
       [](Arena& a) {
         SqlNode* m = listOf(a, {}, {identifier(a, "k")});
         return newBinary(a, opAdd, listOf(a, xs, {m}), m, rs);
       }},
      // A CASE: operand, branches in order, then ELSE; the ELSE leaf is
      // filled at once, before the shared node under the first branch.
      {"(Case@1:1-1:9 (ExprList@2:1-2:9 (ExprList@2:1-2:9 e@1:1-1:9)) _ (CaseWhen@3:1-3:9 (ExprList@2:1-2:9 "
       "e@1:1-1:9) t@3:1-3:9) e@1:1-1:9)",
       [](Arena& a) {
         SqlNode* e = identifier(a, "e");
         SqlNode* m = listOf(a, {}, {e});
         SqlNode* kase = newNode(a, nkCase, rs);
         kase->caseOperand() = listOf(a, xs, {m});
         SqlNode* when = newNode(a, nkCaseWhen, ys);
         when->caseWhen() = m;
         when->caseThen() = identifier(a, "t");
         kase->caseBranches().push_back(a, nullptr);
         kase->caseBranches().push_back(a, when);
         kase->caseElse() = e;
         return kase;
       }},
      // A join: left, right, then the condition.
      {"(Join@1:1-1:9 jkInner (Alias@2:1-2:9 \"\" (ExprList@2:1-2:9 k@2:1-2:9)) (Alias@3:1-3:9 \"\" (ExprList@2:1-2:9 "
       "k@2:1-2:9)) (ExprList@2:1-2:9 k@2:1-2:9))",
       [](Arena& a) {
         SqlNode* m = listOf(a, {}, {identifier(a, "k")});
         SqlNode* join = newNode(a, nkJoin, rs);
         join->joinLeft() = newNode(a, nkAlias, xs);
         join->joinLeft()->aliasExpr() = m;
         join->joinRight() = newNode(a, nkAlias, ys);
         join->joinRight()->aliasExpr() = m;
         join->joinCond() = m;
         return join;
       }},
      // A column: the type before the constraints.
      {"(ColumnDef@1:1-1:9 c (TypeName@2:1-2:9 (ExprList@2:1-2:9 k@2:1-2:9)) (Constraint@3:1-3:9 (ExprList@2:1-2:9 "
       "k@2:1-2:9)))",
       [](Arena& a) {
         SqlNode* m = listOf(a, {}, {identifier(a, "k")});
         SqlNode* column = newNode(a, nkColumnDef, rs);
         column->colName() = "c";
         column->colType() = newNode(a, nkTypeName, xs);
         column->colType()->children().push_back(a, m);
         SqlNode* constraint = newNode(a, nkConstraint, ys);
         constraint->children().push_back(a, m);
         column->colConstraints().push_back(a, constraint);
         return column;
       }},
  };
  for (const Case& c : cases) {
    Arena a;
    SqlNode* root = c.build(a);
    backfillSpans(root, root);
    EXPECT_EQ(dumpTree(root, true), c.expected);
  }
}

// Every level of a deep tree leaves a sibling subtree to visit later, so the
// walk's own stack grows past its inline entries.
TEST(SqlStatement, BackfillOfDeepTreesWithPendingSiblings) {
  Arena a;
  const SqlSpan root{4, 2, 4, 7};
  constexpr int kLevels = 5000;
  std::vector<SqlNode*> siblings;
  SqlNode* bottom = identifier(a, "b");
  SqlNode* node = bottom;
  for (int i = 0; i < kLevels; ++i) {
    SqlNode* sibling = listOf(a, {}, {identifier(a, "s")});
    siblings.push_back(sibling);
    node = i % 2 == 0 ? listOf(a, {}, {node, sibling}) : newBinary(a, opAdd, node, sibling, {});
  }
  SqlNode* top = listOf(a, root, {node});
  backfillSpans(top, nullptr);
  EXPECT_EQ(dumpTree(bottom, true), "b@4:2-4:7");
  for (const SqlNode* sibling : siblings) ASSERT_EQ(dumpTree(sibling, true), "(ExprList@4:2-4:7 s@4:2-4:7)");
}

// Walks a left-deep chain down to its bottom without recursion.
template <class Next>
const SqlNode* bottomOf(const SqlNode* node, Next next) {
  for (;;) {
    const SqlNode* below = next(node);
    if (below == nullptr) return node;
    node = below;
  }
}

TEST(SqlStatement, LongChainsParseAndBackfillOnASmallStack) {
  // About 1 MiB of additions and of joins.
  std::string sum = "SELECT 1" + repeat("+1", (kOneMiB - 8) / 2);
  std::string joins = "SELECT * FROM t" + repeat(" JOIN t", (kOneMiB - 15) / 7);
  ASSERT_LE(sum.size(), kOneMiB);
  ASSERT_LE(joins.size(), kOneMiB);
  runOnThreadWithStack(kOneMiB, [&] {
    try {
      Arena a;
      NodeList list = parseStatements(sum, a);
      ASSERT_EQ(list.size(), 1u);
      const SqlNode* top = list[0]->child(0)->child(0);
      const SqlNode* bottom = bottomOf(top, [](const SqlNode* n) {
        return n->kind == nkBinaryOp ? n->binLeft() : nullptr;
      });
      EXPECT_EQ(dumpTree(bottom, true), "1@1:8-1:8");
      // The lowest addition got the statement's span through the whole chain.
      const SqlNode* lowest = bottomOf(top, [](const SqlNode* n) {
        return n->binLeft()->kind == nkBinaryOp ? n->binLeft() : nullptr;
      });
      EXPECT_EQ(lowest->span.startLine, 1);
      EXPECT_EQ(lowest->span.endColumn, 6);

      Arena b;
      list = parseStatements(joins, b);
      ASSERT_EQ(list.size(), 1u);
      const SqlNode* from = list[0]->child(1);
      const SqlNode* lowestJoin = bottomOf(from->child(0), [](const SqlNode* n) {
        return n->joinLeft()->kind == nkJoin ? n->joinLeft() : nullptr;
      });
      EXPECT_EQ(lowestJoin->span.startColumn, 15);
      EXPECT_EQ(dumpTree(lowestJoin->joinLeft(), true), "t@1:15-1:15");
    } catch (const vellum::VellumError& e) {
      ADD_FAILURE() << e.what();
    }
  });
}

std::string nestedScalarSubqueries(std::size_t levels) {
  return "SELECT " + repeat("(SELECT ", levels) + "1" + repeat(")", levels);
}

TEST(SqlStatement, DeepestNestingFitsASmallStack) {
  std::string deepest = nestedScalarSubqueries(128);
  std::string tooDeep = nestedScalarSubqueries(129);
  // Each level a WITH query: the WITH adds call depth but no nesting level.
  std::string withQueries =
      "SELECT " + repeat("(WITH a AS (SELECT 1) SELECT ", 128) + "1" + repeat(")", 128);
  std::string cteBodies = repeat("WITH a AS (", 129) + "SELECT 1" + repeat(") SELECT 1", 129);
  std::string derived = "SELECT * FROM " + repeat("(SELECT * FROM ", 128) + "t" + repeat(")", 128);
  std::string r1, r2, r3, r4, r5;
  runOnThreadWithStack(kOneMiB, [&] {
    r1 = errorOf(deepest);
    r2 = errorOf(tooDeep);
    r3 = errorOf(cteBodies);
    r4 = errorOf(derived);
    r5 = errorOf(withQueries);
  });
  EXPECT_EQ(r1.substr(0, 8), "parsed: ");
  EXPECT_EQ(r2, kNestingMessage);
  EXPECT_EQ(r3.substr(0, 8), "parsed: ");
  EXPECT_EQ(r4.substr(0, 8), "parsed: ");
  EXPECT_EQ(r5.substr(0, 8), "parsed: ");
}

}  // namespace
}  // namespace vellum_test
