// Validation of continuous aggregate statements: the statement checks, the
// node walk with its cycle, depth and span checks, and the shape check of
// every node kind whose layout the writers rely on.
//
// The walk keeps its own stack of at most 128 frames, which is also the
// ancestor path used to find cycles: a node is a cycle only when it is one of
// its own ancestors, so a node shared by two branches passes. A node deeper
// than the limit fails before anything is pushed for it, so neither the call
// stack nor the frame stack grows with the tree.
#include "ffi/sql_validate.h"

#include <cstddef>
#include <string>

#include "ffi/staged_writer.h"

namespace vellum::sql {
namespace {

[[noreturn]] void fail(const char* message) { stagedValidationError(message); }

bool isKind(const SqlNode* node, SqlNodeKind kind) { return node != nullptr && node->kind == kind; }

void requireChildren(const SqlNode* node, std::size_t count, const char* message) {
  if (node->children().size() != count) fail(message);
}

bool validSpan(const SqlSpan& s) {
  if (s.startLine < 1 || s.startColumn < 1 || s.endLine < 1 || s.endColumn < 1) return false;
  if (s.endLine < s.startLine) return false;
  return s.endLine != s.startLine || s.endColumn >= s.startColumn;
}

bool completeBranch(const SqlNode* branch) {
  return isKind(branch, nkCaseWhen) && branch->caseWhen() != nullptr && branch->caseThen() != nullptr;
}

// The parts of an OVER (...) window, each at most once and in this order:
// base window name, PARTITION BY, ORDER BY, frame.
void checkWindowSpec(const SqlNode* window) {
  enum Part { kNone, kBase, kPartition, kOrder, kFrame };
  Part seen = kNone;
  for (const SqlNode* part : window->children()) {
    if (isKind(part, nkIdentifier)) {
      if (seen >= kBase) fail("invalid base in window definition");
      seen = kBase;
    } else if (isKind(part, nkPartitionByClause)) {
      if (seen >= kPartition || part->children().empty()) fail("invalid PARTITION BY in window definition");
      seen = kPartition;
    } else if (isKind(part, nkOrderByClause)) {
      if (seen >= kOrder || part->children().empty()) fail("invalid ORDER BY in window definition");
      seen = kOrder;
    } else if (isKind(part, nkWindowFrame)) {
      if (seen >= kFrame || part->frameStart() == nullptr || part->frameEnd() == nullptr) {
        fail("invalid frame in window definition");
      }
      seen = kFrame;
    } else {
      // A nil part is no part either.
      fail("invalid child in window definition");
    }
  }
}

void checkFunctionCall(const SqlNode* call) {
  const NodeList& children = call->children();
  if (children.empty()) fail("function call must have at least 1 child");
  for (std::size_t i = 1; i < children.size(); ++i) {
    if (isKind(children[i], nkWindowSpec) && i + 1 != children.size()) {
      fail("window definition must be the last function-call child");
    }
  }
  for (std::size_t i = 1; i < children.size(); ++i) {
    if (isKind(children[i], nkAggFilterClause) || isKind(children[i], nkWithinGroupClause) ||
        isKind(children[i], nkOrderByClause)) {
      fail("staged continuous aggregate query cannot contain aggregate FILTER, WITHIN GROUP, or aggregate ORDER BY");
    }
  }
}

void checkBinary(const SqlNode* node) {
  const SqlNode* right = node->binRight();
  if (node->binLeft() == nullptr || right == nullptr) fail("binary expression operands must not be nil");
  SqlBinaryOp op = node->binOp();
  if ((op == opBetween || op == opNotBetween) && (right->kind != nkExprList || right->children().size() != 2)) {
    fail("BETWEEN bounds must have exactly 2 children");
  }
  if (op >= opLike && op <= opNotSimilarTo && right->kind == nkExprList && right->children().empty()) {
    fail("pattern expression list must not be empty");
  }
}

// The shape check of the node's kind; kinds without one pass.
void checkShape(const SqlNode* node) {
  switch (node->kind) {
    case nkVectorLiteral:
      for (const SqlNode* child : node->children()) {
        if (!isKind(child, nkFloatLit)) fail("vector literal children must be nkFloatLit");
      }
      return;
    case nkFromDerived:
      requireChildren(node, 1, "subquery must have exactly 1 child");
      if (node->lateral) fail("staged continuous aggregate query cannot contain LATERAL");
      return;
    case nkScalarSubquery:
    case nkExists:
      requireChildren(node, 1, "subquery must have exactly 1 child");
      return;
    case nkFromFunction:
      fail("staged continuous aggregate query cannot contain a FROM table function");
    case nkAlias:
      if (!node->aliasColumns().empty() && isKind(node->aliasExpr(), nkIdentifier)) {
        fail("staged continuous aggregate query cannot contain a table alias column list");
      }
      return;
    case nkCast:
    case nkTryCast:
      requireChildren(node, 2, "cast expression must have exactly 2 children");
      return;
    case nkColumnRef:
      requireChildren(node, 2, "column reference must have exactly 2 children");
      return;
    case nkQualifiedStar:
      requireChildren(node, 1, "qualified wildcard must have exactly 1 child");
      return;
    case nkWhereClause:
      requireChildren(node, 1, "WHERE clause must have exactly 1 child");
      return;
    case nkHavingClause:
      requireChildren(node, 1, "HAVING clause must have exactly 1 child");
      return;
    case nkQualifyClause:
      requireChildren(node, 1, "QUALIFY clause must have exactly 1 child");
      return;
    case nkInSubquery:
      requireChildren(node, 2, "IN subquery must have exactly 2 children");
      return;
    case nkQuantified:
      requireChildren(node, 3, "quantified expression must have exactly 3 children");
      return;
    case nkBinaryOp:
      checkBinary(node);
      return;
    case nkSetOperation:
      if (!isKind(node->setRight(), nkSelect)) fail("set-operation right input must be nkSelect");
      return;
    case nkCaseWhen:
      if (node->caseWhen() == nullptr || node->caseThen() == nullptr) {
        fail("CASE branch must contain WHEN and THEN expressions");
      }
      return;
    case nkCase:
      if (node->caseBranches().empty()) fail("CASE expression must have at least 1 branch");
      for (const SqlNode* branch : node->caseBranches()) {
        if (!completeBranch(branch)) fail("CASE branch must contain WHEN and THEN expressions");
      }
      return;
    case nkWindowFrame:
      if (!isKind(node->frameStart(), nkWindowFrameBound) || !isKind(node->frameEnd(), nkWindowFrameBound)) {
        fail("window frame must contain two bounds");
      }
      return;
    case nkWindowFrameBound:
      if (node->frameOffset() != 0 && node->frameBoundKind() != fbPreceding &&
          node->frameBoundKind() != fbFollowing) {
        fail("non-offset window frame bound has an offset");
      }
      return;
    case nkNamedWindow:
      requireChildren(node, 2, "named window must have exactly 2 children");
      if (!isKind(node->child(0), nkIdentifier) || !isKind(node->child(1), nkWindowSpec)) {
        fail("named window must contain a name and definition");
      }
      return;
    case nkWindowClause:
      if (node->children().empty()) fail("WINDOW clause must contain a definition");
      for (const SqlNode* window : node->children()) {
        if (!isKind(window, nkNamedWindow)) fail("WINDOW clause contains an invalid definition");
      }
      return;
    case nkFunctionCall:
      checkFunctionCall(node);
      return;
    case nkWindowSpec:
      checkWindowSpec(node);
      return;
    default:
      return;
  }
}

// The node-valued parts the walk visits, in order. Nil parts are visited
// (and fail) except the optional CASE operand and ELSE and the join
// condition.
std::size_t walkedCount(const SqlNode* node) {
  switch (node->kind) {
    case nkIdentifier: case nkStringLit: case nkIntervalLit: case nkIntLit: case nkFloatLit:
    case nkBoolLit: case nkNull: case nkParameter: case nkStar: case nkWindowFrameBound:
      return 0;
    case nkBinaryOp: case nkCaseWhen: case nkWindowFrame:
      return 2;
    case nkUnaryOp: case nkSetOperation: case nkAlias:
      return 1;
    case nkCase:
      return (node->caseOperand() != nullptr ? 1 : 0) + node->caseBranches().size() +
             (node->caseElse() != nullptr ? 1 : 0);
    case nkFromJoin: case nkJoin:
      return node->joinCond() != nullptr ? 3 : 2;
    case nkColumnDef:
      return 1 + node->colConstraints().size();
    default:
      return node->children().size();
  }
}

const SqlNode* walkedPart(const SqlNode* node, std::size_t i) {
  switch (node->kind) {
    case nkBinaryOp: return i == 0 ? node->binLeft() : node->binRight();
    case nkCaseWhen: return i == 0 ? node->caseWhen() : node->caseThen();
    case nkWindowFrame: return i == 0 ? node->frameStart() : node->frameEnd();
    case nkUnaryOp: return node->unOperand();
    case nkSetOperation: return node->setRight();
    case nkAlias: return node->aliasExpr();
    case nkCase: {
      if (node->caseOperand() != nullptr) {
        if (i == 0) return node->caseOperand();
        --i;
      }
      const NodeList& branches = node->caseBranches();
      return i < branches.size() ? branches[i] : node->caseElse();
    }
    case nkFromJoin: case nkJoin:
      return i == 0 ? node->joinLeft() : i == 1 ? node->joinRight() : node->joinCond();
    case nkColumnDef: return i == 0 ? node->colType() : node->colConstraints()[i - 1];
    default: return node->children()[i];
  }
}

class NodeWalk {
 public:
  // Walks the whole tree under `root`, which is at depth 1.
  void run(const SqlNode* root) {
    enter(root);
    while (size_ > 0) {
      Frame& top = frames_[size_ - 1];
      if (top.next == walkedCount(top.node)) {
        --size_;
        continue;
      }
      enter(walkedPart(top.node, top.next++));
    }
  }

