// The SQL syntax tree: one record type, SqlNode, keyed by its kind.
//
// Nodes live in the parse call's Arena and are never freed one by one; a
// node may be referenced from more than one place while a tree is built.
// Most statement and clause nodes hold their parts as an ordered list of
// children; a few kinds carry dedicated variant fields instead, and reading
// a variant field that the node's kind does not carry is a defect (checked
// in every accessor). Common fields that only DDL and DML constructs use sit
// in a side record allocated on first write, which keeps the node small.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "support/arena.h"

namespace vellum::sql {

enum SqlNodeKind : std::uint8_t {
  nkSelect, nkExplain, nkValues, nkWithClause, nkCommonTableExpr, nkCteColumnList, nkInsert,
  nkUpdate, nkDelete, nkMerge, nkMergeWhen, nkReturningClause, nkOnConflict, nkCopy,
  nkCreateTable, nkDropTable, nkCreateView, nkDropView, nkAlterTable, nkAlterAddColumn,
  nkAlterDropColumn, nkAlterRenameColumn, nkAlterRenameTable, nkAlterColumn, nkAlterSetDataType,
  nkAlterSetDefault, nkAlterDropDefault, nkAlterSetNotNull, nkAlterDropNotNull, nkTruncate,
  nkCreateIndex, nkCreateContinuousAggregate, nkDropIndex, nkCreateSequence, nkAlterSequence,
  nkDropSequence, nkPragma, nkBegin, nkSetTransaction, nkCommit, nkRollback, nkSavepoint,
  nkRollbackToSavepoint, nkReleaseSavepoint, nkStatementList, nkIdentifier, nkStringLit,
  nkIntervalLit, nkIntLit, nkFloatLit, nkBoolLit, nkNull, nkParameter, nkStar, nkQualifiedStar,
  nkColumnRef, nkBinaryOp, nkUnaryOp, nkRowConstructor, nkTruthPredicate, nkIsDistinctFrom,
  nkCase, nkCaseWhen, nkFunctionCall, nkWindowSpec, nkWindowClause, nkNamedWindow,
  nkQualifyClause, nkDistinctOnClause, nkAggFilterClause, nkWithinGroupClause, nkWindowFrame,
  nkWindowFrameBound, nkPartitionByClause, nkCast, nkTryCast, nkAlias, nkFromClause,
  nkFromTable, nkFromJoin, nkFromDerived, nkFromFunction, nkWhereClause, nkOrderByClause,
  nkOrderByExpr, nkGroupByClause, nkRollup, nkCube, nkGroupingSets, nkGroupingSet,
  nkHavingClause, nkLimitClause, nkOffsetClause, nkSetOperation, nkJoin, nkUsingClause,
  nkColumnDef, nkTypeName, nkDataTypeVector, nkConstraint, nkExprList, nkColumnList,
  nkWithOptions, nkIndexOption, nkVectorLiteral, nkScalarSubquery, nkInSubquery, nkExists,
  nkQuantified,
};
inline constexpr int kSqlNodeKindCount = nkQuantified + 1;

enum SqlBinaryOp : std::uint8_t {
  opEq, opNeq, opLt, opLe, opGt, opGe, opAdd, opSub, opMul, opDiv, opMod, opStringConcat,
  opAnd, opOr, opLike, opNotLike, opILike, opNotILike, opGlob, opNotGlob, opSimilarTo,
  opNotSimilarTo, opIn, opNotIn, opBetween, opNotBetween, opIs, opBitAnd, opBitOr, opBitXor,
  opShiftLeft, opShiftRight,
};

enum SqlUnaryOp : std::uint8_t { opNot, opNeg, opIsNull, opIsNotNull, opBitNot };

enum JoinKind : std::uint8_t { jkInner, jkLeft, jkRight, jkFull, jkCross };
enum SetOpKind : std::uint8_t { soUnion, soIntersect, soExcept };
enum FrameUnit : std::uint8_t { fuRows, fuRange };
enum FrameBoundKind : std::uint8_t {
  fbUnboundedPreceding, fbPreceding, fbCurrentRow, fbFollowing, fbUnboundedFollowing,
};

// The names of the enumerations exactly as written above ("nkSelect", "opEq").
std::string_view kindName(SqlNodeKind kind);
std::string_view binaryOpName(SqlBinaryOp op);
std::string_view unaryOpName(SqlUnaryOp op);

// Line and column (1-based, columns count bytes) of a construct's first and
// last byte. All zero is the "empty span" placeholder that the span back-fill
// replaces by the parent's span. 32 bits suffice: SQL input is at most 1 MiB.
struct SqlSpan {
  std::int32_t startLine = 0;
  std::int32_t startColumn = 0;
  std::int32_t endLine = 0;
  std::int32_t endColumn = 0;

