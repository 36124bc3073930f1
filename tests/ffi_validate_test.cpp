// Validation of continuous aggregate statements on trees changed or built by
// hand: most of what it refuses (nil nodes, cycles, bad spans, wrong child
// counts) the parser never makes.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ffi/sql_validate.h"
#include "sql/parser.h"
#include "support/arena.h"
#include "support/errors.h"
#include "support/threads.h"

namespace {

using namespace vellum::sql;
using vellum::Arena;

constexpr SqlSpan kSpan{1, 1, 1, 1};
constexpr char kBase[] =
    "CREATE CONTINUOUS AGGREGATE m AS SELECT a FROM t WITH (retention = '1d', refresh_interval = '1h')";

std::string outcome(const SqlNode* statement) {
  try {
    validateContinuousAggregate(statement);
    return "ok";
  } catch (const vellum::ValueError& e) {
    return e.message();
  } catch (const vellum::VellumError& e) {
    return std::string("other error: ") + e.what();
  }
}

SqlNode* node(Arena& a, SqlNodeKind kind, std::initializer_list<SqlNode*> children = {}) {
  SqlNode* n = newNode(a, kind, kSpan);
  for (SqlNode* child : children) n->children().push_back(a, child);
  return n;
}
SqlNode* id(Arena& a, std::string_view text = "x") { return newIdentifier(a, text, kSpan); }
SqlNode* str(Arena& a, std::string_view text = "x") { return newStringLit(a, text, kSpan); }
SqlNode* binary(Arena& a, SqlBinaryOp op, SqlNode* left, SqlNode* right) { return newBinary(a, op, left, right, kSpan); }
SqlNode* bound(Arena& a, FrameBoundKind kind, std::uint64_t offset = 0) {
  SqlNode* b = node(a, nkWindowFrameBound);
  b->frameBoundKind() = kind;
  b->frameOffset() = offset;
  return b;
}
SqlNode* frame(Arena& a, SqlNode* start, SqlNode* end) {
  SqlNode* f = node(a, nkWindowFrame);
  f->frameStart() = start;
  f->frameEnd() = end;
  return f;
}
SqlNode* alias(Arena& a, SqlNode* expr, bool columns) {
  SqlNode* n = node(a, nkAlias);
  n->aliasExpr() = expr;
  n->aliasName() = "s";
  if (columns) n->aliasColumns().push_back(a, "c");
  return n;
}
SqlNode* caseWhen(Arena& a, SqlNode* when, SqlNode* then) {
  SqlNode* n = node(a, nkCaseWhen);
  n->caseWhen() = when;
  n->caseThen() = then;
  return n;
}
SqlNode* caseOf(Arena& a, std::initializer_list<SqlNode*> branches) {
  SqlNode* n = node(a, nkCase);
  for (SqlNode* b : branches) n->caseBranches().push_back(a, b);
  return n;
}
SqlNode* orderBy(Arena& a) { return node(a, nkOrderByClause, {id(a)}); }
SqlNode* partitionBy(Arena& a) { return node(a, nkPartitionByClause, {id(a)}); }
SqlNode* rowsFrame(Arena& a) { return frame(a, bound(a, fbPreceding, 1), bound(a, fbCurrentRow)); }
SqlNode* call(Arena& a, std::initializer_list<SqlNode*> parts) {
  SqlNode* n = node(a, nkFunctionCall, {id(a, "f")});
  for (SqlNode* p : parts) n->children().push_back(a, p);
  return n;
}
SqlNode* namedWindow(Arena& a) { return node(a, nkNamedWindow, {id(a, "w"), node(a, nkWindowSpec)}); }

// The parsed base statement, and its parts.
struct Base {
  Arena arena;
  SqlNode* statement;
  Base() { statement = parseStatements(kBase, arena)[0]; }
  SqlNode* query() { return statement->child(1); }
  SqlNode* projection() { return query()->child(0); }
  SqlNode* option(std::size_t i) { return statement->child(2)->child(i); }
  // Puts `item` in place of the projection's only item.
  void setItem(SqlNode* item) { projection()->children()[0] = item; }
};

struct ItemCase {
  const char* what;
  std::function<SqlNode*(Arena&)> item;
  const char* message;
};

TEST(ValidateTest, ParsedStatementPasses) {
  Base base;
  EXPECT_EQ(outcome(base.statement), "ok");
}

TEST(ValidateTest, ShapeChecksOfEveryKind) {
  const std::vector<ItemCase> cases = {
      {"vector of ints", [](Arena& a) { return node(a, nkVectorLiteral, {newFloatLit(a, 1, kSpan), newIntLit(a, 1, kSpan)}); },
       "vector literal children must be nkFloatLit"},
      {"vector with nil", [](Arena& a) { return node(a, nkVectorLiteral, {nullptr}); }, "vector literal children must be nkFloatLit"},
      {"vector of floats", [](Arena& a) { return node(a, nkVectorLiteral, {newFloatLit(a, 1, kSpan)}); }, "ok"},
      {"empty scalar subquery", [](Arena& a) { return node(a, nkScalarSubquery); }, "subquery must have exactly 1 child"},
      {"EXISTS of two", [](Arena& a) { return node(a, nkExists, {node(a, nkSelect), node(a, nkSelect)}); },
       "subquery must have exactly 1 child"},
      {"empty derived", [](Arena& a) { return node(a, nkFromDerived); }, "subquery must have exactly 1 child"},
      {"lateral derived",
       [](Arena& a) {
         SqlNode* d = node(a, nkFromDerived, {node(a, nkSelect)});
         d->lateral = true;
         return d;
       },
       "staged continuous aggregate query cannot contain LATERAL"},
      {"table function", [](Arena& a) { return node(a, nkFromFunction, {id(a)}); },
       "staged continuous aggregate query cannot contain a FROM table function"},
      {"alias columns on a table", [](Arena& a) { return alias(a, id(a), true); },
       "staged continuous aggregate query cannot contain a table alias column list"},
      {"alias columns on a derived table", [](Arena& a) { return alias(a, node(a, nkFromDerived, {node(a, nkSelect)}), true); }, "ok"},
      {"CAST of one", [](Arena& a) { return node(a, nkCast, {id(a)}); }, "cast expression must have exactly 2 children"},
      {"TRY_CAST of three", [](Arena& a) { return node(a, nkTryCast, {id(a), id(a), id(a)}); },
       "cast expression must have exactly 2 children"},
      {"column ref of one", [](Arena& a) { return node(a, nkColumnRef, {id(a)}); }, "column reference must have exactly 2 children"},
      {"qualified star of none", [](Arena& a) { return node(a, nkQualifiedStar); }, "qualified wildcard must have exactly 1 child"},
      {"empty WHERE", [](Arena& a) { return node(a, nkWhereClause); }, "WHERE clause must have exactly 1 child"},
      {"HAVING of two", [](Arena& a) { return node(a, nkHavingClause, {id(a), id(a)}); }, "HAVING clause must have exactly 1 child"},
      {"empty QUALIFY", [](Arena& a) { return node(a, nkQualifyClause); }, "QUALIFY clause must have exactly 1 child"},
      {"IN subquery of one", [](Arena& a) { return node(a, nkInSubquery, {id(a)}); }, "IN subquery must have exactly 2 children"},
      {"quantified of two", [](Arena& a) { return node(a, nkQuantified, {id(a), id(a)}); },
       "quantified expression must have exactly 3 children"},
      {"binary without left", [](Arena& a) { return binary(a, opAdd, nullptr, id(a)); }, "binary expression operands must not be nil"},
      {"binary without right", [](Arena& a) { return binary(a, opBetween, id(a), nullptr); }, "binary expression operands must not be nil"},
      {"BETWEEN of a name", [](Arena& a) { return binary(a, opBetween, id(a), id(a)); }, "BETWEEN bounds must have exactly 2 children"},
      {"NOT BETWEEN of three", [](Arena& a) { return binary(a, opNotBetween, id(a), node(a, nkExprList, {id(a), id(a), id(a)})); },
       "BETWEEN bounds must have exactly 2 children"},
      {"BETWEEN of two", [](Arena& a) { return binary(a, opBetween, id(a), node(a, nkExprList, {id(a), id(a)})); }, "ok"},
      {"LIKE of no pattern", [](Arena& a) { return binary(a, opLike, id(a), node(a, nkExprList)); },
       "pattern expression list must not be empty"},
      {"NOT SIMILAR TO of no pattern", [](Arena& a) { return binary(a, opNotSimilarTo, id(a), node(a, nkExprList)); },
       "pattern expression list must not be empty"},
      {"IN of an empty list", [](Arena& a) { return binary(a, opIn, id(a), node(a, nkExprList)); }, "ok"},
      {"GLOB of a name", [](Arena& a) { return binary(a, opGlob, id(a), str(a)); }, "ok"},
      {"set operation without right",
       [](Arena& a) { return node(a, nkSetOperation); }, "set-operation right input must be nkSelect"},
      {"set operation over VALUES",
       [](Arena& a) {
         SqlNode* s = node(a, nkSetOperation);
         s->setRight() = node(a, nkValues);
         return s;
       },
       "set-operation right input must be nkSelect"},
      {"WHEN without THEN", [](Arena& a) { return caseWhen(a, id(a), nullptr); }, "CASE branch must contain WHEN and THEN expressions"},
      {"CASE without branches", [](Arena& a) { return caseOf(a, {}); }, "CASE expression must have at least 1 branch"},
      {"CASE with a name as branch", [](Arena& a) { return caseOf(a, {id(a)}); }, "CASE branch must contain WHEN and THEN expressions"},
      {"CASE with a nil branch", [](Arena& a) { return caseOf(a, {nullptr}); }, "CASE branch must contain WHEN and THEN expressions"},
      {"CASE branch without WHEN", [](Arena& a) { return caseOf(a, {caseWhen(a, nullptr, id(a))}); },
       "CASE branch must contain WHEN and THEN expressions"},
      {"frame without start", [](Arena& a) { return frame(a, nullptr, bound(a, fbCurrentRow)); }, "window frame must contain two bounds"},
      {"frame ending in a name", [](Arena& a) { return frame(a, bound(a, fbCurrentRow), id(a)); }, "window frame must contain two bounds"},
      {"CURRENT ROW with an offset", [](Arena& a) { return bound(a, fbCurrentRow, 3); }, "non-offset window frame bound has an offset"},
      {"UNBOUNDED with an offset", [](Arena& a) { return bound(a, fbUnboundedFollowing, 1); },
       "non-offset window frame bound has an offset"},
      {"FOLLOWING with an offset", [](Arena& a) { return bound(a, fbFollowing, 7); }, "ok"},
      {"named window of one", [](Arena& a) { return node(a, nkNamedWindow, {id(a)}); }, "named window must have exactly 2 children"},
      {"named window of a string", [](Arena& a) { return node(a, nkNamedWindow, {str(a), node(a, nkWindowSpec)}); },
       "named window must contain a name and definition"},
      {"named window without its definition", [](Arena& a) { return node(a, nkNamedWindow, {id(a), nullptr}); },
       "named window must contain a name and definition"},
      {"empty WINDOW", [](Arena& a) { return node(a, nkWindowClause); }, "WINDOW clause must contain a definition"},
      {"WINDOW of a name", [](Arena& a) { return node(a, nkWindowClause, {namedWindow(a), id(a)}); },
       "WINDOW clause contains an invalid definition"},
      {"call without name", [](Arena& a) { return node(a, nkFunctionCall); }, "function call must have at least 1 child"},
      {"OVER before an argument", [](Arena& a) { return call(a, {node(a, nkWindowSpec), id(a)}); },
       "window definition must be the last function-call child"},
      // The OVER position is checked over all children before the clauses.
      {"FILTER then OVER first", [](Arena& a) { return call(a, {node(a, nkAggFilterClause, {id(a)}), node(a, nkWindowSpec), id(a)}); },
       "window definition must be the last function-call child"},
      {"FILTER", [](Arena& a) { return call(a, {id(a), node(a, nkAggFilterClause, {id(a)})}); },
       "staged continuous aggregate query cannot contain aggregate FILTER, WITHIN GROUP, or aggregate ORDER BY"},
      {"WITHIN GROUP", [](Arena& a) { return call(a, {node(a, nkWithinGroupClause, {id(a)})}); },
       "staged continuous aggregate query cannot contain aggregate FILTER, WITHIN GROUP, or aggregate ORDER BY"},
      {"aggregate ORDER BY", [](Arena& a) { return call(a, {id(a), orderBy(a)}); },
       "staged continuous aggregate query cannot contain aggregate FILTER, WITHIN GROUP, or aggregate ORDER BY"},
      // Child 0 is the name, whatever its kind.
      {"call named by ORDER BY", [](Arena& a) { return node(a, nkFunctionCall, {orderBy(a)}); }, "ok"},
      {"OVER last", [](Arena& a) { return call(a, {id(a), node(a, nkWindowSpec, {id(a), partitionBy(a), orderBy(a), rowsFrame(a)})}); },
       "ok"},
  };
  for (const ItemCase& c : cases) {
    Base base;
    base.setItem(c.item(base.arena));
    EXPECT_EQ(outcome(base.statement), c.message) << c.what;
  }
}

TEST(ValidateTest, WindowPartsInOrder) {
  const std::vector<ItemCase> cases = {
      {"base twice", [](Arena& a) { return node(a, nkWindowSpec, {id(a), id(a)}); }, "invalid base in window definition"},
      {"base after PARTITION", [](Arena& a) { return node(a, nkWindowSpec, {partitionBy(a), id(a)}); },
       "invalid base in window definition"},
      {"PARTITION after ORDER", [](Arena& a) { return node(a, nkWindowSpec, {orderBy(a), partitionBy(a)}); },
       "invalid PARTITION BY in window definition"},
      {"PARTITION twice", [](Arena& a) { return node(a, nkWindowSpec, {partitionBy(a), partitionBy(a)}); },
       "invalid PARTITION BY in window definition"},
      {"empty PARTITION", [](Arena& a) { return node(a, nkWindowSpec, {node(a, nkPartitionByClause)}); },
       "invalid PARTITION BY in window definition"},
      {"ORDER after frame", [](Arena& a) { return node(a, nkWindowSpec, {rowsFrame(a), orderBy(a)}); },
       "invalid ORDER BY in window definition"},
      {"empty ORDER", [](Arena& a) { return node(a, nkWindowSpec, {id(a), node(a, nkOrderByClause)}); },
       "invalid ORDER BY in window definition"},
      {"frame twice", [](Arena& a) { return node(a, nkWindowSpec, {rowsFrame(a), rowsFrame(a)}); },
       "invalid frame in window definition"},
      // The window is checked before its frame is visited.
      {"frame without end", [](Arena& a) { return node(a, nkWindowSpec, {frame(a, bound(a, fbCurrentRow), nullptr)}); },
       "invalid frame in window definition"},
      {"string part", [](Arena& a) { return node(a, nkWindowSpec, {str(a)}); }, "invalid child in window definition"},
      {"nil part", [](Arena& a) { return node(a, nkWindowSpec, {partitionBy(a), nullptr}); }, "invalid child in window definition"},
      {"frame only", [](Arena& a) { return node(a, nkWindowSpec, {rowsFrame(a)}); }, "ok"},
      {"empty", [](Arena& a) { return node(a, nkWindowSpec); }, "ok"},
  };
  for (const ItemCase& c : cases) {
    Base base;
    base.setItem(c.item(base.arena));
    EXPECT_EQ(outcome(base.statement), c.message) << c.what;
  }
}

TEST(ValidateTest, NilNodesCyclesAndSharedNodes) {
  const std::vector<ItemCase> cases = {
      {"nil operand", [](Arena& a) { return newUnary(a, opNeg, nullptr, kSpan); }, "staged MessagePack tree contains a nil node"},
      {"nil alias", [](Arena& a) { return alias(a, nullptr, false); }, "staged MessagePack tree contains a nil node"},
      {"nil child", [](Arena& a) { return node(a, nkRowConstructor, {id(a), nullptr}); }, "staged MessagePack tree contains a nil node"},
      {"nil column type",
       [](Arena& a) {
         SqlNode* c = node(a, nkColumnDef);
         c->colName() = "c";
         return c;
       },
       "staged MessagePack tree contains a nil node"},
      {"node under itself",
       [](Arena& a) {
         SqlNode* n = newUnary(a, opNeg, nullptr, kSpan);
         n->unOperand() = n;
         return n;
       },
       "staged MessagePack tree contains a cycle"},
      {"node under its grandchild",
       [](Arena& a) {
         SqlNode* outer = node(a, nkRowConstructor);
         SqlNode* inner = binary(a, opAdd, id(a), outer);
         outer->children().push_back(a, inner);
         return outer;
       },
       "staged MessagePack tree contains a cycle"},
      {"one node on both sides",
       [](Arena& a) {
         SqlNode* shared = node(a, nkRowConstructor, {id(a), id(a)});
         return binary(a, opAdd, shared, shared);
       },
       "ok"},
      {"CASE parts in order",
       [](Arena& a) {
         SqlNode* c = caseOf(a, {caseWhen(a, id(a), id(a))});
         c->caseOperand() = id(a);
         c->caseElse() = newUnary(a, opNeg, nullptr, kSpan);
         return c;
       },
       "staged MessagePack tree contains a nil node"},
      {"join without condition",
       [](Arena& a) {
         SqlNode* j = node(a, nkJoin);
         j->joinLeft() = id(a);
         j->joinRight() = id(a);
         return j;
       },
       "ok"},
      {"join without right side",
       [](Arena& a) {
         SqlNode* j = node(a, nkFromJoin);
         j->joinLeft() = id(a);
         return j;
       },
       "staged MessagePack tree contains a nil node"},
  };
  for (const ItemCase& c : cases) {
    Base base;
    base.setItem(c.item(base.arena));
    EXPECT_EQ(outcome(base.statement), c.message) << c.what;
  }
}

TEST(ValidateTest, Spans) {
  struct SpanCase {
    SqlSpan span;
    bool valid;
  };
  const SpanCase cases[] = {
      {{1, 1, 1, 1}, true},   {{1, 5, 2, 1}, true},   {{3, 9, 3, 9}, true},  {{1, 5, 1, 4}, false},
      {{2, 1, 1, 9}, false},  {{0, 0, 0, 0}, false},  {{1, 1, 0, 0}, false}, {{1, 0, 1, 5}, false},
      {{0, 3, 1, 5}, false},  {{1, 3, 1, -1}, false},
  };
  for (const SpanCase& c : cases) {
    Base base;
    SqlNode* item = id(base.arena);
    item->span = c.span;
    base.setItem(item);
    EXPECT_EQ(outcome(base.statement), c.valid ? "ok" : "staged MessagePack tree contains an invalid span")
        << c.span.startLine << ":" << c.span.startColumn << "-" << c.span.endLine << ":" << c.span.endColumn;
  }
}

// The statement is at depth 1, the query at 2, the projection at 3, so a
// chain of n unary nodes in the projection puts its leaf at depth n + 4.
std::string chainOutcome(std::size_t unaries) {
  Base base;
  SqlNode* item = id(base.arena);
  for (std::size_t i = 0; i < unaries; ++i) item = newUnary(base.arena, opNeg, item, kSpan);
  base.setItem(item);
  return outcome(base.statement);
}

TEST(ValidateTest, DepthLimit) {
  EXPECT_EQ(chainOutcome(124), "ok");
  EXPECT_EQ(chainOutcome(125), "maximum staged AST nesting depth of 128 exceeded");
  // A chain as long as a 1 MiB text can make ends cleanly on a small stack.
  vellum_test::runOnThreadWithStack(vellum_test::kOneMiB, [] {
    EXPECT_EQ(chainOutcome(500000), "maximum staged AST nesting depth of 128 exceeded");
  });
}

// n unary nodes whose innermost operand is `last` (made from the innermost
// and the outermost node).
std::string chainEndingIn(std::size_t unaries, const std::function<void(Arena&, SqlNode* inner, SqlNode* outer)>& last) {
  Base base;
  SqlNode* inner = newUnary(base.arena, opNeg, nullptr, kSpan);
  SqlNode* outer = inner;
  for (std::size_t i = 1; i < unaries; ++i) outer = newUnary(base.arena, opNeg, outer, kSpan);
  last(base.arena, inner, outer);
  base.setItem(outer);
  return outcome(base.statement);
}

TEST(ValidateTest, NilAndCycleChecksComeBeforeTheDepthCheckAndSpansAfter) {
  auto nil = [](Arena&, SqlNode*, SqlNode*) {};
  auto cycle = [](Arena&, SqlNode* inner, SqlNode* outer) { inner->unOperand() = outer; };
  auto badSpan = [](Arena& a, SqlNode* inner, SqlNode*) { inner->unOperand() = newIdentifier(a, "x", SqlSpan{}); };
  // 125 unaries: the innermost at depth 128, its operand at 129.
  EXPECT_EQ(chainEndingIn(125, nil), "staged MessagePack tree contains a nil node");
  EXPECT_EQ(chainEndingIn(125, cycle), "staged MessagePack tree contains a cycle");
  EXPECT_EQ(chainEndingIn(125, badSpan), "maximum staged AST nesting depth of 128 exceeded");
  EXPECT_EQ(chainEndingIn(124, badSpan), "staged MessagePack tree contains an invalid span");
}

struct StatementCase {
  const char* what;
  std::function<void(Base&)> change;
  const char* message;
};

TEST(ValidateTest, StatementChecksInOrder) {
  const std::vector<StatementCase> cases = {
      {"not an aggregate", [](Base& b) { b.statement->kind = nkCreateView; }, "expected nkCreateContinuousAggregate statement"},
      {"two children", [](Base& b) { b.statement->children().pop_back(); },
       "continuous aggregate statement must have exactly 3 children"},
      {"four children", [](Base& b) { b.statement->children().push_back(b.arena, id(b.arena)); },
       "continuous aggregate statement must have exactly 3 children"},
      // The walk comes before the checks of the name, query and options.
      {"nil name", [](Base& b) { b.statement->children()[0] = nullptr; }, "staged MessagePack tree contains a nil node"},
      {"bad span under WINDOW",
       [](Base& b) {
         b.query()->children().push_back(b.arena, node(b.arena, nkWindowClause, {namedWindow(b.arena)}));
         b.option(1)->span.endLine = 0;
       },
       "staged MessagePack tree contains an invalid span"},
      {"string name", [](Base& b) { b.statement->children()[0] = str(b.arena, "m"); }, "continuous aggregate name must be nkIdentifier"},
      {"empty name", [](Base& b) { b.statement->child(0)->strVal() = ""; }, "continuous aggregate name must be nkIdentifier"},
      {"VALUES query", [](Base& b) { b.query()->kind = nkValues; }, "continuous aggregate query must be nkSelect"},
      {"WINDOW",
       [](Base& b) { b.query()->children().push_back(b.arena, node(b.arena, nkWindowClause, {namedWindow(b.arena)})); },
       "staged continuous aggregate query cannot contain WINDOW"},
      {"QUALIFY", [](Base& b) { b.query()->children().push_back(b.arena, node(b.arena, nkQualifyClause, {id(b.arena)})); },
       "staged continuous aggregate query cannot contain QUALIFY"},
      {"DISTINCT ON", [](Base& b) { b.query()->children().push_back(b.arena, node(b.arena, nkDistinctOnClause, {id(b.arena)})); },
       "staged continuous aggregate query cannot contain DISTINCT ON"},
      // Step 7 runs over the children in order: the first clause decides.
      {"QUALIFY before WINDOW",
       [](Base& b) {
         b.query()->children().push_back(b.arena, node(b.arena, nkQualifyClause, {id(b.arena)}));
         b.query()->children().push_back(b.arena, node(b.arena, nkWindowClause, {namedWindow(b.arena)}));
       },
       "staged continuous aggregate query cannot contain QUALIFY"},
      {"WITH TIES",
       [](Base& b) {
         SqlNode* limit = node(b.arena, nkLimitClause, {newIntLit(b.arena, 1, kSpan)});
         limit->limitWithTies = true;
         b.query()->children().push_back(b.arena, limit);
       },
       "staged continuous aggregate query cannot contain FETCH ... WITH TIES"},
      {"plain LIMIT", [](Base& b) { b.query()->children().push_back(b.arena, node(b.arena, nkLimitClause, {id(b.arena)})); }, "ok"},
      {"WINDOW deeper down",
       [](Base& b) {
         SqlNode* inner = node(b.arena, nkSelect, {node(b.arena, nkWindowClause, {namedWindow(b.arena)})});
         b.setItem(node(b.arena, nkScalarSubquery, {inner}));
       },
       "ok"},
      {"options of another kind", [](Base& b) { b.statement->child(2)->kind = nkExprList; },
       "continuous aggregate options must be nkWithOptions"},
      {"one option", [](Base& b) { b.statement->child(2)->children().pop_back(); }, "continuous aggregate must have exactly 2 options"},
      {"option of another kind", [](Base& b) { b.option(0)->kind = nkExprList; }, "continuous aggregate option must be nkIndexOption"},
      {"option of three", [](Base& b) { b.option(1)->children().push_back(b.arena, id(b.arena)); },
       "continuous aggregate option must have exactly 2 children"},
      {"string key", [](Base& b) { b.option(0)->children()[0] = str(b.arena, "retention"); },
       "continuous aggregate option key must be nkIdentifier"},
      {"name value", [](Base& b) { b.option(1)->children()[1] = id(b.arena, "1h"); },
       "continuous aggregate option value must be nkStringLit"},
      {"capital key", [](Base& b) { b.option(0)->child(0)->strVal() = "Retention"; }, "expected option retention"},
      {"swapped", [](Base& b) { std::swap(b.statement->child(2)->children()[0], b.statement->child(2)->children()[1]); },
       "expected option retention"},
      {"second key", [](Base& b) { b.option(1)->child(0)->strVal() = "retention"; }, "expected option refresh_interval"},
      {"empty value", [](Base& b) { b.option(0)->child(1)->strVal() = ""; }, "continuous aggregate option value must not be empty"},
      // The key comes before the value.
      {"empty value and wrong key",
       [](Base& b) {
         b.option(1)->child(1)->strVal() = "";
         b.option(1)->child(0)->strVal() = "refresh";
       },
       "expected option refresh_interval"},
  };
  for (const StatementCase& c : cases) {
    Base base;
    c.change(base);
    EXPECT_EQ(outcome(base.statement), c.message) << c.what;
  }
  EXPECT_EQ(outcome(nullptr), "continuous aggregate statement must not be nil");
}

TEST(ValidateTest, FieldsAKindDoesNotCarryAreDefects) {
  Base base;
  base.setItem(node(base.arena, nkBegin));
  EXPECT_EQ(outcome(base.statement).rfind("other error: field children read on a node of kind nkBegin", 0), 0u);
}

}  // namespace
