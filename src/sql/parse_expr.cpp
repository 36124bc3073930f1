// Expression grammar above the primaries: OR, AND, predicates, JSON arrows,
// the binary operators from "||" down to "*", and subscripts.
//
// Binary chains never recurse per operator: OR and AND are loops, and the
// seven levels from "||" to "*" are one operator-precedence loop with a
// fixed-size stack, so "1+1+...+1" of any length parses in one frame. Only
// parentheses and the other constructs that enter the nesting counter make
// the recursion deeper, and they are limited to 128 levels; the frames on
// that path are kept small so that the limit fits a 1 MiB stack.
#include "sql/parser.h"

namespace vellum::sql {
namespace {

constexpr SqlSpan kEmptySpan{};

// Binding strength of the binary operators from "||" (1) to "*" (7); 0 for
// any other token.
struct BinaryOperator {
  std::uint8_t precedence;
  SqlBinaryOp op;
};

constexpr BinaryOperator binaryOperatorOf(TokenKind kind) {
  switch (kind) {
    case tkPipePipe: return {1, opStringConcat};
    case tkBitOr: return {2, opBitOr};
    case tkBitXor: return {3, opBitXor};
    case tkBitAnd: return {4, opBitAnd};
    case tkShiftLeft: return {5, opShiftLeft};
    case tkShiftRight: return {5, opShiftRight};
    case tkPlus: return {6, opAdd};
    case tkMinus: return {6, opSub};
    case tkStar: return {7, opMul};
    case tkSlash: return {7, opDiv};
    case tkPercent: return {7, opMod};
    default: return {0, opEq};
  }
}
constexpr int kMaxPrecedence = 7;

// The JSON access function an arrow token stands for, or null.
constexpr const char* jsonFunctionOf(TokenKind kind) {
  switch (kind) {
    case tkArrow: return "JSONB_EXTRACT";
    case tkArrowText: return "JSONB_EXTRACT_TEXT";
    case tkPathArrow: return "JSONB_EXTRACT_PATH";
    case tkPathArrowText: return "JSONB_EXTRACT_PATH_TEXT";
    default: return nullptr;
  }
}

// The tokens that some rule between a primary and a whole expression goes
// on with: a subscript, the binary operators, the JSON arrows, the predicate
// words and operators, AND and OR.
struct TokenSet {
  bool of[256];
};
constexpr TokenSet kContinuesOperand = [] {
  TokenSet t{};
  for (int k = 0; k <= tkEof; ++k) {
    auto kind = static_cast<TokenKind>(k);
    t.of[k] = binaryOperatorOf(kind).precedence != 0 || jsonFunctionOf(kind) != nullptr;
  }
  for (TokenKind kind : {tkLBracket, tkNot, tkIs, tkEq, tkNeq, tkLt, tkLe, tkGt, tkGe, tkLike, tkILike, tkGlob,
                         tkSimilar, tkIn, tkBetween, tkAnd, tkOr}) {
    t.of[kind] = true;
  }
  return t;
}();

bool startsQuery(TokenKind kind) { return kind == tkSelect || kind == tkValues || kind == tkWith; }

SqlNode* parseQueryAfterParen(Parser& p) {
  return p.at(tkWith) ? p.parseWithQuery() : p.parseQueryExpression();
}

SqlNode* exprList(Parser& p, SqlNode* first, SqlNode* second) {
  SqlNode* list = newNode(p.arena, nkExprList, kEmptySpan);
  list->children().push_back(p.arena, first);
  list->children().push_back(p.arena, second);
  return list;
}

// AND chain: predicate (AND predicate)*
SqlNode* parseAnd(Parser& p, SqlNode* first) {
  SqlNode* left = p.parsePredicate(first);
  while (p.accept(tkAnd)) {
    SqlNode* right = p.parsePredicate();
    left = newBinary(p.arena, opAnd, left, right, kEmptySpan);
  }
  return left;
}

// BETWEEN low AND high; the current token is BETWEEN.
SqlNode* parseBetweenTail(Parser& p, SqlNode* left, SqlBinaryOp op) {
  p.advance();
  SqlNode* low = p.parseConcat();
  p.expect(tkAnd);
  SqlNode* high = p.parseConcat();
  return newBinary(p.arena, op, left, exprList(p, low, high), kEmptySpan);
}

// pattern [ESCAPE escape]; the LIKE, ILIKE, GLOB or SIMILAR TO words have
// been consumed. Only the LIKE forms take an escape.
SqlNode* parsePatternTail(Parser& p, SqlNode* left, SqlBinaryOp op) {
  SqlNode* pattern = p.parseConcat();
  bool escapable = op == opLike || op == opNotLike || op == opILike || op == opNotILike;
  if (escapable && p.accept(tkEscape)) {
    SqlNode* escape = p.parseConcat();
    pattern = exprList(p, pattern, escape);
  }
  return newBinary(p.arena, op, left, pattern, kEmptySpan);
}

// IN ( query ) or IN ( expr, ... ); the current token is IN.
SqlNode* parseInTail(Parser& p, SqlNode* left, bool negated) {
  return nested(p, [&]() -> SqlNode* {
    p.expect(tkIn);
    p.expect(tkLParen);
    if (startsQuery(p.current.kind)) {
      SqlNode* query = parseQueryAfterParen(p);
      p.expect(tkRParen);
      SqlNode* node = newNode(p.arena, nkInSubquery, kEmptySpan);
      node->negated = negated;
      node->children().push_back(p.arena, left);
      node->children().push_back(p.arena, query);
      return node;
    }
    if (p.at(tkRParen)) p.error("IN list must contain at least one expression");
    SqlNode* list = newNode(p.arena, nkExprList, kEmptySpan);
    list->children().push_back(p.arena, p.parseExpression());
    while (p.accept(tkComma)) list->children().push_back(p.arena, p.parseExpression());
    p.expect(tkRParen);
    return newBinary(p.arena, negated ? opNotIn : opIn, left, list, kEmptySpan);
  });
}

// IS [NOT] NULL | TRUE | FALSE | UNKNOWN | DISTINCT FROM right; the current
// token is IS.
SqlNode* parseIsTail(Parser& p, SqlNode* left) {
  p.advance();
  bool negated = p.accept(tkNot);
  if (p.at(tkNull)) {
    p.advance();
    return newUnary(p.arena, negated ? opIsNotNull : opIsNull, left, kEmptySpan);
  }
  if (p.at(tkTrue) || p.at(tkFalse) || p.isWord("unknown")) {
    Token word = p.advance();
    SqlNode* node = newNode(p.arena, nkTruthPredicate, word.span());
    node->negated = negated;
    node->children().push_back(p.arena, left);
    node->children().push_back(p.arena, newIdentifier(p.arena, word.text, word.span()));
    return node;
  }
  if (p.at(tkDistinct)) {
    Token distinct = p.advance();
    p.expect(tkFrom);
    SqlNode* right = p.parseConcat();
    SqlNode* node = newNode(p.arena, nkIsDistinctFrom, distinct.span());
    node->negated = negated;
    node->children().push_back(p.arena, left);
    node->children().push_back(p.arena, right);
    return node;
  }
  p.expect(tkNull);  // fails: nothing else may follow IS
  return nullptr;
}

// op ANY|SOME|ALL ( query ); the current token is the quantifier.
SqlNode* parseQuantified(Parser& p, SqlNode* left, SqlBinaryOp op) {
  Token quantifier = p.advance();
  SqlNode* node = newNode(p.arena, nkQuantified, quantifier.span());
  node->quantifierAll = quantifier.kind == tkAll;
  node->children().push_back(p.arena, left);
  node->children().push_back(p.arena, newIdentifier(p.arena, binaryOpName(op), quantifier.span()));
  node->children().push_back(p.arena, p.parseParenSubquery());
  return node;
}

// The predicate forms after NOT; the current token follows NOT. Returns
// null when NOT negates the left operand itself.
SqlNode* parseNegatedPredicate(Parser& p, SqlNode* left) {
  switch (p.current.kind) {
    case tkBetween:
      return parseBetweenTail(p, left, opNotBetween);
    case tkLike:
      p.advance();
      return parsePatternTail(p, left, opNotLike);
    case tkILike:
      p.advance();
      return parsePatternTail(p, left, opNotILike);
    case tkGlob:
      p.advance();
      return parsePatternTail(p, left, opNotGlob);
    case tkSimilar:
      p.advance();
      p.expect(tkTo);
      return parsePatternTail(p, left, opNotSimilarTo);
    case tkIn:
      return parseInTail(p, left, true);
    default:
      return nullptr;
  }
}

// The bound of a slice after ":"; a missing bound is NULL.
SqlNode* parseSliceEnd(Parser& p, const SqlSpan& span) {
  if (p.at(tkRBracket)) return newNull(p.arena, span);
  return p.parseExpression();
}

// "[" index "]" or "[" [start] ":" [end] "]" after `base`; the current token
// is "[". While its bounds are parsed, a bracket is one uncounted nesting
// level (see Parser::uncountedDepth).
SqlNode* parseSubscript(Parser& p, SqlNode* base) {
  return nested<&Parser::uncountedDepth>(p, [&]() -> SqlNode* {
    p.advance();
    SqlNode* start = nullptr;
    if (!p.at(tkColon)) {
      start = p.parseExpression();
      if (!p.at(tkColon)) {
        p.expect(tkRBracket);
        SqlNode* call = newNode(p.arena, nkFunctionCall, base->span);
        call->children().push_back(p.arena, newIdentifier(p.arena, "ARRAY_SUBSCRIPT", base->span));
        call->children().push_back(p.arena, base);
        call->children().push_back(p.arena, start);
        return call;
      }
    }
    p.advance();  // ":"
    if (start == nullptr) start = newNull(p.arena, base->span);
    SqlNode* end = parseSliceEnd(p, base->span);
    p.expect(tkRBracket);
    SqlNode* call = newNode(p.arena, nkFunctionCall, base->span);
    call->children().push_back(p.arena, newIdentifier(p.arena, "ARRAY_SLICE", base->span));
    call->children().push_back(p.arena, base);
    call->children().push_back(p.arena, start);
    call->children().push_back(p.arena, end);
    return call;
  });
}

}  // namespace

// expr: and (OR and)*
// Most expressions are a lone operand; when the token after the primary
// continues no rule above it, the primary is the expression and the rules in
// between are not entered.
SqlNode* Parser::parseExpression() {
  SqlNode* primary = parsePrimary();
  if (!kContinuesOperand.of[current.kind]) return primary;
  SqlNode* left = parseAnd(*this, primary);
  while (accept(tkOr)) {
    SqlNode* right = parseAnd(*this, nullptr);
    left = newBinary(arena, opOr, left, right, SqlSpan{});
  }
  return left;
}

// predicate: json [NOT] (comparison | IS ... | LIKE ... | IN ... | BETWEEN ...)
// Comparisons do not chain; right-hand operands are read at the "||" level.
SqlNode* Parser::parsePredicate(SqlNode* first) {
  SqlNode* left = parseJsonAccess(first);
  if (at(tkNot)) {
    advance();
    if (SqlNode* negated = parseNegatedPredicate(*this, left)) return negated;
    left = newUnary(arena, opNot, left, SqlSpan{});
  }
  switch (current.kind) {
    case tkIs:
      return parseIsTail(*this, left);
    case tkEq: case tkNeq: case tkLt: case tkLe: case tkGt: case tkGe: {
      auto op = static_cast<SqlBinaryOp>(current.kind - tkEq);
      advance();
      if (at(tkAny) || at(tkSome) || at(tkAll)) return parseQuantified(*this, left, op);
      SqlNode* right = parseConcat();
      return newBinary(arena, op, left, right, SqlSpan{});
    }
    case tkLike:
      advance();
      return parsePatternTail(*this, left, opLike);
    case tkILike:
      advance();
      return parsePatternTail(*this, left, opILike);
    case tkGlob:
      advance();
      return parsePatternTail(*this, left, opGlob);
    case tkSimilar:
      advance();
      expect(tkTo);
      return parsePatternTail(*this, left, opSimilarTo);
    case tkIn:
      return parseInTail(*this, left, false);
    case tkBetween:
      return parseBetweenTail(*this, left, opBetween);
    default:
      return left;
  }
}

// json: concat ((-> | ->> | #> | #>>) concat)*
SqlNode* Parser::parseJsonAccess(SqlNode* first) {
  SqlNode* left = parseConcat(first);
  while (const char* function = jsonFunctionOf(current.kind)) {
    Token arrow = advance();
    SqlNode* right = parseConcat();
    // The call runs from its left operand to its right one. An operation
    // has no position yet (the back-fill gives it its parent's): on the
    // left, the call has none either, so that it never starts at 0:0 and
    // ends in the text where no back-fill comes (a CHECK expression, a MERGE
    // condition); on the right, the call ends where its last token ends.
    SqlSpan span{};
    if (!left->span.isEmpty()) span = spanFrom(left->span, right->span.endLine != 0 ? right->span : previous.span());
    SqlNode* call = newNode(arena, nkFunctionCall, span);
    call->children().push_back(arena, newIdentifier(arena, function, arrow.span()));
    call->children().push_back(arena, left);
    call->children().push_back(arena, right);
    left = call;
  }
  return left;
}

// concat: postfix (op postfix)* for the operators from "||" to "*", all
// left-associative. `pending` holds the operands still waiting for a right
// side; their precedences strictly increase, so it never holds more than
// one entry per level.
SqlNode* Parser::parseConcat(SqlNode* first) {
  struct Pending {
    SqlNode* left;
    BinaryOperator op;
  };
  Pending pending[kMaxPrecedence];
  int count = 0;
  SqlNode* operand = parsePostfix(first);
  for (;;) {
    BinaryOperator next = binaryOperatorOf(current.kind);
    while (count > 0 && pending[count - 1].op.precedence >= next.precedence) {
      --count;
      operand = newBinary(arena, pending[count].op.op, pending[count].left, operand, SqlSpan{});
    }
    if (next.precedence == 0) return operand;
    check(count < kMaxPrecedence, "operator stack overflow");
    pending[count++] = {operand, next};
    advance();
    operand = parsePostfix();
  }
}

// postfix: primary ("[" ... "]")*
SqlNode* Parser::parsePostfix(SqlNode* first) {
  SqlNode* node = first != nullptr ? first : parsePrimary();
  while (at(tkLBracket)) node = parseSubscript(*this, node);
  return node;
}

// "(" (SELECT | VALUES | WITH) ... ")"; the current token is "(".
SqlNode* Parser::parseParenSubquery() {
  return nested(*this, [&]() -> SqlNode* {
    expect(tkLParen);
    if (!startsQuery(current.kind)) error("expected SELECT, VALUES, or WITH subquery");
    SqlNode* query = parseQueryAfterParen(*this);
    expect(tkRParen);
    return query;
  });
}

}  // namespace vellum::sql