  bool isEmpty() const {
    std::uint64_t start;  // the line and the column, tested at once
    std::memcpy(&start, this, sizeof start);
    return start == 0;
  }
};

struct SqlNode;
using NodeList = ArenaVector<SqlNode*>;
using TextList = ArenaVector<std::string_view>;

// Common fields used only by constraints, COPY, ON CONFLICT, MERGE, EXPLAIN,
// sequences and keyword flags.
struct SqlNodeExtra {
  std::string_view explainFormat;
  std::string_view subKind;
  std::string_view constraintName;
  TextList columnNames;
  std::string_view refTable;
  TextList refColumns;
  std::string_view onDelete;
  std::string_view onUpdate;
  bool deferrable = false;
  bool initiallyDeferred = false;
  // An identifier that the parser made for a keyword flag ("IF NOT EXISTS",
  // "IF EXISTS", "TEMPORARY"), unlike a quoted name that spells one.
  bool keywordFlag = false;
  SqlNode* extraExpr = nullptr;
  std::string_view detailText;
  std::string_view copyDirection;
  std::string_view copyTarget;
  std::string_view copyFormat;
  TextList copyOptions;
  TextList sequenceOptions;
};

struct SqlNode {
  SqlSpan span;

  // Common fields.
  std::int8_t ascending = -1;   // ORDER BY item: -1 not given, 0 DESC, else ASC
  std::int8_t nullsFirst = -1;  // ORDER BY item: -1 not given, 0 NULLS LAST, else FIRST
  bool distinct = false;
  bool star = false;
  bool negated = false;
  bool lateral = false;
  bool withOrdinality = false;
  bool recursive = false;
  bool analyze = false;
  bool limitWithTies = false;
  bool quantifierAll = false;

  SqlNodeKind kind;

  // The variant is zeroed here, inside the constructor: bytes written to the
  // storage before construction are dead to the compiler (lifetime DSE) and
  // may never reach memory, so zeroing in the allocator is not enough.
  explicit SqlNode(SqlNodeKind k, SqlSpan s) : span(s), kind(k) {
    std::memset(static_cast<void*>(&v_), 0, sizeof v_);
  }

  // Rare common fields: read as empty defaults until written.
  const SqlNodeExtra& extra() const;
  SqlNodeExtra& mutableExtra(Arena& arena);

  // Variant fields, each checked against the kind.
  std::string_view& strVal();
  std::int64_t& intVal();
  double& floatVal();
  bool& boolVal();
  SqlBinaryOp& binOp();
  SqlNode*& binLeft();
  SqlNode*& binRight();
  SqlUnaryOp& unOp();
  SqlNode*& unOperand();
  SqlNode*& caseOperand();
  NodeList& caseBranches();
  SqlNode*& caseElse();
  SqlNode*& caseWhen();
  SqlNode*& caseThen();
  FrameUnit& frameUnit();
  SqlNode*& frameStart();
  SqlNode*& frameEnd();
  FrameBoundKind& frameBoundKind();
  std::uint64_t& frameOffset();
  SqlNode*& aliasExpr();
  std::string_view& aliasName();
  TextList& aliasColumns();
  JoinKind& joinKind();
  std::int64_t& paramIndex();
  SqlNode*& joinLeft();
  SqlNode*& joinRight();
  SqlNode*& joinCond();
  TextList& joinUsing();
  SetOpKind& setOp();
  bool& setAll();
  SqlNode*& setRight();
  std::string_view& colName();
  SqlNode*& colType();
  NodeList& colConstraints();
  std::string_view& isolationLevel();
  std::string_view& accessMode();
  NodeList& children();

