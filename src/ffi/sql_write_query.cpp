// Queries: SELECT (full and restricted), VALUES, set operations, WITH and
// CTEs, grouping elements, named windows and FROM items with their joins.
#include <string>

#include "ffi/sql_writer.h"
#include "msgpack/encoder.h"
#include "support/errors.h"

namespace vellum::sql {
namespace {

// The clauses of a SELECT or VALUES body, found by kind in one pass.
struct QueryParts {
  bool distinct = false;
  const SqlNode* with = nullptr;
  const SqlNode* distinctOn = nullptr;
  const SqlNode* projection = nullptr;
  const SqlNode* from = nullptr;
  const SqlNode* where = nullptr;
  const SqlNode* groupBy = nullptr;
  const SqlNode* having = nullptr;
  const SqlNode* windows = nullptr;
  const SqlNode* qualify = nullptr;
  const SqlNode* orderBy = nullptr;
  const SqlNode* limit = nullptr;
  const SqlNode* offset = nullptr;
  std::size_t setOperations = 0;
  std::size_t rows = 0;
};

QueryParts classify(const SqlNode* body) {
  QueryParts q;
  for (const SqlNode* child : body->children()) {
    if (child == nullptr) continue;
    switch (child->kind) {
      case nkIdentifier:
        if (child->strVal() == "DISTINCT") q.distinct = true;
        break;
      case nkWithClause: q.with = child; break;
      case nkDistinctOnClause: q.distinctOn = child; break;
      case nkExprList:
        if (q.projection == nullptr) q.projection = child;
        ++q.rows;
        break;
      case nkFromClause: q.from = child; break;
      case nkWhereClause: q.where = child; break;
      case nkGroupByClause: q.groupBy = child; break;
      case nkHavingClause: q.having = child; break;
      case nkWindowClause: q.windows = child; break;
      case nkQualifyClause: q.qualify = child; break;
      case nkSetOperation: ++q.setOperations; break;
      case nkOrderByClause: q.orderBy = child; break;
      case nkLimitClause: q.limit = child; break;
      case nkOffsetClause: q.offset = child; break;
      default: break;
    }
  }
  return q;
}

// Child 0 of a LIMIT or OFFSET clause; nil also when the clause is empty.
const SqlNode* countOf(const SqlNode* clause) {
  if (clause == nullptr || clause->children().empty()) return nullptr;
  return clause->children()[0];
}

bool isJoin(const SqlNode* node) { return node != nullptr && (node->kind == nkJoin || node->kind == nkFromJoin); }

std::string_view joinTypeText(JoinKind kind) {
  switch (kind) {
    case jkInner: return "Inner";
    case jkLeft: return "Left";
    case jkRight: return "Right";
    case jkFull: return "Full";
    case jkCross: return "Cross";
  }
  raiseDefect("join kind out of range");
}

}  // namespace

// A WHERE, HAVING or QUALIFY condition, or nil without the clause.
void SqlWriter::writeClauseExpr(const SqlNode* clause) {
  if (clause == nullptr) {
    writeNil(out_);
  } else {
    writeExpr(clause->child(0));
  }
}

// ---------------------------------------------------------------------------
// SELECT and VALUES.

void SqlWriter::writeQuery(const SqlNode* select) {
  QueryParts q = classify(select);
  writeMapHeader(out_, q.with != nullptr ? 16 : 15);
  writeStr(out_, "variant");
  writeStr(out_, "Select");
  if (q.with != nullptr) {
    writeStr(out_, "with");
    writeWith(q.with);
  }
  writeStr(out_, "distinct");
  writeBool(out_, q.distinct);
  writeStr(out_, "distinct_on");
  if (q.distinctOn != nullptr) {
    const NodeList& exprs = q.distinctOn->children();
    writeExprArray(exprs, 0, exprs.size());
  } else {
    writeArrayHeader(out_, 0);
  }
  writeStr(out_, "projection");
  if (q.projection != nullptr) {
    const NodeList& items = q.projection->children();
    writeArrayHeader(out_, static_cast<std::uint32_t>(items.size()));
    for (const SqlNode* item : items) writeSelectItem(item);
  } else {
    writeArrayHeader(out_, 0);
  }
  writeStr(out_, "from");
  if (q.from != nullptr) {
    const NodeList& items = q.from->children();
    writeArrayHeader(out_, static_cast<std::uint32_t>(items.size()));
    for (const SqlNode* item : items) writeFromItem(item, FromMode::Full);
  } else {
    writeArrayHeader(out_, 0);
  }
  writeStr(out_, "selection");
  writeClauseExpr(q.where);
  writeStr(out_, "group_by");
  if (q.groupBy != nullptr) {
    const NodeList& elements = q.groupBy->children();
    writeArrayHeader(out_, static_cast<std::uint32_t>(elements.size()));
    for (const SqlNode* element : elements) writeGroupingElement(element);
  } else {
    writeNil(out_);
  }
  writeStr(out_, "having");
  writeClauseExpr(q.having);
  writeStr(out_, "windows");
  if (q.windows != nullptr) {
    const NodeList& windows = q.windows->children();
    writeArrayHeader(out_, static_cast<std::uint32_t>(windows.size()));
    for (const SqlNode* window : windows) writeNamedWindow(window);
  } else {
    writeArrayHeader(out_, 0);
  }
  writeStr(out_, "qualify");
  writeClauseExpr(q.qualify);
  writeStr(out_, "set_operations");
  writeSetOperations(select, q.setOperations);
  writeStr(out_, "order_by");
  writeOrderByArray(q.orderBy);
  writeStr(out_, "limit");
  writeExpr(countOf(q.limit));
  writeStr(out_, "offset");
  writeExpr(countOf(q.offset));
  writeStr(out_, "limit_with_ties");
  writeBool(out_, q.limit != nullptr && q.limit->limitWithTies);
}

void SqlWriter::writeRestrictedSelect(const SqlNode* select) {
  QueryParts q = classify(select);
  writeMapHeader(out_, 12);
  writeStr(out_, "variant");
  writeStr(out_, "Select");
  writeStr(out_, "distinct");
  writeBool(out_, q.distinct);
  writeStr(out_, "projection");
  if (q.projection != nullptr) {
    const NodeList& items = q.projection->children();
    writeArrayHeader(out_, static_cast<std::uint32_t>(items.size()));
    for (const SqlNode* item : items) writeSelectItem(item);
  } else {
    writeArrayHeader(out_, 0);
  }
  writeStr(out_, "from");
  if (q.from != nullptr) {
    const NodeList& items = q.from->children();
    writeArrayHeader(out_, static_cast<std::uint32_t>(items.size()));
    for (const SqlNode* item : items) writeFromItem(item, FromMode::Restricted);
  } else {
    writeArrayHeader(out_, 0);
  }
  writeStr(out_, "selection");
  writeClauseExpr(q.where);
  writeStr(out_, "group_by");
  if (q.groupBy != nullptr) {
    const NodeList& exprs = q.groupBy->children();
    writeExprArray(exprs, 0, exprs.size());
  } else {
    writeNil(out_);
  }
  writeStr(out_, "having");
  writeClauseExpr(q.having);
  writeStr(out_, "set_operations");
  writeSetOperations(select, q.setOperations);
  writeStr(out_, "order_by");
  writeOrderByArray(q.orderBy);
  writeStr(out_, "limit");
  writeExpr(countOf(q.limit));
  writeStr(out_, "offset");
  writeExpr(countOf(q.offset));
  writeStr(out_, "span");
  writeSpan(select->span);
}

void SqlWriter::writeValues(const SqlNode* values) {
  QueryParts q = classify(values);
  writeMapHeader(out_, q.with != nullptr ? 9 : 8);
  writeStr(out_, "variant");
  writeStr(out_, "Values");
  if (q.with != nullptr) {
    writeStr(out_, "with");
    writeWith(q.with);
  }
  writeStr(out_, "rows");
  writeArrayHeader(out_, static_cast<std::uint32_t>(q.rows));
  for (const SqlNode* child : values->children()) {
    if (child == nullptr || child->kind != nkExprList) continue;
    const NodeList& exprs = child->children();
    writeExprArray(exprs, 0, exprs.size());
  }
  writeStr(out_, "set_operations");
  writeSetOperations(values, q.setOperations);
  writeStr(out_, "order_by");
  writeOrderByArray(q.orderBy);
  writeStr(out_, "limit");
  writeExpr(countOf(q.limit));
  writeStr(out_, "offset");
  writeExpr(countOf(q.offset));
  writeStr(out_, "limit_with_ties");
  writeBool(out_, q.limit != nullptr && q.limit->limitWithTies);
  writeStr(out_, "span");
  writeSpan(values->span);
}

void SqlWriter::writeQueryBody(const SqlNode* node) {
  check(node != nullptr, "query body is nil");
  if (node->kind == nkSelect) {
    writeQuery(node);
  } else if (node->kind == nkValues) {
    writeValues(node);
  } else {
    throw ParseError("unsupported query body node for MessagePack: " + std::string(kindName(node->kind)));
  }
}

void SqlWriter::writeSetOperations(const SqlNode* body, std::size_t count) {
  writeArrayHeader(out_, static_cast<std::uint32_t>(count));
  if (count == 0) return;
  for (const SqlNode* child : body->children()) {
    if (child == nullptr || child->kind != nkSetOperation) continue;
    SetOpKind op = child->setOp();
    writeMapHeader(out_, 4);
    writeStr(out_, "operator");
    writeStr(out_, op == soUnion ? "Union" : op == soIntersect ? "Intersect" : "Except");
    writeStr(out_, "all");
    writeBool(out_, child->setAll());
    writeStr(out_, "right");
    writeQueryBody(child->setRight());
    writeStr(out_, "span");
    writeSpan(child->span);
  }
}

void SqlWriter::writeWith(const SqlNode* with) {
  const NodeList& ctes = with->children();
  writeMapHeader(out_, 3);
  writeStr(out_, "recursive");
  writeBool(out_, with->recursive);
  writeStr(out_, "ctes");
  writeArrayHeader(out_, static_cast<std::uint32_t>(ctes.size()));
  for (const SqlNode* cte : ctes) writeCte(cte);
  writeStr(out_, "span");
  writeSpan(with->span);
}

void SqlWriter::writeCte(const SqlNode* cte) {
  check(cte != nullptr, "common table expression is nil");
  const NodeList& children = cte->children();
  const SqlNode* columns = nullptr;
  if (children.size() >= 3 && children[1] != nullptr && children[1]->kind == nkCteColumnList) {
    columns = children[1];
  }
  writeMapHeader(out_, 4);
  writeStr(out_, "name");
  writeStr(out_, nodeText(cte->child(0)));
  writeStr(out_, "columns");
  if (columns != nullptr) {
    const NodeList& names = columns->children();
    writeArrayHeader(out_, static_cast<std::uint32_t>(names.size()));
    for (const SqlNode* name : names) writeStr(out_, nodeText(name));
  } else {
    writeArrayHeader(out_, 0);
  }
  writeStr(out_, "query");
  writeQueryBody(cte->child(columns != nullptr ? 2 : 1));
  writeStr(out_, "span");
  writeSpan(cte->span);
}

void SqlWriter::writeGroupingElement(const SqlNode* element) {
  check(element != nullptr, "grouping element is nil");
  switch (element->kind) {
    case nkRollup:
    case nkCube: {
      const NodeList& exprs = element->children();
      writeMapHeader(out_, 2);
      writeStr(out_, "variant");
      writeStr(out_, element->kind == nkRollup ? "Rollup" : "Cube");
      writeStr(out_, "exprs");
      writeExprArray(exprs, 0, exprs.size());
      return;
    }
    case nkGroupingSets: {
      const NodeList& sets = element->children();
      writeMapHeader(out_, 2);
      writeStr(out_, "variant");
      writeStr(out_, "GroupingSets");
      writeStr(out_, "sets");
      writeArrayHeader(out_, static_cast<std::uint32_t>(sets.size()));
      for (const SqlNode* set : sets) {
        const NodeList& exprs = set->children();
        writeExprArray(exprs, 0, exprs.size());
      }
      return;
    }
    default:
      writeMapHeader(out_, 2);
      writeStr(out_, "variant");
      writeStr(out_, "Expr");
      writeStr(out_, "expr");
      writeExpr(element);
      return;
  }
}

void SqlWriter::writeNamedWindow(const SqlNode* window) {
  check(window != nullptr, "named window is nil");
  const SqlNode* name = window->child(0);
  check(name != nullptr, "named window without a name");
  writeMapHeader(out_, 3);
  writeStr(out_, "name");
  writeStr(out_, name->strVal());
  writeStr(out_, "spec");
  writeWindowSpec(window->child(1));
  writeStr(out_, "span");
  writeSpan(window->span);
}

// ---------------------------------------------------------------------------
// FROM items.

void SqlWriter::writeFromItem(const SqlNode* item, FromMode mode) {
  // Joins nest to the left: open each join map down to its "left" value, then
  // close them innermost first.
  const std::size_t base = chain_.size();
  while (isJoin(item)) {
    writeMapHeader(out_, 7);
    writeStr(out_, "variant");
    writeStr(out_, "Join");
    writeStr(out_, "left");
    chain_.push_back(item);
    item = item->joinLeft();
  }
  writeFromLeaf(item, mode);
  while (chain_.size() > base) {
    const SqlNode* join = chain_.back();
    chain_.pop_back();
    writeStr(out_, "right");
    writeFromItem(join->joinRight(), mode);
    writeStr(out_, "join_type");
    writeStr(out_, joinTypeText(join->joinKind()));
    writeStr(out_, "condition");
    writeExpr(join->joinCond());
    writeStr(out_, "using");
    const TextList& columns = join->joinUsing();
    if (columns.empty()) {
      writeNil(out_);
    } else {
      writeTextArray(columns);
    }
    writeStr(out_, "span");
    writeSpan(join->span);
  }
}

// One FROM item that is not a join.
void SqlWriter::writeFromLeaf(const SqlNode* item, FromMode mode) {
  if (item == nullptr) {
    writeNil(out_);
    return;
  }
  const bool full = mode == FromMode::Full;
  const SqlNode* target = item;
  std::string_view alias;
  const TextList* columns = nullptr;
  if (item->kind == nkAlias) {
    target = item->aliasExpr();
    alias = item->aliasName();
    columns = &item->aliasColumns();
  }
  const bool aliased = columns != nullptr;

  if (target != nullptr && target->kind == nkFromFunction) {
    writeFunctionItem(target, aliased ? item : nullptr);
    return;
  }
  if (target != nullptr && target->kind == nkFromDerived) {
    writeMapHeader(out_, full ? 6 : 5);
    writeStr(out_, "variant");
    writeStr(out_, "Derived");
    writeStr(out_, "subquery");
    writeQueryBody(target->child(0));
    writeStr(out_, "alias");
    if (aliased) {
      writeStr(out_, alias);
    } else {
      writeNil(out_);
    }
    writeStr(out_, "columns");
    if (aliased) {
      writeTextArray(*columns);
    } else {
      writeArrayHeader(out_, 0);
    }
    if (full) {
      writeStr(out_, "lateral");
      writeBool(out_, target->lateral);
    }
    writeStr(out_, "span");
    writeSpan(item->span);
    return;
  }

  // A table, named by the identifier or by whatever node stands here.
  writeMapHeader(out_, full ? 5 : 4);
  writeStr(out_, "variant");
  writeStr(out_, "Table");
  writeStr(out_, "name");
  writeStr(out_, nodeText(target));
  writeStr(out_, "alias");
  if (aliased) {
    writeStr(out_, alias);
  } else {
    writeNil(out_);
  }
  if (full) {
    writeStr(out_, "columns");
    if (aliased) {
      writeTextArray(*columns);
    } else {
      writeArrayHeader(out_, 0);
    }
  }
  writeStr(out_, "span");
  writeSpan(item->span);
}

// A table function, with the alias and span of its wrapper when it has one.
void SqlWriter::writeFunctionItem(const SqlNode* function, const SqlNode* alias) {
  const NodeList& children = function->children();
  writeMapHeader(out_, 8);
  writeStr(out_, "variant");
  writeStr(out_, "Function");
  writeStr(out_, "name");
  writeStr(out_, nodeText(function->child(0)));
  writeStr(out_, "args");
  writeExprArray(children, 1, children.size());
  writeStr(out_, "alias");
  if (alias != nullptr) {
    writeStr(out_, alias->aliasName());
  } else {
    writeNil(out_);
  }
  writeStr(out_, "columns");
  if (alias != nullptr) {
    writeTextArray(alias->aliasColumns());
  } else {
    writeArrayHeader(out_, 0);
  }
  writeStr(out_, "lateral");
  writeBool(out_, function->lateral);
  writeStr(out_, "with_ordinality");
  writeBool(out_, function->withOrdinality);
  writeStr(out_, "span");
  writeSpan(alias != nullptr ? alias->span : function->span);
}

}  // namespace vellum::sql
