// GROUP BY elements (ROLLUP, CUBE, GROUPING SETS, the empty set) and window
// definitions with PARTITION BY, ORDER BY and ROWS / RANGE frames.
//
// rollup, cube, grouping, sets, unbounded, preceding, following and current
// are no keywords: they are recognised as identifier words, and ROLLUP, CUBE
// and GROUPING only when the next token confirms them, so they stay usable as
// column names.
#include <optional>

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
[[gnu::noinline]] bool atGroupingSets(const Parser& p) {
  if (!p.isWord("grouping")) return false;
  Lexer copy = p.lexer;
  Token next = nextToken(copy, nullptr);
  return next.kind == tkIdent && equalsWord(next.text, "sets");
}

// The word `rollup` or `cube` directly followed by `(`: nkRollup or nkCube.
std::optional<SqlNodeKind> atRollupOrCube(const Parser& p) {
  SqlNodeKind kind;
  if (p.isWord("rollup")) {
    kind = nkRollup;
  } else if (p.isWord("cube")) {
    kind = nkCube;
  } else {
    return std::nullopt;
  }
  if (p.peekKind() != tkLParen) return std::nullopt;
  return kind;
}

// `)` ends the node's span.
void closeParen(Parser& p, SqlNode* node) {
  SqlSpan close = p.current.span();
  p.skip(tkRParen);
  Parser::extendTo(node, close);
}

[[gnu::noinline, noreturn]] void emptyRollupOrCube(const Parser& p, std::string_view keyword) {
  char upper[16];
  const std::size_t length = keyword.size() < sizeof upper ? keyword.size() : sizeof upper;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = keyword[i];
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
  }
  p.error("expected expression in ", std::string_view(upper, length), " list");
}

// GROUPING SETS (, with the grouping word current.
[[gnu::noinline]] SqlNode* startGroupingSets(Parser& p) {
  SqlNode* sets = newNode(p.arena, nkGroupingSets, p.current.span());
  p.advance();
  p.advance();
  p.skip(tkLParen);
  if (p.at(tkRParen)) p.error("expected at least one grouping set in GROUPING SETS");
  return sets;
}

// `()` in GROUP BY: a grouping-sets node holding one empty set.
[[gnu::noinline]] SqlNode* parseEmptyGroupingSet(Parser& p) {
  Token open = p.advance();
  SqlSpan span = Parser::spanFrom(open, p.advance());
  SqlNode* sets = newNode(p.arena, nkGroupingSets, span);
  sets->children().push_back(p.arena, newNode(p.arena, nkGroupingSet, span));
  return sets;
}

// {ROLLUP|CUBE} (, with the word current, refusing an empty list.
[[gnu::noinline]] SqlNode* startRollupOrCube(Parser& p, SqlNodeKind kind) {
  Token keyword = p.advance();
  p.skip(tkLParen);
  SqlNode* node = newNode(p.arena, kind, keyword.span());
  if (p.at(tkRParen)) emptyRollupOrCube(p, keyword.text);
  return node;
}

// A window base name, current, as an identifier.
[[gnu::noinline]] SqlNode* parseBaseName(Parser& p) {
  Token name = p.advance();
  return newIdentifier(p.arena, name.text, name.span());
}

// The node of a PARTITION BY or ORDER BY clause, the keyword current.
[[gnu::noinline]] SqlNode* startByClause(Parser& p, SqlNodeKind kind) {
  SqlNode* clause = newNode(p.arena, kind, p.current.span());
  p.advance();
  p.skip(tkBy);
  return clause;
}

}  // namespace

// element := ROLLUP (exprs) | CUBE (exprs) | GROUPING SETS (set {, set}) | () | expression
SqlNode* Parser::parseGroupingElement() {
  if (std::optional<SqlNodeKind> kind = atRollupOrCube(*this)) return parseRollupOrCube(*kind);
  if (atGroupingSets(*this)) {
    SqlNode* sets = startGroupingSets(*this);
    do {
      SqlNode* set = parseGroupingSetElement();
      sets->children().push_back(arena, set);
    } while (accept(tkComma));
    closeParen(*this, sets);
    return sets;
  }
  if (at(tkLParen) && peekKind() == tkRParen) return parseEmptyGroupingSet(*this);
  return parseExpression();
}

// set := ( [expression {, expression}] ) | expression
SqlNode* Parser::parseGroupingSetElement() {
  if (atRollupOrCube(*this)) error("ROLLUP and CUBE cannot be nested inside GROUPING SETS");
  if (atGroupingSets(*this)) error("GROUPING SETS cannot be nested inside GROUPING SETS");
  if (!at(tkLParen)) {
    SqlNode* expression = parseExpression();
    SqlNode* set = newNode(arena, nkGroupingSet, expression->span);
    set->children().push_back(arena, expression);
    return set;
  }
  SqlNode* set = newNode(arena, nkGroupingSet, current.span());
  skip(tkLParen);
  if (!at(tkRParen)) parseExpressionList(set);
  closeParen(*this, set);
  return set;
}

// {ROLLUP|CUBE} ( expression {, expression} ); the word is current.
SqlNode* Parser::parseRollupOrCube(SqlNodeKind kind) {
  SqlNode* node = startRollupOrCube(*this, kind);
  parseExpressionList(node);
  closeParen(*this, node);
  return node;
}

// window := ( [base_name] [PARTITION BY exprs] [ORDER BY items] [frame] )
SqlNode* Parser::parseWindowSpec() {
  SqlNode* window = newNode(arena, nkWindowSpec, current.span());
  skip(tkLParen);
  SqlNode* part;
  if (isWindowBaseNameToken(current.kind)) {
    part = parseBaseName(*this);
    window->children().push_back(arena, part);
  }
  if (at(tkPartition)) {
    part = startByClause(*this, nkPartitionByClause);
    parseExpressionList(part);
    window->children().push_back(arena, part);
  }
  if (at(tkOrder)) {
    part = startByClause(*this, nkOrderByClause);
    do {
      SqlNode* item = parseOrderItem();
      part->children().push_back(arena, item);
    } while (accept(tkComma));
    window->children().push_back(arena, part);
  }
  if (at(tkRows) || at(tkRange)) {
    part = parseWindowFrame();
    window->children().push_back(arena, part);
  }
  closeParen(*this, window);
  return window;
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
  Parser::extendTo(bound, advance().span());
  return bound;
}

}  // namespace vellum::sql
