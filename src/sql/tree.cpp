#include "sql/tree.h"

#include <string>

namespace vellum::sql {
namespace {

constexpr std::string_view kKindNames[] = {
    "nkSelect", "nkExplain", "nkValues", "nkWithClause", "nkCommonTableExpr", "nkCteColumnList",
    "nkInsert", "nkUpdate", "nkDelete", "nkMerge", "nkMergeWhen", "nkReturningClause",
    "nkOnConflict", "nkCopy", "nkCreateTable", "nkDropTable", "nkCreateView", "nkDropView",
    "nkAlterTable", "nkAlterAddColumn", "nkAlterDropColumn", "nkAlterRenameColumn",
    "nkAlterRenameTable", "nkAlterColumn", "nkAlterSetDataType", "nkAlterSetDefault",
    "nkAlterDropDefault", "nkAlterSetNotNull", "nkAlterDropNotNull", "nkTruncate",
    "nkCreateIndex", "nkCreateContinuousAggregate", "nkDropIndex", "nkCreateSequence",
    "nkAlterSequence", "nkDropSequence", "nkPragma", "nkBegin", "nkSetTransaction", "nkCommit",
    "nkRollback", "nkSavepoint", "nkRollbackToSavepoint", "nkReleaseSavepoint",
    "nkStatementList", "nkIdentifier", "nkStringLit", "nkIntervalLit", "nkIntLit", "nkFloatLit",
    "nkBoolLit", "nkNull", "nkParameter", "nkStar", "nkQualifiedStar", "nkColumnRef",
    "nkBinaryOp", "nkUnaryOp", "nkRowConstructor", "nkTruthPredicate", "nkIsDistinctFrom",
    "nkCase", "nkCaseWhen", "nkFunctionCall", "nkWindowSpec", "nkWindowClause", "nkNamedWindow",
    "nkQualifyClause", "nkDistinctOnClause", "nkAggFilterClause", "nkWithinGroupClause",
    "nkWindowFrame", "nkWindowFrameBound", "nkPartitionByClause", "nkCast", "nkTryCast",
    "nkAlias", "nkFromClause", "nkFromTable", "nkFromJoin", "nkFromDerived", "nkFromFunction",
    "nkWhereClause", "nkOrderByClause", "nkOrderByExpr", "nkGroupByClause", "nkRollup", "nkCube",
    "nkGroupingSets", "nkGroupingSet", "nkHavingClause", "nkLimitClause", "nkOffsetClause",
    "nkSetOperation", "nkJoin", "nkUsingClause", "nkColumnDef", "nkTypeName",
    "nkDataTypeVector", "nkConstraint", "nkExprList", "nkColumnList", "nkWithOptions",
    "nkIndexOption", "nkVectorLiteral", "nkScalarSubquery", "nkInSubquery", "nkExists",
    "nkQuantified",
};
static_assert(sizeof(kKindNames) / sizeof(kKindNames[0]) == kSqlNodeKindCount);

constexpr std::string_view kBinaryOpNames[] = {
    "opEq", "opNeq", "opLt", "opLe", "opGt", "opGe", "opAdd", "opSub", "opMul", "opDiv", "opMod",
    "opStringConcat", "opAnd", "opOr", "opLike", "opNotLike", "opILike", "opNotILike", "opGlob",
    "opNotGlob", "opSimilarTo", "opNotSimilarTo", "opIn", "opNotIn", "opBetween",
    "opNotBetween", "opIs", "opBitAnd", "opBitOr", "opBitXor", "opShiftLeft", "opShiftRight",
};
static_assert(sizeof(kBinaryOpNames) / sizeof(kBinaryOpNames[0]) == opShiftRight + 1);

constexpr std::string_view kUnaryOpNames[] = {"opNot", "opNeg", "opIsNull", "opIsNotNull", "opBitNot"};

const SqlNodeExtra kNoExtra{};

}  // namespace

namespace tree_detail {

void wrongBranch(const SqlNode* node, const char* field) {
  raiseDefect(std::string("field ") + field + " read on a node of kind " + std::string(kindName(node->kind)));
}

}  // namespace tree_detail

std::string_view kindName(SqlNodeKind kind) {
  if (kind >= kSqlNodeKindCount) return "nkUnknown";
  return kKindNames[kind];
}

std::string_view binaryOpName(SqlBinaryOp op) {
  check(op <= opShiftRight, "binary operator out of range");
  return kBinaryOpNames[op];
}

std::string_view unaryOpName(SqlUnaryOp op) {
  check(op <= opBitNot, "unary operator out of range");
  return kUnaryOpNames[op];
}

const SqlNodeExtra& SqlNode::extra() const { return extra_ != nullptr ? *extra_ : kNoExtra; }

SqlNodeExtra& SqlNode::mutableExtra(Arena& arena) {
  if (extra_ == nullptr) extra_ = arena.make<SqlNodeExtra>();
  return *extra_;
}

SqlNode* newIntervalLit(Arena& arena, std::string_view text, SqlSpan span) {
  SqlNode* n = newNode(arena, nkIntervalLit, span);
  n->strVal() = text;
  return n;
}

SqlNode* newFloatLit(Arena& arena, double value, SqlSpan span) {
  SqlNode* n = newNode(arena, nkFloatLit, span);
  n->floatVal() = value;
  return n;
}

SqlNode* newBoolLit(Arena& arena, bool value, SqlSpan span) {
  SqlNode* n = newNode(arena, nkBoolLit, span);
  n->boolVal() = value;
  return n;
}

SqlNode* newNull(Arena& arena, SqlSpan span) { return newNode(arena, nkNull, span); }

SqlNode* newStar(Arena& arena, SqlSpan span) { return newNode(arena, nkStar, span); }

SqlNode* newUnary(Arena& arena, SqlUnaryOp op, SqlNode* operand, SqlSpan span) {
  SqlNode* n = newNode(arena, nkUnaryOp, span);
  n->unOp() = op;
  n->unOperand() = operand;
  return n;
}

SqlNode* newBinary(Arena& arena, SqlBinaryOp op, SqlNode* left, SqlNode* right, SqlSpan span) {
  SqlNode* n = newNode(arena, nkBinaryOp, span);
  n->binOp() = op;
  n->binLeft() = left;
  n->binRight() = right;
  return n;
}

std::string_view nodeText(const SqlNode* node) {
  if (node == nullptr) return {};
  switch (node->kind) {
    case nkIdentifier:
    case nkStringLit:
      return node->strVal();
    case nkIntLit:
    case nkFloatLit:
    case nkBoolLit:
    case nkNull:
    case nkParameter:
      return {};
    default:
      break;
  }
  if (!node->hasChildren()) {
    raiseDefect("nodeText asked of a node of kind " + std::string(kindName(node->kind)));
  }
  const NodeList& children = node->children();
  return children.empty() ? std::string_view{} : nodeText(children[0]);
}

}  // namespace vellum::sql
