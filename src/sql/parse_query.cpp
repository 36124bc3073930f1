// Queries: WITH, SELECT cores, VALUES bodies, set operations, select items,
// ORDER BY, LIMIT / OFFSET / FETCH.
//
// A query is one root body (the first SELECT or VALUES). Its WITH clause,
// UNION/EXCEPT steps, ORDER BY, limit and offset are children of that body,
// never wrappers around it; INTERSECT steps hang off the first body of their
// term, which is how INTERSECT binds tighter than UNION and EXCEPT.
//
// Stack: every function here that stays on the stack while a nested query is
// parsed (subqueries recurse through parseQueryExpression, parseSelectCore,
// the select items and the clauses) keeps only node pointers in its frame.
// Tokens, whose copies are the bulk of a frame, live in small non-inlined
// helpers that return before the recursion goes deeper.
#include "sql/parser.h"

namespace vellum::sql {
namespace {

constexpr SqlSpan kEmptySpan{};

// A node of the kind holding one expression: WHERE, HAVING, QUALIFY, LIMIT,
// OFFSET.
SqlNode* parseOneExpression(Parser& p, SqlNodeKind kind, SqlSpan span) {
  SqlNode* clause = newNode(p.arena, kind, span);
  SqlNode* expression = p.parseExpression();
  clause->children().push_back(p.arena, expression);
  return clause;
}

// SELECT or VALUES; anything else (a parenthesis included) is refused.
SqlNode* parseQueryBody(Parser& p) {
  if (p.at(tkSelect)) return p.parseSelectCore();
  if (p.at(tkValues)) return p.parseValues();
  p.error("expected SELECT or VALUES query body");
}

// The set operator is current; reads it and an optional ALL.
[[gnu::noinline]] SqlNode* startSetOperation(Parser& p, SetOpKind op) {
  SqlNode* node = newNode(p.arena, nkSetOperation, p.current.span());
  p.advance();
  node->setOp() = op;
  node->setAll() = p.accept(tkAll);
  return node;
}

// ORDER BY item {, item}; ORDER is current.
[[gnu::noinline]] SqlNode* parseOrderByClause(Parser& p, SqlSpan span) {
  p.advance();
  p.skip(tkBy);
  SqlNode* order = newNode(p.arena, nkOrderByClause, span);
  do {
    SqlNode* item = p.parseOrderItem();
    order->children().push_back(p.arena, item);
  } while (p.accept(tkComma));
  return order;
}

// SELECT [DISTINCT [ON (expressions)]]: the node with its DISTINCT part.
[[gnu::noinline]] SqlNode* startSelect(Parser& p) {
  SqlNode* select = newNode(p.arena, nkSelect, p.expect(tkSelect).span());
  if (!p.at(tkDistinct)) return select;
  SqlSpan distinct = p.advance().span();
  if (!p.accept(tkOn)) {
    select->children().push_back(p.arena, newIdentifier(p.arena, "DISTINCT", kEmptySpan));
    return select;
  }
  p.skip(tkLParen);
  if (p.at(tkRParen)) p.error("expected expression in DISTINCT ON list");
  SqlNode* on = newNode(p.arena, nkDistinctOnClause, distinct);
  p.parseExpressionList(on);
  Parser::extendTo(on, p.expect(tkRParen).span());
  select->children().push_back(p.arena, on);
  return select;
}

// GROUP BY element {, element}; GROUP is current.
[[gnu::noinline]] SqlNode* parseGroupByClause(Parser& p) {
  p.advance();
  p.skip(tkBy);
  SqlNode* group = newNode(p.arena, nkGroupByClause, kEmptySpan);
  do {
    SqlNode* element = p.parseGroupingElement();
    group->children().push_back(p.arena, element);
  } while (p.accept(tkComma));
  return group;
}

// name AS (window); the named window spans the name to the end of its definition.
[[gnu::noinline]] SqlNode* parseNamedWindow(Parser& p) {
  Token name = p.expectIdent("window name");
  SqlNode* window = newNode(p.arena, nkNamedWindow, name.span());
  window->children().push_back(p.arena, newIdentifier(p.arena, name.text, name.span()));
  p.skip(tkAs);
  return window;
}

// WINDOW named_window {, named_window}; WINDOW is current.
[[gnu::noinline]] SqlNode* parseWindowClause(Parser& p) {
  SqlNode* clause = newNode(p.arena, nkWindowClause, p.current.span());
  p.advance();
  do {
    SqlNode* window = parseNamedWindow(p);
    SqlNode* definition = p.parseWindowSpec();
    window->children().push_back(p.arena, definition);
    Parser::extendTo(window, definition->span);
    clause->children().push_back(p.arena, window);
  } while (p.accept(tkComma));
  return clause;
}

// QUALIFY expression; QUALIFY is current.
[[gnu::noinline]] SqlNode* parseQualifyClause(Parser& p) {
  SqlSpan keyword = p.current.span();
  p.advance();
  return parseOneExpression(p, nkQualifyClause, keyword);
}

// AS wide_name | implicit_alias, around a select item.
[[gnu::noinline]] SqlNode* parseSelectAlias(Parser& p, SqlNode* expression) {
  Token alias = p.accept(tkAs) ? p.expectName("alias") : p.advance();
  SqlNode* node = newNode(p.arena, nkAlias, alias.span());
  node->aliasExpr() = expression;
  node->aliasName() = alias.text;
  return node;
}

// ASC or DESC, current, wraps the item in an alias named "asc" or "desc".
[[gnu::noinline]] SqlNode* wrapDirection(Parser& p, SqlNode* item) {
  bool ascending = p.at(tkAsc);
  SqlNode* wrapper = newNode(p.arena, nkAlias, p.advance().span());
  wrapper->aliasExpr() = item;
  wrapper->aliasName() = ascending ? "asc" : "desc";
  wrapper->ascending = ascending ? 1 : 0;
  return wrapper;
}

// The count of FETCH {FIRST|NEXT} [count] {ROW|ROWS}: without a number it is
// a 1 with the span of ROW/ROWS.
[[gnu::noinline]] SqlNode* startFetch(Parser& p) {
  p.advance();
  if (!p.at(tkFirst) && !p.at(tkNext)) p.error("expected FIRST or NEXT after FETCH");
  p.advance();
  SqlNode* limit = newNode(p.arena, nkLimitClause, kEmptySpan);
  if (p.at(tkRow) || p.at(tkRows)) limit->children().push_back(p.arena, newIntLit(p.arena, 1, p.current.span()));
  return limit;
}

// After the FETCH count: {ROW|ROWS} {ONLY | WITH TIES}.
[[gnu::noinline]] void finishFetch(Parser& p, SqlNode* limit) {
  if (p.isWord("percent")) p.error("FETCH ... PERCENT is not supported");
  if (!p.at(tkRow) && !p.at(tkRows)) p.error("expected ROW or ROWS after FETCH count");
  p.advance();
  if (p.accept(tkOnly)) return;
  if (!p.accept(tkWith)) p.error("expected ONLY or WITH TIES in FETCH clause");
  if (!p.accept(tkTies)) p.error("expected TIES after WITH in FETCH clause");
  limit->limitWithTies = true;
}

SqlNode* parseFetch(Parser& p) {
  SqlNode* limit = startFetch(p);
  if (limit->children().empty()) {
    SqlNode* count = p.parseExpression();
    limit->children().push_back(p.arena, count);
  }
  finishFetch(p, limit);
  return limit;
}

// name [(column {, column})]: a CTE up to its AS.
[[gnu::noinline]] SqlNode* startCommonTableExpr(Parser& p) {
  Token name = p.expectIdent("common table expression name");
  SqlNode* cte = newNode(p.arena, nkCommonTableExpr, name.span());
  cte->children().push_back(p.arena, newIdentifier(p.arena, name.text, name.span()));
  if (p.at(tkLParen)) {
    SqlNode* columns = newNode(p.arena, nkCteColumnList, p.advance().span());
    do {
      Token column = p.expectIdent("common table expression column name");
      columns->children().push_back(p.arena, newIdentifier(p.arena, column.text, column.span()));
    } while (p.accept(tkComma));
    p.skip(tkRParen);
    cte->children().push_back(p.arena, columns);
  }
  return cte;
}

// cte := name [(columns)] AS ( query )
// A body that is itself a WITH query nests, one uncounted nesting level
// (see Parser::uncountedDepth); a SELECT or VALUES body adds no level.
[[gnu::noinline]] SqlNode* parseCommonTableExpr(Parser& p) {
  SqlNode* cte = startCommonTableExpr(p);
  p.skip(tkAs);
  p.skip(tkLParen);
  SqlNode* body;
  if (p.at(tkSelect) || p.at(tkValues)) {
    body = p.parseQueryExpression();
  } else if (p.at(tkWith)) {
    body = nested<&Parser::uncountedDepth>(p, [&] { return p.parseWithQuery(); });
  } else {
    p.error("expected SELECT, VALUES, or WITH in common table expression");
  }
  cte->children().push_back(p.arena, body);
  p.skip(tkRParen);
  return cte;
}

}  // namespace

// query_expression := term {(UNION|EXCEPT) [ALL] term} [ORDER BY items] limits
// Current token: SELECT or VALUES (anything else fails in the body rule).
SqlNode* Parser::parseQueryExpression() {
  SqlNode* root = parseQueryTerm();
  while (at(tkUnion) || at(tkExcept)) {
    SqlNode* step = startSetOperation(*this, at(tkUnion) ? soUnion : soExcept);
    step->setRight() = parseQueryTerm();
    root->children().push_back(arena, step);
  }
  if (at(tkOrder)) {
    SqlNode* order = parseOrderByClause(*this, kEmptySpan);
    root->children().push_back(arena, order);
  }
  // Most queries end here: the limit rule is entered only at its keywords.
  if (at(tkLimit) || at(tkOffset) || at(tkFetch)) parseLimitClauses(root);
  return root;
}

// term := body {INTERSECT [ALL] body}; the steps are children of the first body.
SqlNode* Parser::parseQueryTerm() {
  SqlNode* first = parseQueryBody(*this);
  while (at(tkIntersect)) {
    SqlNode* step = startSetOperation(*this, soIntersect);
    step->setRight() = parseQueryBody(*this);
    first->children().push_back(arena, step);
  }
  return first;
}

// with_query := WITH [RECURSIVE] cte {, cte} query_expression
// The WITH clause becomes child 0 of the root body, whose span then starts at
// WITH.
SqlNode* Parser::parseWithQuery() {
  SqlNode* clause = newNode(arena, nkWithClause, current.span());
  skip(tkWith);
  clause->recursive = accept(tkRecursive);
  do {
    SqlNode* cte = parseCommonTableExpr(*this);
    clause->children().push_back(arena, cte);
  } while (accept(tkComma));
  if (!at(tkSelect) && !at(tkValues)) error("expected SELECT or VALUES after WITH clause");
  SqlNode* root = parseQueryExpression();
  root->children().insert(arena, 0, clause);
  root->span.startLine = clause->span.startLine;
  root->span.startColumn = clause->span.startColumn;
  return root;
}

// values := VALUES row {, row}, row := ( expression {, expression} )
// A row spans its first expression's start to the `)`.
SqlNode* Parser::parseValues() {
  SqlNode* values = newNode(arena, nkValues, current.span());
  skip(tkValues);
  do {
    skip(tkLParen);
    if (at(tkRParen)) error("expected expression in VALUES row");
    SqlNode* row = newNode(arena, nkExprList, kEmptySpan);
    parseExpressionList(row);
    SqlSpan close = current.span();
    skip(tkRParen);
    row->span = row->children()[0]->span;
    Parser::extendTo(row, close);
    values->children().push_back(arena, row);
  } while (accept(tkComma));
  return values;
}

// select_core := SELECT [DISTINCT [ON (expressions)]] items [FROM ...]
//   [WHERE e] [GROUP BY elements] [HAVING e] [WINDOW windows] [QUALIFY e]
// Each clause at most once and in this order; a keyword out of order ends the
// core and is left to the caller.
SqlNode* Parser::parseSelectCore() {
  SqlNode* select = startSelect(*this);
  SqlNode* projection = newNode(arena, nkExprList, kEmptySpan);
  parseSelectList(projection);
  select->children().push_back(arena, projection);
  SqlNode* clause;
  if (accept(tkFrom)) {
    clause = parseFromClause();
    select->children().push_back(arena, clause);
  }
  if (accept(tkWhere)) {
    clause = parseOneExpression(*this, nkWhereClause, kEmptySpan);
    select->children().push_back(arena, clause);
  }
  if (at(tkGroup)) {
    clause = parseGroupByClause(*this);
    select->children().push_back(arena, clause);
  }
  if (accept(tkHaving)) {
    clause = parseOneExpression(*this, nkHavingClause, kEmptySpan);
    select->children().push_back(arena, clause);
  }
  if (at(tkWindow)) {
    clause = parseWindowClause(*this);
    select->children().push_back(arena, clause);
  }
  if (at(tkQualify)) {
    clause = parseQualifyClause(*this);
    select->children().push_back(arena, clause);
  }
  return select;
}

// select_list := item {, item}
void Parser::parseSelectList(SqlNode* list) {
  do {
    SqlNode* item = parseSelectItem();
    list->children().push_back(arena, item);
  } while (accept(tkComma));
}

// item := expression [AS wide_name | implicit_alias]
SqlNode* Parser::parseSelectItem() {
  SqlNode* expression = parseExpression();
  if (at(tkAs) || isImplicitAliasToken(current.kind)) return parseSelectAlias(*this, expression);
  return expression;
}

// order_item := expression [ASC|DESC] [NULLS {FIRST|LAST}]
// NULLS sets the item itself: the direction wrapper when there is one.
SqlNode* Parser::parseOrderItem() {
  SqlNode* item = parseExpression();
  if (at(tkAsc) || at(tkDesc)) item = wrapDirection(*this, item);
  if (accept(tkNulls)) {
    if (at(tkFirst)) {
      item->nullsFirst = 1;
    } else if (at(tkLast)) {
      item->nullsFirst = 0;
    } else {
      error("expected FIRST or LAST after NULLS");
    }
    step();
  }
  return item;
}

// {LIMIT count | LIMIT ALL | OFFSET count [ROW|ROWS] | FETCH ...} in any order,
// at most one limit (LIMIT ALL and FETCH count as one) and one offset. The
// limit node is appended before the offset node whatever the source order.
void Parser::parseLimitClauses(SqlNode* body) {
  SqlNode* limit = nullptr;
  SqlNode* offset = nullptr;
  bool limitAll = false;
  for (;;) {
    if (at(tkOffset)) {
      if (offset != nullptr) error("multiple OFFSET clauses are not allowed");
      accept(tkOffset);
      offset = parseOneExpression(*this, nkOffsetClause, kEmptySpan);
      if (!accept(tkRow)) accept(tkRows);
    } else if (at(tkLimit) || at(tkFetch)) {
      if (limit != nullptr || limitAll) error("multiple LIMIT clauses are not allowed");
      if (at(tkFetch)) {
        limit = parseFetch(*this);
      } else {
        accept(tkLimit);
        if (accept(tkAll)) {
          limitAll = true;
        } else {
          limit = parseOneExpression(*this, nkLimitClause, kEmptySpan);
        }
      }
    } else {
      break;
    }
  }
  if (limit != nullptr) body->children().push_back(arena, limit);
  if (offset != nullptr) body->children().push_back(arena, offset);
}

}  // namespace vellum::sql
