// GROUP BY elements (ROLLUP, CUBE, GROUPING SETS, the empty set) and window
// specifications with PARTITION BY, ORDER BY and ROWS / RANGE frames.
//
// rollup, cube, grouping, sets, unbounded, preceding, following and current
// are no keywords: they are recognised as identifier words, and ROLLUP, CUBE
// and GROUPING only when the next token confirms them, so they stay usable as
// column names.
#include <string>

#include "sql/parser.h"

namespace vellum::sql {
namespace {

bool equalsWord(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char a = text[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + ('a' - 'A'));
    if (a != word[i]) return false;
  }
  return true;
}

// The word `grouping` followed by the word `sets`.
bool atGroupingSets(const Parser& p) {
  if (!p.isWord("grouping")) return false;
  Lexer copy = p.lexer;
  Token next = nextToken(copy, nullptr);
  return next.kind == tkIdent && equalsWord(next.text, "sets");
}

// The word `rollup` or `cube` directly followed by `(`.
bool atRollupOrCube(const Parser& p, SqlNodeKind& kind) {
  if (p.isWord("rollup")) {
    kind = nkRollup;
  } else if (p.isWord("cube")) {
    kind = nkCube;
  } else {
    return false;
  }
  return p.peekKind() == tkLParen;
}

// Appends `expression (, expression)*` to the node's children.
void parseExpressionList(Parser& p, SqlNode* node) {
  node->children().push_back(p.arena, p.parseExpression());
  while (p.accept(tkComma)) node->children().push_back(p.arena, p.parseExpression());
}

void extendTo(SqlNode* node, const Token& last) {
  node->span.endLine = last.endLine;
  node->span.endColumn = last.endColumn;
}

[[noreturn]] void emptyRollupOrCube(const Parser& p, std::string_view keyword) {
  std::string message = "expected expression in ";
  for (char c : keyword) message += (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
  message += " list";
  p.error(message);
}

}  // namespace

// element := ROLLUP (exprs) | CUBE (exprs) | GROUPING SETS (set {, set}) | () | expression
SqlNode* Parser::parseGroupingElement() {
  SqlNodeKind kind;
  if (atRollupOrCube(*this, kind)) return parseRollupOrCube(kind);
  if (atGroupingSets(*this)) {
    Token grouping = advance();
    advance();
    expect(tkLParen);
    SqlNode* sets = newNode(arena, nkGroupingSets, grouping.span());
    if (at(tkRParen)) error("expected at least one grouping set in GROUPING SETS");
    sets->children().push_back(arena, parseGroupingSetElement());
    while (accept(tkComma)) sets->children().push_back(arena, parseGroupingSetElement());
    extendTo(sets, expect(tkRParen));
    return sets;
  }
  if (at(tkLParen) && peekKind() == tkRParen) {
    Token open = advance();
    SqlSpan span = spanFrom(open, advance());
    SqlNode* sets = newNode(arena, nkGroupingSets, span);
    sets->children().push_back(arena, newNode(arena, nkGroupingSet, span));
    return sets;
  }
  return parseExpression();
}

// set := ( [expression {, expression}] ) | expression
SqlNode* Parser::parseGroupingSetElement() {
  SqlNodeKind kind;
  if (atRollupOrCube(*this, kind)) error("ROLLUP and CUBE cannot be nested inside GROUPING SETS");
  if (atGroupingSets(*this)) error("GROUPING SETS cannot be nested inside GROUPING SETS");
  if (!at(tkLParen)) {
    SqlNode* expression = parseExpression();
    SqlNode* set = newNode(arena, nkGroupingSet, expression->span);
    set->children().push_back(arena, expression);
    return set;
  }
  SqlNode* set = newNode(arena, nkGroupingSet, advance().span());
  if (!at(tkRParen)) parseExpressionList(*this, set);
  extendTo(set, expect(tkRParen));
  return set;
}

// {ROLLUP|CUBE} ( expression {, expression} ); the word is current.
SqlNode* Parser::parseRollupOrCube(SqlNodeKind kind) {
  Token keyword = advance();
  expect(tkLParen);
  SqlNode* node = newNode(arena, kind, keyword.span());
  if (at(tkRParen)) emptyRollupOrCube(*this, keyword.text);
  parseExpressionList(*this, node);
  extendTo(node, expect(tkRParen));
  return node;
}

// spec := ( [base_name] [PARTITION BY exprs] [ORDER BY items] [frame] )
SqlNode* Parser::parseWindowSpec() {
  SqlNode* spec = newNode(arena, nkWindowSpec, expect(tkLParen).span());
  NodeList& parts = spec->children();
  if (isWindowBaseNameToken(current.kind)) {
    Token name = advance();
    parts.push_back(arena, newIdentifier(arena, name.text, name.span()));
  }
  if (at(tkPartition)) {
    SqlNode* partition = newNode(arena, nkPartitionByClause, advance().span());
    expect(tkBy);
    parseExpressionList(*this, partition);
    parts.push_back(arena, partition);
  }
  if (at(tkOrder)) {
    SqlNode* order = newNode(arena, nkOrderByClause, advance().span());
    expect(tkBy);
    order->children().push_back(arena, parseOrderItem());
    while (accept(tkComma)) order->children().push_back(arena, parseOrderItem());
    parts.push_back(arena, order);
  }
  if (at(tkRows) || at(tkRange)) parts.push_back(arena, parseWindowFrame());
  extendTo(spec, expect(tkRParen));
  return spec;
}

// frame := {ROWS|RANGE} {BETWEEN bound AND bound | bound}; a lone bound ends
// at CURRENT ROW.
SqlNode* Parser::parseWindowFrame() {
  Token unit = advance();
  SqlNode* frame = newNode(arena, nkWindowFrame, unit.span());
  frame->frameUnit() = unit.kind == tkRows ? fuRows : fuRange;
  if (accept(tkBetween)) {
    frame->frameStart() = parseFrameBound();
    expect(tkAnd);
    frame->frameEnd() = parseFrameBound();
  } else {
    frame->frameStart() = parseFrameBound();
    SqlNode* end = newNode(arena, nkWindowFrameBound, frame->frameStart()->span);
    end->frameBoundKind() = fbCurrentRow;
    frame->frameEnd() = end;
  }
  frame->span.endLine = frame->frameEnd()->span.endLine;
  frame->span.endColumn = frame->frameEnd()->span.endColumn;
  return frame;
}

// bound := UNBOUNDED {PRECEDING|FOLLOWING} | CURRENT ROW | n {PRECEDING|FOLLOWING}
// The offset is a plain unsigned integer: no sign, expression or interval.
SqlNode* Parser::parseFrameBound() {
  Token first = current;
  SqlNode* bound = newNode(arena, nkWindowFrameBound, first.span());
  if (isWord("unbounded")) {
    advance();
    if (isWord("preceding")) {
      bound->frameBoundKind() = fbUnboundedPreceding;
    } else if (isWord("following")) {
      bound->frameBoundKind() = fbUnboundedFollowing;
    } else {
      error("expected PRECEDING or FOLLOWING after UNBOUNDED");
    }
  } else if (isWord("current")) {
    advance();
    if (!at(tkRow)) error("expected row");
    bound->frameBoundKind() = fbCurrentRow;
  } else if (at(tkInteger)) {
    advance();
    if (!convertUnsigned(first.text, bound->frameOffset())) {
      error("window frame offset exceeds unsigned 64-bit range");
    }
    if (isWord("preceding")) {
      bound->frameBoundKind() = fbPreceding;
    } else if (isWord("following")) {
      bound->frameBoundKind() = fbFollowing;
    } else {
      error("expected PRECEDING or FOLLOWING after window frame offset");
    }
  } else {
    error("expected window frame bound");
  }
  extendTo(bound, advance());
  return bound;
}

}  // namespace vellum::sql
