// Queries: WITH, SELECT cores, VALUES bodies, set operations, select items,
// ORDER BY, LIMIT / OFFSET / FETCH.
//
// A query is one root body (the first SELECT or VALUES). Its WITH clause,
// UNION/EXCEPT steps, ORDER BY, limit and offset are children of that body,
// never wrappers around it; INTERSECT steps hang off the first body of their
// term, which is how INTERSECT binds tighter than UNION and EXCEPT.
#include "sql/parser.h"

namespace vellum::sql {
namespace {

constexpr SqlSpan kEmptySpan{};

// Appends `expression (, expression)*` to the node's children.
void parseExpressionList(Parser& p, SqlNode* node) {
  node->children().push_back(p.arena, p.parseExpression());
  while (p.accept(tkComma)) node->children().push_back(p.arena, p.parseExpression());
}

// A clause holding one expression: WHERE, HAVING, QUALIFY.
SqlNode* parseConditionClause(Parser& p, SqlNodeKind kind, SqlSpan span) {
  SqlNode* clause = newNode(p.arena, kind, span);
  clause->children().push_back(p.arena, p.parseExpression());
  return clause;
}

// SELECT or VALUES; anything else (a parenthesis included) is refused.
SqlNode* parseQueryBody(Parser& p) {
  if (p.at(tkSelect)) return p.parseSelectCore();
  if (p.at(tkValues)) return p.parseValues();
  p.error("expected SELECT or VALUES query body");
}

// Reads `[ALL]` after a set operator, whose token has been consumed.
SqlNode* newSetOperation(Parser& p, SetOpKind op, const Token& keyword) {
  SqlNode* node = newNode(p.arena, nkSetOperation, keyword.span());
  node->setOp() = op;
  node->setAll() = p.accept(tkAll);
  return node;
}

// `WINDOW name AS (spec) (, name AS (spec))*`; WINDOW is current.
SqlNode* parseWindowClause(Parser& p) {
  SqlNode* clause = newNode(p.arena, nkWindowClause, p.advance().span());
  do {
    Token name = p.expectIdent("window name");
    SqlNode* window = newNode(p.arena, nkNamedWindow, name.span());
    window->children().push_back(p.arena, newIdentifier(p.arena, name.text, name.span()));
    p.expect(tkAs);
    SqlNode* spec = p.parseWindowSpec();
    window->children().push_back(p.arena, spec);
    window->span.endLine = spec->span.endLine;
    window->span.endColumn = spec->span.endColumn;
    clause->children().push_back(p.arena, window);
  } while (p.accept(tkComma));
  return clause;
}

// `FETCH {FIRST|NEXT} [count] {ROW|ROWS} {ONLY|WITH TIES}`; FETCH has been
// consumed.
SqlNode* parseFetch(Parser& p) {
  if (!p.at(tkFirst) && !p.at(tkNext)) p.error("expected FIRST or NEXT after FETCH");
  p.advance();
  SqlNode* limit = newNode(p.arena, nkLimitClause, kEmptySpan);
  SqlNode* count = (p.at(tkRow) || p.at(tkRows)) ? newIntLit(p.arena, 1, p.current.span())
                                                  : p.parseExpression();
  limit->children().push_back(p.arena, count);
  if (p.isWord("percent")) p.error("FETCH ... PERCENT is not supported");
  if (!p.at(tkRow) && !p.at(tkRows)) p.error("expected ROW or ROWS after FETCH count");
  p.advance();
  if (p.accept(tkOnly)) return limit;
  if (!p.accept(tkWith)) p.error("expected ONLY or WITH TIES in FETCH clause");
  if (!p.accept(tkTies)) p.error("expected TIES after WITH in FETCH clause");
  limit->limitWithTies = true;
  return limit;
}

}  // namespace

// query_expression := term {(UNION|EXCEPT) [ALL] term} [ORDER BY items] limits
// Current token: SELECT or VALUES (anything else fails in the body rule).
SqlNode* Parser::parseQueryExpression() {
  SqlNode* root = parseQueryTerm();
  while (at(tkUnion) || at(tkExcept)) {
    SetOpKind op = at(tkUnion) ? soUnion : soExcept;
    SqlNode* step = newSetOperation(*this, op, advance());
    step->setRight() = parseQueryTerm();
    root->children().push_back(arena, step);
  }
  if (accept(tkOrder)) {
    expect(tkBy);
    SqlNode* order = newNode(arena, nkOrderByClause, kEmptySpan);
    order->children().push_back(arena, parseOrderItem());
    while (accept(tkComma)) order->children().push_back(arena, parseOrderItem());
    root->children().push_back(arena, order);
  }
  parseLimitClauses(root);
  return root;
}

// term := body {INTERSECT [ALL] body}; the steps are children of the first body.
SqlNode* Parser::parseQueryTerm() {
  SqlNode* first = parseQueryBody(*this);
  while (at(tkIntersect)) {
    SqlNode* step = newSetOperation(*this, soIntersect, advance());
    step->setRight() = parseQueryBody(*this);
    first->children().push_back(arena, step);
  }
  return first;
}

// with_query := WITH [RECURSIVE] cte {, cte} query_expression
// cte := name [(column {, column})] AS ( query )
// A CTE body that is itself a WITH query nests, and is counted against the
// nesting limit; a SELECT or VALUES body adds no level.
SqlNode* Parser::parseWithQuery() {
  Token with = expect(tkWith);
  SqlNode* clause = newNode(arena, nkWithClause, with.span());
  clause->recursive = accept(tkRecursive);
  do {
    Token name = expectIdent("common table expression name");
    SqlNode* cte = newNode(arena, nkCommonTableExpr, name.span());
    cte->children().push_back(arena, newIdentifier(arena, name.text, name.span()));
    if (at(tkLParen)) {
      SqlNode* columns = newNode(arena, nkCteColumnList, advance().span());
      do {
        Token column = expectIdent("common table expression column name");
        columns->children().push_back(arena, newIdentifier(arena, column.text, column.span()));
      } while (accept(tkComma));
      expect(tkRParen);
      cte->children().push_back(arena, columns);
    }
    expect(tkAs);
    expect(tkLParen);
    SqlNode* body;
    if (at(tkSelect) || at(tkValues)) {
      body = parseQueryExpression();
    } else if (at(tkWith)) {
      NestingGuard guard(*this);
      body = parseWithQuery();
    } else {
      error("expected SELECT, VALUES, or WITH in common table expression");
    }
    cte->children().push_back(arena, body);
    expect(tkRParen);
    clause->children().push_back(arena, cte);
  } while (accept(tkComma));
  if (!at(tkSelect) && !at(tkValues)) error("expected SELECT or VALUES after WITH clause");
  SqlNode* root = parseQueryExpression();
  root->children().insert(arena, 0, clause);
  root->span.startLine = with.line;
  root->span.startColumn = with.column;
  return root;
}

// values := VALUES ( expression {, expression} ) {, ( ... )}
SqlNode* Parser::parseValues() {
  SqlNode* values = newNode(arena, nkValues, expect(tkValues).span());
  do {
    expect(tkLParen);
    if (at(tkRParen)) error("expected expression in VALUES row");
    SqlNode* row = newNode(arena, nkExprList, kEmptySpan);
    parseExpressionList(*this, row);
    Token close = expect(tkRParen);
    row->span = spanFrom(row->children()[0]->span, close.span());
    values->children().push_back(arena, row);
  } while (accept(tkComma));
  return values;
}

// select_core := SELECT [DISTINCT [ON (expressions)]] items [FROM ...]
//   [WHERE e] [GROUP BY elements] [HAVING e] [WINDOW windows] [QUALIFY e]
// Each clause at most once and in this order; a keyword out of order ends the
// core and is left to the caller.
SqlNode* Parser::parseSelectCore() {
  SqlNode* select = newNode(arena, nkSelect, expect(tkSelect).span());
  NodeList& parts = select->children();
  if (at(tkDistinct)) {
    Token distinct = advance();
    if (accept(tkOn)) {
      expect(tkLParen);
      if (at(tkRParen)) error("expected expression in DISTINCT ON list");
      SqlNode* on = newNode(arena, nkDistinctOnClause, kEmptySpan);
      parseExpressionList(*this, on);
      on->span = spanFrom(distinct, expect(tkRParen));
      parts.push_back(arena, on);
    } else {
      parts.push_back(arena, newIdentifier(arena, "DISTINCT", kEmptySpan));
    }
  }
  SqlNode* projection = newNode(arena, nkExprList, kEmptySpan);
  parseSelectList(projection);
  parts.push_back(arena, projection);
  if (accept(tkFrom)) parts.push_back(arena, parseFromClause());
  if (accept(tkWhere)) parts.push_back(arena, parseConditionClause(*this, nkWhereClause, kEmptySpan));
  if (accept(tkGroup)) {
    expect(tkBy);
    SqlNode* group = newNode(arena, nkGroupByClause, kEmptySpan);
    group->children().push_back(arena, parseGroupingElement());
    while (accept(tkComma)) group->children().push_back(arena, parseGroupingElement());
    parts.push_back(arena, group);
  }
  if (accept(tkHaving)) parts.push_back(arena, parseConditionClause(*this, nkHavingClause, kEmptySpan));
  if (at(tkWindow)) parts.push_back(arena, parseWindowClause(*this));
  if (at(tkQualify)) {
    SqlSpan keyword = advance().span();
    parts.push_back(arena, parseConditionClause(*this, nkQualifyClause, keyword));
  }
  return select;
}

// select_list := item {, item}
void Parser::parseSelectList(SqlNode* list) {
  list->children().push_back(arena, parseSelectItem());
  while (accept(tkComma)) list->children().push_back(arena, parseSelectItem());
}

// item := expression [AS wide_name | implicit_alias]
SqlNode* Parser::parseSelectItem() {
  SqlNode* expression = parseExpression();
  Token alias;
  if (accept(tkAs)) {
    alias = expectName("alias");
  } else if (isImplicitAliasToken(current.kind)) {
    alias = advance();
  } else {
    return expression;
  }
  SqlNode* node = newNode(arena, nkAlias, alias.span());
  node->aliasExpr() = expression;
  node->aliasName() = alias.text;
  return node;
}

// order_item := expression [ASC|DESC] [NULLS {FIRST|LAST}]
// A direction wraps the expression in an alias named "asc" or "desc".
SqlNode* Parser::parseOrderItem() {
  SqlNode* item = parseExpression();
  if (at(tkAsc) || at(tkDesc)) {
    bool ascending = at(tkAsc);
    SqlNode* wrapper = newNode(arena, nkAlias, advance().span());
    wrapper->aliasExpr() = item;
    wrapper->aliasName() = ascending ? "asc" : "desc";
    wrapper->ascending = ascending ? 1 : 0;
    item = wrapper;
  }
  if (accept(tkNulls)) {
    if (at(tkFirst)) {
      item->nullsFirst = 1;
    } else if (at(tkLast)) {
      item->nullsFirst = 0;
    } else {
      error("expected FIRST or LAST after NULLS");
    }
    advance();
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
      advance();
      offset = newNode(arena, nkOffsetClause, kEmptySpan);
      offset->children().push_back(arena, parseExpression());
      if (at(tkRow) || at(tkRows)) advance();
    } else if (at(tkLimit) || at(tkFetch)) {
      if (limit != nullptr || limitAll) error("multiple LIMIT clauses are not allowed");
      if (advance().kind == tkFetch) {
        limit = parseFetch(*this);
      } else if (accept(tkAll)) {
        limitAll = true;
      } else {
        limit = newNode(arena, nkLimitClause, kEmptySpan);
        limit->children().push_back(arena, parseExpression());
      }
    } else {
      break;
    }
  }
  if (limit != nullptr) body->children().push_back(arena, limit);
  if (offset != nullptr) body->children().push_back(arena, offset);
}

}  // namespace vellum::sql