  // Read-only views of the same fields.
  std::string_view strVal() const { return const_cast<SqlNode*>(this)->strVal(); }
  std::int64_t intVal() const { return const_cast<SqlNode*>(this)->intVal(); }
  double floatVal() const { return const_cast<SqlNode*>(this)->floatVal(); }
  bool boolVal() const { return const_cast<SqlNode*>(this)->boolVal(); }
  SqlBinaryOp binOp() const { return const_cast<SqlNode*>(this)->binOp(); }
  const SqlNode* binLeft() const { return const_cast<SqlNode*>(this)->binLeft(); }
  const SqlNode* binRight() const { return const_cast<SqlNode*>(this)->binRight(); }
  SqlUnaryOp unOp() const { return const_cast<SqlNode*>(this)->unOp(); }
  const SqlNode* unOperand() const { return const_cast<SqlNode*>(this)->unOperand(); }
  const SqlNode* caseOperand() const { return const_cast<SqlNode*>(this)->caseOperand(); }
  const NodeList& caseBranches() const { return const_cast<SqlNode*>(this)->caseBranches(); }
  const SqlNode* caseElse() const { return const_cast<SqlNode*>(this)->caseElse(); }
  const SqlNode* caseWhen() const { return const_cast<SqlNode*>(this)->caseWhen(); }
  const SqlNode* caseThen() const { return const_cast<SqlNode*>(this)->caseThen(); }
  FrameUnit frameUnit() const { return const_cast<SqlNode*>(this)->frameUnit(); }
  const SqlNode* frameStart() const { return const_cast<SqlNode*>(this)->frameStart(); }
  const SqlNode* frameEnd() const { return const_cast<SqlNode*>(this)->frameEnd(); }
  FrameBoundKind frameBoundKind() const { return const_cast<SqlNode*>(this)->frameBoundKind(); }
  std::uint64_t frameOffset() const { return const_cast<SqlNode*>(this)->frameOffset(); }
  const SqlNode* aliasExpr() const { return const_cast<SqlNode*>(this)->aliasExpr(); }
  std::string_view aliasName() const { return const_cast<SqlNode*>(this)->aliasName(); }
  const TextList& aliasColumns() const { return const_cast<SqlNode*>(this)->aliasColumns(); }
  JoinKind joinKind() const { return const_cast<SqlNode*>(this)->joinKind(); }
  std::int64_t paramIndex() const { return const_cast<SqlNode*>(this)->paramIndex(); }
  const SqlNode* joinLeft() const { return const_cast<SqlNode*>(this)->joinLeft(); }
  const SqlNode* joinRight() const { return const_cast<SqlNode*>(this)->joinRight(); }
  const SqlNode* joinCond() const { return const_cast<SqlNode*>(this)->joinCond(); }
  const TextList& joinUsing() const { return const_cast<SqlNode*>(this)->joinUsing(); }
  SetOpKind setOp() const { return const_cast<SqlNode*>(this)->setOp(); }
  bool setAll() const { return const_cast<SqlNode*>(this)->setAll(); }
  const SqlNode* setRight() const { return const_cast<SqlNode*>(this)->setRight(); }
  std::string_view colName() const { return const_cast<SqlNode*>(this)->colName(); }
  const SqlNode* colType() const { return const_cast<SqlNode*>(this)->colType(); }
  const NodeList& colConstraints() const { return const_cast<SqlNode*>(this)->colConstraints(); }
  std::string_view isolationLevel() const { return const_cast<SqlNode*>(this)->isolationLevel(); }
  std::string_view accessMode() const { return const_cast<SqlNode*>(this)->accessMode(); }
  const NodeList& children() const { return const_cast<SqlNode*>(this)->children(); }

  // True when the kind's variant branch is the children list.
  bool hasChildren() const;

  // Child `i`, or a defect when there is no such child.
  SqlNode* child(std::size_t i) { return children()[i]; }
  const SqlNode* child(std::size_t i) const { return children()[i]; }

