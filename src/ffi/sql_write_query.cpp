// Queries: SELECT (full and restricted), VALUES, set operations, WITH and
// CTEs, grouping elements, named windows and FROM items with their joins.
#include <string>

#include "ffi/sql_writer.h"
#include "ffi/sql_write_bytes.h"
#include "msgpack/encoder.h"
#include "support/errors.h"

namespace vellum::sql {

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

namespace {

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

// writeRun<R> and then writeArrayHeader(count), with one window check when
// the window has room and the header is a fixarray.
template <Run R>
[[gnu::always_inline]] inline void writeRunAndArrayHeader(OutputStream& out, std::size_t count) {
  std::uint8_t* p = out.reserve(R.size + 1);
  if (p != nullptr && count < 16) {
    p = putRun<R>(p);
    *p++ = static_cast<std::uint8_t>(0x90 | count);
    out.commit(p);
    return;
  }
  writeRun<R>(out);
  writeArrayHeader(out, static_cast<std::uint32_t>(count));
}

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
inline void SqlWriter::writeClauseExpr(const SqlNode* clause) {
  if (clause == nullptr) {
    writeNil(out_);
  } else {
    fillPartSpans(clause);
    writeExpr(clause->child(0));
  }
}

// ---------------------------------------------------------------------------
// SELECT and VALUES.

// The "projection" and "from" entries of a SELECT map.
void SqlWriter::writeProjectionAndFrom(const SqlNode* projection, const SqlNode* from, FromMode mode) {
  if (projection != nullptr) {
    fillPartSpans(projection);
    const NodeList& items = projection->children();
    writeRunAndArrayHeader<Run{str("projection")}>(out_, items.size());
    for (const SqlNode* item : items) writeSelectItem(item);
  } else {
    writeRunAndArrayHeader<Run{str("projection")}>(out_, 0);
  }
  if (from != nullptr) {
    fillPartSpans(from);
    const NodeList& items = from->children();
    writeRunAndArrayHeader<Run{str("from")}>(out_, items.size());
    for (const SqlNode* item : items) writeFromItem(item, mode);
  } else {
    writeRunAndArrayHeader<Run{str("from")}>(out_, 0);
  }
}

namespace {

// The entries of a SELECT map for absent clauses, as constant runs.
constexpr Run kPlainSelectHead{map(15), str("variant"), str("Select"), str("distinct")};
constexpr Run kNotDistinct{no, str("distinct_on"), array(0)};
constexpr Run kNoGrouping{str("group_by"), nil, str("having"), nil, str("windows"), array(0), str("qualify"), nil};
constexpr Run kNoTail{str("set_operations"), array(0), str("order_by"), array(0), str("limit"), nil, str("offset"),
                      nil};

// The parser appends a SELECT's clauses in the order of the map's keys. The
// common lists, the projection with at most FROM and WHERE after it, are
// read in place; false for any other list (and any tree built otherwise),
// which classify reads.
bool readPlainSelect(const SqlNode* select, const SqlNode*& projection, const SqlNode*& from, const SqlNode*& where) {
  const NodeList& children = select->children();
  const std::size_t count = children.size();
  if (count - 1 >= 3 || children[0] == nullptr || children[0]->kind != nkExprList) return false;
  std::size_t i = 1;
  from = nullptr;
  where = nullptr;
  if (i < count && children[i] != nullptr && children[i]->kind == nkFromClause) from = children[i++];
  if (i < count && children[i] != nullptr && children[i]->kind == nkWhereClause) where = children[i++];
  projection = children[0];
  return i == count;
}

}  // namespace

void SqlWriter::writeQuery(const SqlNode* select) {
  fillPartSpans(select);
  const SqlNode* projection;
  const SqlNode* from;
  const SqlNode* where;
  if (readPlainSelect(select, projection, from, where)) {
    writeRuns<kPlainSelectHead, kNotDistinct>(out_);
    writeProjectionAndFrom(projection, from, FromMode::Full);
    return writeSelectionAndConstantRest(where);
  }
  QueryParts q = classify(select);
  if (q.with == nullptr && q.distinctOn == nullptr && !q.distinct) {
    writeRuns<kPlainSelectHead, kNotDistinct>(out_);
  } else {
    writeQueryHead(q.with, q.distinctOn, q.distinct);
  }
  writeProjectionAndFrom(q.projection, q.from, FromMode::Full);
  const bool noGrouping = q.groupBy == nullptr && q.having == nullptr && q.windows == nullptr && q.qualify == nullptr;
  if (noGrouping && q.setOperations == 0 && q.orderBy == nullptr && q.limit == nullptr && q.offset == nullptr) {
    return writeSelectionAndConstantRest(q.where);
  }
  writeLit<"selection">(out_);
  writeClauseExpr(q.where);
  if (noGrouping) {
    writeRun<kNoGrouping>(out_);
    writeQueryTail(select, q.setOperations, q.orderBy, q.limit, q.offset);
    writeLit<"limit_with_ties">(out_);
    writeBool(out_, q.limit != nullptr && q.limit->limitWithTies);
    return;
  }
  writeQueryRest(select, q);
}

// The SELECT map's entries from "selection" on when no clause follows WHERE:
// all but the selection are constant.
void SqlWriter::writeSelectionAndConstantRest(const SqlNode* where) {
  if (where == nullptr) {
    writeRuns<Run{str("selection")}, Run{nil}, kNoGrouping, kNoTail>(out_);
  } else {
    writeLit<"selection">(out_);
    fillPartSpans(where);
    writeExpr(where->child(0));
    writeRuns<kNoGrouping, kNoTail>(out_);
  }
  writeRuns<Run{str("limit_with_ties")}, Run{no}>(out_);
}

// The SELECT map's entries from "variant" to "distinct_on" with WITH,
// DISTINCT or DISTINCT ON.
void SqlWriter::writeQueryHead(const SqlNode* with, const SqlNode* distinctOn, bool distinct) {
  if (with != nullptr) {
    writeMapHeader(out_, 16);
    writeRun<Run{str("variant"), str("Select"), str("with")}>(out_);
    writeWith(with);
    writeLit<"distinct">(out_);
  } else {
    writeRun<kPlainSelectHead>(out_);
  }
  if (distinctOn != nullptr) {
    writeBool(out_, distinct);
    writeLit<"distinct_on">(out_);
    writeChildExprs(distinctOn);
  } else if (distinct) {
    writeRun<Run{yes, str("distinct_on"), array(0)}>(out_);
  } else {
    writeRun<kNotDistinct>(out_);
  }
}

// The SELECT map's entries from "group_by" on when some of GROUP BY,
// HAVING, WINDOW and QUALIFY are there.
void SqlWriter::writeQueryRest(const SqlNode* select, const QueryParts& q) {
  writeLit<"group_by">(out_);
  if (q.groupBy != nullptr) {
    fillPartSpans(q.groupBy);
    const NodeList& elements = q.groupBy->children();
    writeArrayHeader(out_, static_cast<std::uint32_t>(elements.size()));
    for (const SqlNode* element : elements) writeGroupingElement(element);
  } else {
    writeNil(out_);
  }
  writeLit<"having">(out_);
  writeClauseExpr(q.having);
  writeLit<"windows">(out_);
  if (q.windows != nullptr) {
    fillPartSpans(q.windows);
    const NodeList& windows = q.windows->children();
    writeArrayHeader(out_, static_cast<std::uint32_t>(windows.size()));
    for (const SqlNode* window : windows) writeNamedWindow(window);
  } else {
    writeArrayHeader(out_, 0);
  }
  writeLit<"qualify">(out_);
  writeClauseExpr(q.qualify);
  writeQueryTail(select, q.setOperations, q.orderBy, q.limit, q.offset);
  writeLit<"limit_with_ties">(out_);
  writeBool(out_, q.limit != nullptr && q.limit->limitWithTies);
}

void SqlWriter::writeRestrictedSelect(const SqlNode* select) {
  fillPartSpans(select);
  QueryParts q = classify(select);
  writeRun<Run{map(12), str("variant"), str("Select"), str("distinct")}>(out_);
  writeBool(out_, q.distinct);
  writeProjectionAndFrom(q.projection, q.from, FromMode::Restricted);
  writeLit<"selection">(out_);
  writeClauseExpr(q.where);
  writeLit<"group_by">(out_);
  if (q.groupBy != nullptr) {
    writeChildExprs(q.groupBy);
  } else {
    writeNil(out_);
  }
  writeLit<"having">(out_);
  writeClauseExpr(q.having);
  writeQueryTail(select, q.setOperations, q.orderBy, q.limit, q.offset);
  writeSpanEntry(select->span);
}

void SqlWriter::writeValues(const SqlNode* values) {
  fillPartSpans(values);
  QueryParts q = classify(values);
  writeMapHeader(out_, q.with != nullptr ? 9 : 8);
  writeRun<Run{str("variant"), str("Values")}>(out_);
  if (q.with != nullptr) {
    writeLit<"with">(out_);
    writeWith(q.with);
  }
  writeLit<"rows">(out_);
  writeArrayHeader(out_, static_cast<std::uint32_t>(q.rows));
  for (const SqlNode* child : values->children()) {
    if (child == nullptr || child->kind != nkExprList) continue;
    writeChildExprs(child);
  }
  writeQueryTail(values, q.setOperations, q.orderBy, q.limit, q.offset);
  writeLit<"limit_with_ties">(out_);
  writeBool(out_, q.limit != nullptr && q.limit->limitWithTies);
  writeSpanEntry(values->span);
}

// The "set_operations", "order_by", "limit" and "offset" entries shared by
// the SELECT and VALUES maps.
void SqlWriter::writeQueryTail(const SqlNode* body, std::size_t setOperations, const SqlNode* orderBy,
                               const SqlNode* limit, const SqlNode* offset) {
  if (setOperations == 0 && orderBy == nullptr && limit == nullptr && offset == nullptr) {
    writeRun<kNoTail>(out_);
    return;
  }
  writeLit<"set_operations">(out_);
  writeSetOperations(body, setOperations);
  writeLit<"order_by">(out_);
  writeOrderByArray(orderBy);
  fillPartSpans(limit);
  fillPartSpans(offset);
  writeLit<"limit">(out_);
  writeExpr(countOf(limit));
  writeLit<"offset">(out_);
  writeExpr(countOf(offset));
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
    fillPartSpans(child);
    SetOpKind op = child->setOp();
    writeRun<Run{map(4), str("operator")}>(out_);
    writeStr(out_, op == soUnion ? "Union" : op == soIntersect ? "Intersect" : "Except");
    writeLit<"all">(out_);
    writeBool(out_, child->setAll());
    writeLit<"right">(out_);
    writeQueryBody(child->setRight());
    writeSpanEntry(child->span);
  }
}

void SqlWriter::writeWith(const SqlNode* with) {
  fillPartSpans(with);
  const NodeList& ctes = with->children();
  writeRun<Run{map(3), str("recursive")}>(out_);
  writeBool(out_, with->recursive);
  writeLit<"ctes">(out_);
  writeArrayHeader(out_, static_cast<std::uint32_t>(ctes.size()));
  for (const SqlNode* cte : ctes) writeCte(cte);
  writeSpanEntry(with->span);
}

void SqlWriter::writeCte(const SqlNode* cte) {
  check(cte != nullptr, "common table expression is nil");
  fillPartSpans(cte);
  const NodeList& children = cte->children();
  const SqlNode* columns = nullptr;
  if (children.size() >= 3 && children[1] != nullptr && children[1]->kind == nkCteColumnList) {
    columns = children[1];
  }
  writeRun<Run{map(4), str("name")}>(out_);
  writeStr(out_, nameText(cte->child(0)));
  writeLit<"columns">(out_);
  writeNameArray(columns);
  writeLit<"query">(out_);
  writeQueryBody(cte->child(columns != nullptr ? 2 : 1));
  writeSpanEntry(cte->span);
}

void SqlWriter::writeGroupingElement(const SqlNode* element) {
  check(element != nullptr, "grouping element is nil");
  fillPartSpans(element);
  switch (element->kind) {
    case nkRollup:
    case nkCube: {
      writeRun<Run{map(2), str("variant")}>(out_);
      writeStr(out_, element->kind == nkRollup ? "Rollup" : "Cube");
      writeLit<"exprs">(out_);
      writeChildExprs(element);
      return;
    }
    case nkGroupingSets: {
      const NodeList& sets = element->children();
      writeRun<Run{map(2), str("variant"), str("GroupingSets"), str("sets")}>(out_);
      writeArrayHeader(out_, static_cast<std::uint32_t>(sets.size()));
      for (const SqlNode* set : sets) {
        writeChildExprs(set);
      }
      return;
    }
    default:
      writeRun<Run{map(2), str("variant"), str("Expr"), str("expr")}>(out_);
      writeExpr(element);
      return;
  }
}

void SqlWriter::writeNamedWindow(const SqlNode* window) {
  check(window != nullptr, "named window is nil");
  fillPartSpans(window);
  const SqlNode* name = window->child(0);
  check(name != nullptr, "named window without a name");
  writeRun<Run{map(3), str("name")}>(out_);
  writeStr(out_, name->strVal());
  writeLit<"spec">(out_);
  writeWindowSpec(window->child(1));
  writeSpanEntry(window->span);
}

// ---------------------------------------------------------------------------
// FROM items.

void SqlWriter::writeJoin(const SqlNode* item, FromMode mode) {
  // Joins nest to the left: open each join map down to its "left" value, then
  // close them innermost first.
  const std::size_t base = chain_.size();
  while (isJoin(item)) {
    writeRun<Run{map(7), str("variant"), str("Join"), str("left")}>(out_);
    fillPartSpans(item);
    chain_.push_back(item);
    item = item->joinLeft();
  }
  writeFromLeaf(item, mode);
  while (chain_.size() > base) {
    const SqlNode* join = chain_.back();
    chain_.pop_back();
    writeLit<"right">(out_);
    writeFromItem(join->joinRight(), mode);
    writeLit<"join_type">(out_);
    writeStr(out_, joinTypeText(join->joinKind()));
    writeLit<"condition">(out_);
    writeExpr(join->joinCond());
    writeLit<"using">(out_);
    const TextList& columns = join->joinUsing();
    if (columns.empty()) {
      writeNil(out_);
    } else {
      writeTextArray(columns);
    }
    writeSpanEntry(join->span);
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
    fillPartSpans(item);
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
    writeRun<Run{str("variant"), str("Derived"), str("subquery")}>(out_);
    fillPartSpans(target);
    writeQueryBody(target->child(0));
    writeLit<"alias">(out_);
    if (aliased) {
      writeStr(out_, alias);
    } else {
      writeNil(out_);
    }
    writeLit<"columns">(out_);
    if (aliased) {
      writeTextArray(*columns);
    } else {
      writeArrayHeader(out_, 0);
    }
    if (full) {
      writeLit<"lateral">(out_);
      writeBool(out_, target->lateral);
    }
    writeSpanEntry(item->span);
    return;
  }

  // The common table of a full FROM item: a short name, no alias or a short
  // one without columns, a templated span; the whole map in place.
  if (full && target != nullptr && target->kind == nkIdentifier) {
    constexpr Run kHead{map(5), str("variant"), str("Table"), str("name")};
    constexpr std::size_t kRoom = kHead.size + 32 + 7 + 32 + 9 + kTemplateSpanEntryRoom;
    std::string_view name = target->strVal();
    SpanWords span(item->span);
    std::uint8_t* p = out_.reserve(kRoom);
    if (p != nullptr && name.size() < 32 && span.templated() &&
        (!aliased || (alias.size() < 32 && columns->empty()))) {
      p = putShortStr(putRun<kHead>(p), name);
      if (aliased) {
        p = putShortStr(putRun<Run{str("alias")}>(p), alias);
        p = putRun<Run{str("columns"), array(0)}>(p);
      } else {
        p = putRun<Run{str("alias"), nil, str("columns"), array(0)}>(p);
      }
      out_.commit(putTemplateSpanEntry(p, span));
      return;
    }
  }

  // A table, named by the identifier or by whatever node stands here.
  if (full) {
    writeRun<Run{map(5), str("variant"), str("Table"), str("name")}>(out_);
  } else {
    writeRun<Run{map(4), str("variant"), str("Table"), str("name")}>(out_);
  }
  writeStr(out_, nameText(target));
  if (!aliased && full) {
    writeRunAndSpanEntry<Run{str("alias"), nil, str("columns"), array(0)}>(item->span);
    return;
  }
  writeLit<"alias">(out_);
  if (aliased) {
    writeStr(out_, alias);
  } else {
    writeNil(out_);
  }
  if (full) {
    writeLit<"columns">(out_);
    if (aliased) {
      writeTextArray(*columns);
    } else {
      writeArrayHeader(out_, 0);
    }
  }
  writeSpanEntry(item->span);
}

// A table function, with the alias and span of its wrapper when it has one.
void SqlWriter::writeFunctionItem(const SqlNode* function, const SqlNode* alias) {
  fillPartSpans(function);
  const NodeList& children = function->children();
  writeRun<Run{map(8), str("variant"), str("Function"), str("name")}>(out_);
  writeStr(out_, nameText(function->child(0)));
  writeLit<"args">(out_);
  writeExprArray(children, 1, children.size());
  writeLit<"alias">(out_);
  if (alias != nullptr) {
    writeStr(out_, alias->aliasName());
  } else {
    writeNil(out_);
  }
  writeLit<"columns">(out_);
  if (alias != nullptr) {
    writeTextArray(alias->aliasColumns());
  } else {
    writeArrayHeader(out_, 0);
  }
  writeLit<"lateral">(out_);
  writeBool(out_, function->lateral);
  writeLit<"with_ordinality">(out_);
  writeBool(out_, function->withOrdinality);
  writeSpanEntry(alias != nullptr ? alias->span : function->span);
}

}  // namespace vellum::sql
