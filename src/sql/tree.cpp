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

// The variant branch a kind carries.
enum class Branch : std::uint8_t {
  Str, Int, Float, Bool, Binary, Unary, Case, CaseWhen, Frame, Bound, Alias, Join, SetOp,
  Column, Txn, Children,
};

constexpr Branch branchOf(SqlNodeKind kind) {
  switch (kind) {
    case nkIdentifier: case nkStringLit: case nkIntervalLit: return Branch::Str;
    case nkIntLit: return Branch::Int;
    case nkFloatLit: return Branch::Float;
    case nkBoolLit: return Branch::Bool;
    case nkBinaryOp: return Branch::Binary;
    case nkUnaryOp: return Branch::Unary;
    case nkCase: return Branch::Case;
    case nkCaseWhen: return Branch::CaseWhen;
    case nkWindowFrame: return Branch::Frame;
    case nkWindowFrameBound: return Branch::Bound;
    case nkAlias: return Branch::Alias;
    case nkFromJoin: case nkJoin: return Branch::Join;
    case nkSetOperation: return Branch::SetOp;
    case nkColumnDef: return Branch::Column;
    case nkBegin: case nkSetTransaction: return Branch::Txn;
    default: return Branch::Children;
  }
}

[[noreturn]] void wrongBranch(const SqlNode* node, const char* field) {
  raiseDefect(std::string("field ") + field + " read on a node of kind " + std::string(kindName(node->kind)));
}

const SqlNodeExtra kNoExtra{};

}  // namespace

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

bool SqlNode::hasChildren() const { return branchOf(kind) == Branch::Children; }

#define VELLUM_VARIANT_FIELD(Type, name, branch, member)             \
  Type& SqlNode::name() {                                           \
    if (branchOf(kind) != Branch::branch) wrongBranch(this, #name); \
    return v_.member;                                               \
  }

VELLUM_VARIANT_FIELD(std::string_view, strVal, Str, str)
VELLUM_VARIANT_FIELD(std::int64_t, intVal, Int, i64)
VELLUM_VARIANT_FIELD(double, floatVal, Float, f64)
VELLUM_VARIANT_FIELD(bool, boolVal, Bool, b)
VELLUM_VARIANT_FIELD(SqlBinaryOp, binOp, Binary, bin.op)
VELLUM_VARIANT_FIELD(SqlNode*, binLeft, Binary, bin.left)
VELLUM_VARIANT_FIELD(SqlNode*, binRight, Binary, bin.right)
VELLUM_VARIANT_FIELD(SqlUnaryOp, unOp, Unary, un.op)
VELLUM_VARIANT_FIELD(SqlNode*, unOperand, Unary, un.operand)
VELLUM_VARIANT_FIELD(SqlNode*, caseOperand, Case, kase.operand)
VELLUM_VARIANT_FIELD(NodeList, caseBranches, Case, kase.branches)
VELLUM_VARIANT_FIELD(SqlNode*, caseElse, Case, kase.elseExpr)
VELLUM_VARIANT_FIELD(SqlNode*, caseWhen, CaseWhen, caseWhen.when)
VELLUM_VARIANT_FIELD(SqlNode*, caseThen, CaseWhen, caseWhen.then)
VELLUM_VARIANT_FIELD(FrameUnit, frameUnit, Frame, frame.unit)
VELLUM_VARIANT_FIELD(SqlNode*, frameStart, Frame, frame.start)
VELLUM_VARIANT_FIELD(SqlNode*, frameEnd, Frame, frame.end)
VELLUM_VARIANT_FIELD(FrameBoundKind, frameBoundKind, Bound, bound.kind)
VELLUM_VARIANT_FIELD(std::uint64_t, frameOffset, Bound, bound.offset)
VELLUM_VARIANT_FIELD(SqlNode*, aliasExpr, Alias, alias.expr)
VELLUM_VARIANT_FIELD(std::string_view, aliasName, Alias, alias.name)
VELLUM_VARIANT_FIELD(TextList, aliasColumns, Alias, alias.columns)
VELLUM_VARIANT_FIELD(JoinKind, joinKind, Join, join.kind)
VELLUM_VARIANT_FIELD(SqlNode*, joinLeft, Join, join.left)
VELLUM_VARIANT_FIELD(SqlNode*, joinRight, Join, join.right)
VELLUM_VARIANT_FIELD(SqlNode*, joinCond, Join, join.cond)
VELLUM_VARIANT_FIELD(TextList, joinUsing, Join, join.usingCols)
VELLUM_VARIANT_FIELD(SetOpKind, setOp, SetOp, setOp.op)
VELLUM_VARIANT_FIELD(bool, setAll, SetOp, setOp.all)
VELLUM_VARIANT_FIELD(SqlNode*, setRight, SetOp, setOp.right)
VELLUM_VARIANT_FIELD(std::string_view, colName, Column, column.name)
VELLUM_VARIANT_FIELD(SqlNode*, colType, Column, column.type)
VELLUM_VARIANT_FIELD(NodeList, colConstraints, Column, column.constraints)
VELLUM_VARIANT_FIELD(std::string_view, isolationLevel, Txn, txn.isolation)
VELLUM_VARIANT_FIELD(std::string_view, accessMode, Txn, txn.access)
VELLUM_VARIANT_FIELD(NodeList, children, Children, children)

#undef VELLUM_VARIANT_FIELD

SqlNode* newNode(Arena& arena, SqlNodeKind kind, SqlSpan span) {
  // The constructor zeroes the variant, so that every branch starts empty.
  return arena.make<SqlNode>(kind, span);
}

namespace {

SqlNode* newTextNode(Arena& arena, SqlNodeKind kind, std::string_view text, SqlSpan span) {
  SqlNode* n = newNode(arena, kind, span);
  n->strVal() = text;
  return n;
}

}  // namespace

SqlNode* newIdentifier(Arena& arena, std::string_view text, SqlSpan span) {
  return newTextNode(arena, nkIdentifier, text, span);
}

SqlNode* newStringLit(Arena& arena, std::string_view text, SqlSpan span) {
  return newTextNode(arena, nkStringLit, text, span);
}

SqlNode* newIntervalLit(Arena& arena, std::string_view text, SqlSpan span) {
  return newTextNode(arena, nkIntervalLit, text, span);
}

SqlNode* newIntLit(Arena& arena, std::int64_t value, SqlSpan span) {
  SqlNode* n = newNode(arena, nkIntLit, span);
  n->intVal() = value;
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
