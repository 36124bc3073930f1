// The syntax tree record: enumeration names, what a new node holds, checked
// variant fields and nodeText.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "sql/tree.h"
#include "support/arena.h"
#include "support/errors.h"

namespace {

using namespace vellum::sql;

TEST(SqlTreeNames, NodeKinds) {
  static const char* const kNames[] = {
      "nkSelect", "nkExplain", "nkValues", "nkWithClause", "nkCommonTableExpr", "nkCteColumnList",
      "nkInsert", "nkUpdate", "nkDelete", "nkMerge", "nkMergeWhen", "nkReturningClause", "nkOnConflict",
      "nkCopy", "nkCreateTable", "nkDropTable", "nkCreateView", "nkDropView", "nkAlterTable",
      "nkAlterAddColumn", "nkAlterDropColumn", "nkAlterRenameColumn", "nkAlterRenameTable", "nkAlterColumn",
      "nkAlterSetDataType", "nkAlterSetDefault", "nkAlterDropDefault", "nkAlterSetNotNull",
      "nkAlterDropNotNull", "nkTruncate", "nkCreateIndex", "nkCreateContinuousAggregate", "nkDropIndex",
      "nkCreateSequence", "nkAlterSequence", "nkDropSequence", "nkPragma", "nkBegin", "nkSetTransaction",
      "nkCommit", "nkRollback", "nkSavepoint", "nkRollbackToSavepoint", "nkReleaseSavepoint",
      "nkStatementList", "nkIdentifier", "nkStringLit", "nkIntervalLit", "nkIntLit", "nkFloatLit",
      "nkBoolLit", "nkNull", "nkParameter", "nkStar", "nkQualifiedStar", "nkColumnRef", "nkBinaryOp",
      "nkUnaryOp", "nkRowConstructor", "nkTruthPredicate", "nkIsDistinctFrom", "nkCase", "nkCaseWhen",
      "nkFunctionCall", "nkWindowSpec", "nkWindowClause", "nkNamedWindow", "nkQualifyClause",
      "nkDistinctOnClause", "nkAggFilterClause", "nkWithinGroupClause", "nkWindowFrame",
      "nkWindowFrameBound", "nkPartitionByClause", "nkCast", "nkTryCast", "nkAlias", "nkFromClause",
      "nkFromTable", "nkFromJoin", "nkFromDerived", "nkFromFunction", "nkWhereClause", "nkOrderByClause",
      "nkOrderByExpr", "nkGroupByClause", "nkRollup", "nkCube", "nkGroupingSets", "nkGroupingSet",
      "nkHavingClause", "nkLimitClause", "nkOffsetClause", "nkSetOperation", "nkJoin", "nkUsingClause",
      "nkColumnDef", "nkTypeName", "nkDataTypeVector", "nkConstraint", "nkExprList", "nkColumnList",
      "nkWithOptions", "nkIndexOption", "nkVectorLiteral", "nkScalarSubquery", "nkInSubquery", "nkExists",
      "nkQuantified",
  };
  static_assert(sizeof(kNames) / sizeof(kNames[0]) == 109);
  ASSERT_EQ(kSqlNodeKindCount, 109);
  for (int k = 0; k < 109; ++k) EXPECT_EQ(kindName(static_cast<SqlNodeKind>(k)), kNames[k]) << k;
}

TEST(SqlTreeNames, Operators) {
  static const char* const kBinary[] = {
      "opEq", "opNeq", "opLt", "opLe", "opGt", "opGe", "opAdd", "opSub", "opMul", "opDiv", "opMod",
      "opStringConcat", "opAnd", "opOr", "opLike", "opNotLike", "opILike", "opNotILike", "opGlob",
      "opNotGlob", "opSimilarTo", "opNotSimilarTo", "opIn", "opNotIn", "opBetween", "opNotBetween", "opIs",
      "opBitAnd", "opBitOr", "opBitXor", "opShiftLeft", "opShiftRight",
  };
  for (int op = 0; op < 32; ++op) EXPECT_EQ(binaryOpName(static_cast<SqlBinaryOp>(op)), kBinary[op]) << op;
  static const char* const kUnary[] = {"opNot", "opNeg", "opIsNull", "opIsNotNull", "opBitNot"};
  for (int op = 0; op < 5; ++op) EXPECT_EQ(unaryOpName(static_cast<SqlUnaryOp>(op)), kUnary[op]) << op;
}

TEST(SqlTreeNodes, NewNodesStartEmptyWithOrderFieldsUnset) {
  vellum::Arena arena;
  SqlSpan span{1, 2, 3, 4};
  SqlNode* n = newNode(arena, nkFunctionCall, span);
  EXPECT_EQ(n->kind, nkFunctionCall);
  EXPECT_EQ(n->span.startLine, 1);
  EXPECT_EQ(n->span.startColumn, 2);
  EXPECT_EQ(n->span.endLine, 3);
  EXPECT_EQ(n->span.endColumn, 4);
  EXPECT_EQ(n->ascending, -1);
  EXPECT_EQ(n->nullsFirst, -1);
  EXPECT_FALSE(n->distinct || n->star || n->negated || n->lateral || n->withOrdinality || n->recursive ||
               n->analyze || n->limitWithTies || n->quantifierAll);
  EXPECT_EQ(newNode(arena, nkParameter, span)->paramIndex(), 0);
  EXPECT_TRUE(n->children().empty());
  EXPECT_TRUE(n->extra().subKind.empty());
  EXPECT_EQ(n->extra().extraExpr, nullptr);

  SqlNode* id = newIdentifier(arena, "x", span);
  EXPECT_EQ(id->strVal(), "x");
  EXPECT_EQ(newStringLit(arena, "s", span)->strVal(), "s");
  EXPECT_EQ(newIntervalLit(arena, "1 day", span)->kind, nkIntervalLit);
  EXPECT_EQ(newIntLit(arena, -5, span)->intVal(), -5);
  EXPECT_EQ(newFloatLit(arena, 2.5, span)->floatVal(), 2.5);
  EXPECT_TRUE(newBoolLit(arena, true, span)->boolVal());
  EXPECT_EQ(newNull(arena, span)->kind, nkNull);
  EXPECT_EQ(newStar(arena, span)->kind, nkStar);
  SqlNode* neg = newUnary(arena, opNeg, id, span);
  EXPECT_EQ(neg->unOp(), opNeg);
  EXPECT_EQ(neg->unOperand(), id);
  EXPECT_EQ(neg->ascending, -1);
}

// Arena memory is reused from earlier allocations: a node's variant must
// not inherit what was there.
TEST(SqlTreeNodes, VariantIsZeroedOverReusedMemory) {
  for (int round = 0; round < 4; ++round) {
    {
      vellum::Arena dirty;
      for (int i = 0; i < 64; ++i) std::memset(dirty.allocate(1000, 8), 0xA5, 1000);
    }
    vellum::Arena arena;
    for (int i = 0; i < 500; ++i) {
      SqlNode* list = newNode(arena, nkExprList, SqlSpan{});
      ASSERT_TRUE(list->children().empty());
      ASSERT_EQ(list->children().data(), nullptr);
      SqlNode* kase = newNode(arena, nkCase, SqlSpan{});
      ASSERT_EQ(kase->caseOperand(), nullptr);
      ASSERT_TRUE(kase->caseBranches().empty());
      ASSERT_EQ(kase->caseElse(), nullptr);
      SqlNode* alias = newNode(arena, nkAlias, SqlSpan{});
      ASSERT_TRUE(alias->aliasName().empty());
      ASSERT_TRUE(alias->aliasColumns().empty());
      SqlNode* bin = newNode(arena, nkBinaryOp, SqlSpan{});
      ASSERT_EQ(bin->binLeft(), nullptr);
      ASSERT_EQ(bin->binRight(), nullptr);
    }
  }
}

TEST(SqlTreeNodes, ReadingAnotherKindsFieldIsADefect) {
  vellum::Arena arena;
  SqlNode* select = newNode(arena, nkSelect, SqlSpan{});
  SqlNode* id = newIdentifier(arena, "x", SqlSpan{});
  EXPECT_THROW(select->strVal(), vellum::InternalDefect);
  EXPECT_THROW(id->children(), vellum::InternalDefect);
  EXPECT_THROW(id->intVal(), vellum::InternalDefect);
  EXPECT_THROW(newIntLit(arena, 1, SqlSpan{})->floatVal(), vellum::InternalDefect);
  EXPECT_THROW(newNode(arena, nkCaseWhen, SqlSpan{})->caseOperand(), vellum::InternalDefect);
  EXPECT_THROW(newNode(arena, nkFromJoin, SqlSpan{})->aliasExpr(), vellum::InternalDefect);
  EXPECT_THROW(select->child(0), vellum::InternalDefect);
  try {
    select->binOp();
    ADD_FAILURE() << "no defect";
  } catch (const vellum::InternalDefect& e) {
    EXPECT_STREQ(e.what(), "field binOp read on a node of kind nkSelect");
  }
}

TEST(SqlTreeNodes, NodeText) {
  vellum::Arena arena;
  SqlSpan s{};
  EXPECT_EQ(nodeText(nullptr), "");
  EXPECT_EQ(nodeText(newIdentifier(arena, "name", s)), "name");
  EXPECT_EQ(nodeText(newStringLit(arena, "text", s)), "text");
  EXPECT_EQ(nodeText(newIntLit(arena, 7, s)), "");
  EXPECT_EQ(nodeText(newFloatLit(arena, 7, s)), "");
  EXPECT_EQ(nodeText(newBoolLit(arena, true, s)), "");
  EXPECT_EQ(nodeText(newNull(arena, s)), "");
  EXPECT_EQ(nodeText(newNode(arena, nkParameter, s)), "");
  SqlNode* type = newNode(arena, nkTypeName, s);
  EXPECT_EQ(nodeText(type), "");
  type->children().push_back(arena, newIdentifier(arena, "INT", s));
  type->children().push_back(arena, newIntLit(arena, 3, s));
  EXPECT_EQ(nodeText(type), "INT");
  SqlNode* outer = newNode(arena, nkFromTable, s);
  outer->children().push_back(arena, type);
  EXPECT_EQ(nodeText(outer), "INT");
  EXPECT_THROW(nodeText(newIntervalLit(arena, "1 day", s)), vellum::InternalDefect);
  EXPECT_THROW(nodeText(newUnary(arena, opNot, nullptr, s)), vellum::InternalDefect);
  EXPECT_THROW(nodeText(newNode(arena, nkAlias, s)), vellum::InternalDefect);
}

}  // namespace