 private:
  struct Frame {
    const SqlNode* node;
    std::size_t next;  // the next part to visit
  };

  // The checks of one node at depth size_ + 1; the node's frame is pushed
  // only once they pass, so at most kMaxValidatedDepth frames exist.
  void enter(const SqlNode* node) {
    if (node == nullptr) fail("staged MessagePack tree contains a nil node");
    for (std::size_t i = 0; i < size_; ++i) {
      if (frames_[i].node == node) fail("staged MessagePack tree contains a cycle");
    }
    if (size_ + 1 > static_cast<std::size_t>(kMaxValidatedDepth)) {
      fail("maximum staged AST nesting depth of 128 exceeded");
    }
    if (!validSpan(node->span)) fail("staged MessagePack tree contains an invalid span");
    checkShape(node);
    frames_[size_++] = Frame{node, 0};
  }

  Frame frames_[kMaxValidatedDepth];
  std::size_t size_ = 0;
};

// Step 7: clauses a continuous aggregate query may not hold at its top.
void checkQueryClauses(const SqlNode* query) {
  for (const SqlNode* child : query->children()) {
    switch (child->kind) {
      case nkWindowClause: fail("staged continuous aggregate query cannot contain WINDOW");
      case nkQualifyClause: fail("staged continuous aggregate query cannot contain QUALIFY");
      case nkDistinctOnClause: fail("staged continuous aggregate query cannot contain DISTINCT ON");
      case nkLimitClause:
        if (child->limitWithTies) fail("staged continuous aggregate query cannot contain FETCH ... WITH TIES");
        break;
      default:
        break;
    }
  }
}

void checkOption(const SqlNode* option, const char* expectedKey) {
  if (option->kind != nkIndexOption) fail("continuous aggregate option must be nkIndexOption");
  requireChildren(option, 2, "continuous aggregate option must have exactly 2 children");
  const SqlNode* key = option->child(0);
  const SqlNode* value = option->child(1);
  if (key->kind != nkIdentifier) fail("continuous aggregate option key must be nkIdentifier");
  if (value->kind != nkStringLit) fail("continuous aggregate option value must be nkStringLit");
  if (key->strVal() != expectedKey) stagedValidationError(std::string("expected option ") + expectedKey);
  if (value->strVal().empty()) fail("continuous aggregate option value must not be empty");
}

}  // namespace

void validateContinuousAggregate(const SqlNode* statement) {
  if (statement == nullptr) fail("continuous aggregate statement must not be nil");
  if (statement->kind != nkCreateContinuousAggregate) fail("expected nkCreateContinuousAggregate statement");
  requireChildren(statement, 3, "continuous aggregate statement must have exactly 3 children");
  // After the walk every node below is non-nil and has its kind's layout.
  NodeWalk().run(statement);
  const SqlNode* name = statement->child(0);
  if (name->kind != nkIdentifier || name->strVal().empty()) fail("continuous aggregate name must be nkIdentifier");
  const SqlNode* query = statement->child(1);
  if (query->kind != nkSelect) fail("continuous aggregate query must be nkSelect");
  checkQueryClauses(query);
  const SqlNode* options = statement->child(2);
  if (options->kind != nkWithOptions) fail("continuous aggregate options must be nkWithOptions");
  requireChildren(options, 2, "continuous aggregate must have exactly 2 options");
  checkOption(options->child(0), "retention");
  checkOption(options->child(1), "refresh_interval");
}

}  // namespace vellum::sql