 private:
  JoinKind joinKind_ = jkInner;  // join kinds only, outside the variant to keep it small
  SqlNodeExtra* extra_ = nullptr;
  union Variant {
    Variant() {}
    std::string_view str;
    std::int64_t i64;
    double f64;
    bool b;
    struct { SqlBinaryOp op; SqlNode* left; SqlNode* right; } bin;
    struct { SqlUnaryOp op; SqlNode* operand; } un;
    struct { SqlNode* operand; NodeList branches; SqlNode* elseExpr; } kase;
    struct { SqlNode* when; SqlNode* then; } caseWhen;
    struct { FrameUnit unit; SqlNode* start; SqlNode* end; } frame;
    struct { FrameBoundKind kind; std::uint64_t offset; } bound;
    struct { SqlNode* expr; std::string_view name; TextList columns; } alias;
    struct { SqlNode* left; SqlNode* right; SqlNode* cond; TextList usingCols; } join;
    struct { SetOpKind op; bool all; SqlNode* right; } setOp;
    struct { std::string_view name; SqlNode* type; NodeList constraints; } column;
    struct { std::string_view isolation; std::string_view access; } txn;
    NodeList children;
  } v_;
};

static_assert(std::is_trivially_destructible_v<SqlNode>);

namespace tree_detail {

// The variant branch a kind carries.
enum class Branch : std::uint8_t {
  Str, Int, Float, Bool, Binary, Unary, Case, CaseWhen, Frame, Bound, Alias, Join, SetOp,
  Column, Txn, Children,
};

constexpr Branch branchOf(SqlNodeKind kind) {
  switch (kind) {
    case nkIdentifier: case nkStringLit: case nkIntervalLit: return Branch::Str;
    case nkIntLit: case nkParameter: return Branch::Int;
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

// The branch of every byte value, as one table look-up (a value outside the
// enumeration reads as children, like the switch's default).
struct BranchTable {
  Branch of[256];
};
inline constexpr BranchTable kBranches = [] {
  BranchTable t{};
  for (int k = 0; k < 256; ++k) t.of[k] = branchOf(static_cast<SqlNodeKind>(k));
  return t;
}();

[[noreturn, gnu::cold]] void wrongBranch(const SqlNode* node, const char* field);

}  // namespace tree_detail

inline bool SqlNode::hasChildren() const { return tree_detail::kBranches.of[kind] == tree_detail::Branch::Children; }

// Variant fields: a read of a field that the kind does not carry is a defect.
// `storage` is the member that holds the field.
#define VELLUM_BRANCH_FIELD(Type, name, branch, storage)                                          \
  inline Type& SqlNode::name() {                                                                  \
    if (tree_detail::kBranches.of[kind] != tree_detail::Branch::branch) [[unlikely]] {          \
      tree_detail::wrongBranch(this, #name);                                                      \
    }                                                                                             \
    return storage;                                                                               \
  }
#define VELLUM_VARIANT_FIELD(Type, name, branch, member) VELLUM_BRANCH_FIELD(Type, name, branch, v_.member)

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
VELLUM_VARIANT_FIELD(std::int64_t, paramIndex, Int, i64)
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

VELLUM_BRANCH_FIELD(JoinKind, joinKind, Join, joinKind_)

#undef VELLUM_VARIANT_FIELD
#undef VELLUM_BRANCH_FIELD

static_assert(sizeof(SqlNode) <= 80, "nodes are the bulk of a large text's memory");

// Node constructors: every one copies the span, sets ascending and nullsFirst
// to -1 and zeroes everything else.
inline SqlNode* newNode(Arena& arena, SqlNodeKind kind, SqlSpan span) {
  // The constructor zeroes the variant, so that every branch starts empty.
  return arena.make<SqlNode>(kind, span);
}
inline SqlNode* newIdentifier(Arena& arena, std::string_view text, SqlSpan span) {
  SqlNode* n = newNode(arena, nkIdentifier, span);
  n->strVal() = text;
  return n;
}
inline SqlNode* newStringLit(Arena& arena, std::string_view text, SqlSpan span) {
  SqlNode* n = newNode(arena, nkStringLit, span);
  n->strVal() = text;
  return n;
}
SqlNode* newIntervalLit(Arena& arena, std::string_view text, SqlSpan span);
inline SqlNode* newIntLit(Arena& arena, std::int64_t value, SqlSpan span) {
  SqlNode* n = newNode(arena, nkIntLit, span);
  n->intVal() = value;
  return n;
}
SqlNode* newFloatLit(Arena& arena, double value, SqlSpan span);
SqlNode* newBoolLit(Arena& arena, bool value, SqlSpan span);
SqlNode* newNull(Arena& arena, SqlSpan span);
SqlNode* newStar(Arena& arena, SqlSpan span);
SqlNode* newUnary(Arena& arena, SqlUnaryOp op, SqlNode* operand, SqlSpan span);
SqlNode* newBinary(Arena& arena, SqlBinaryOp op, SqlNode* left, SqlNode* right, SqlSpan span);

// The text that names a node: strVal of identifiers and string literals, the
// empty string for other literals, parameters and null, nodeText of the first
// child for kinds with children (empty when there is none). Other kinds are
// a defect.
std::string_view nodeText(const SqlNode* node);

}  // namespace vellum::sql
