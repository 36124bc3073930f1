// Primary expressions: literals and typed literals, parameters, names and
// column references, function calls with their aggregate and window
// clauses, CAST, CASE, subqueries, EXISTS, row constructors, ARRAY and
// vector literals, and the prefix operators.
//
// parsePrimary sits on the recursion path of every nesting level (a
// parenthesis, a call, a CASE ...), so it only dispatches; each construct
// is read by its own function, and the rarer ones are kept out of line so
// that their locals do not widen the frame that every level pays for.
#include "sql/parser.h"

namespace vellum::sql {
namespace {

constexpr SqlSpan kEmptySpan{};

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }
char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; }

std::string_view mapAscii(Arena& arena, std::string_view text, char (*map)(char)) {
  char* out = arena.allocateArray<char>(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = map(text[i]);
  return {out, text.size()};
}

// A one-word type name node for typed literals.
SqlNode* typeNameOf(Parser& p, const Token& keyword) {
  SqlNode* type = newNode(p.arena, nkTypeName, keyword.span());
  p.addChild(type, newIdentifier(p.arena, keyword.text, keyword.span()));
  return type;
}

// KEYWORD 'text' as a cast of the string to the one-word type; the string
// has been consumed.
SqlNode* typedLiteral(Parser& p, const Token& keyword, const Token& string) {
  SqlNode* cast = newNode(p.arena, nkCast, Parser::spanFrom(keyword, string));
  p.addChild(cast, newStringLit(p.arena, string.text, string.span()));
  p.addChild(cast, typeNameOf(p, keyword));
  return cast;
}

// DECIMAL 'digits': a cast to DECIMAL(precision, scale), both taken from the
// text. Only signs, the point and leading zeros are looked at.
[[gnu::noinline]] SqlNode* parseDecimalLiteral(Parser& p) {
  Token keyword = p.advance();
  Token string = p.expect(tkString);
  std::string_view digits = string.text;
  auto isSign = [](char c) { return c == '+' || c == '-'; };
  while (!digits.empty() && isSign(digits.front())) digits.remove_prefix(1);
  while (!digits.empty() && isSign(digits.back())) digits.remove_suffix(1);
  std::string_view integerPart = digits;
  std::int64_t scale = 0;
  if (std::size_t point = digits.find('.'); point != std::string_view::npos) {
    integerPart = digits.substr(0, point);
    scale = static_cast<std::int64_t>(digits.size() - point - 1);
  }
  while (!integerPart.empty() && integerPart.front() == '0') integerPart.remove_prefix(1);
  std::int64_t precision = static_cast<std::int64_t>(integerPart.size()) + scale;
  if (precision < 1) precision = 1;
  if (precision > 38) p.error("DECIMAL literal precision must be between 1 and 38");

  SqlNode* cast = newNode(p.arena, nkCast, Parser::spanFrom(keyword, string));
  p.addChild(cast, newStringLit(p.arena, string.text, string.span()));
  SqlNode* type = typeNameOf(p, keyword);
  p.addChild(type, newIntLit(p.arena, precision, keyword.span()));
  p.addChild(type, newIntLit(p.arena, scale, keyword.span()));
  p.addChild(cast, type);
  return cast;
}

// DATE, TIME, JSON, JSONB, NOW, VECTOR, TIMESTAMP and INTERVAL: a typed
// literal, a function call named by the keyword, or (DATE, TIME) a name.
[[gnu::noinline]] SqlNode* parseKeywordPrimary(Parser& p) {
  Token keyword = p.advance();
  switch (keyword.kind) {
    case tkInterval: {
      Token string = p.expect(tkString);
      return newIntervalLit(p.arena, string.text, Parser::spanFrom(keyword, string));
    }
    case tkTimestamp:
      return typedLiteral(p, keyword, p.expect(tkString));
    case tkDate:
    case tkTime:
      if (p.at(tkString)) return typedLiteral(p, keyword, p.advance());
      if (p.at(tkLParen)) return p.parseFunctionCall(keyword);
      if (keyword.kind == tkTime && p.accept(tkDot)) {
        Token column = p.expectName("column name");
        SqlNode* ref = newNode(p.arena, nkColumnRef, keyword.span());
        p.addChild(ref, newIdentifier(p.arena, keyword.text, keyword.span()));
        p.addChild(ref, newIdentifier(p.arena, column.text, column.span()));
        return ref;
      }
      return newIdentifier(p.arena, keyword.text, keyword.span());
    case tkJson:
    case tkJsonb:
      if (p.at(tkString)) return typedLiteral(p, keyword, p.advance());
      if (p.at(tkLParen)) return p.parseFunctionCall(keyword);
      p.error("expected JSON literal or function call");
    default:  // NOW, VECTOR
      if (p.at(tkLParen)) return p.parseFunctionCall(keyword);
      p.error("expected function call");
  }
}

// ARRAY "[" [expr ("," expr)*] "]"; the name has been consumed and the
// current token is "[".
[[gnu::noinline]] SqlNode* parseArrayConstructor(Parser& p, const Token& name) {
  return nested(p, [&]() -> SqlNode* {
    p.expect(tkLBracket);
    SqlNode* call = newNode(p.arena, nkFunctionCall, name.span());
    p.addChild(call, newIdentifier(p.arena, "ARRAY_VALUE", name.span()));
    if (!p.at(tkRBracket)) {
      p.addChild(call, p.parseExpression());
      while (p.accept(tkComma)) p.addChild(call, p.parseExpression());
    }
    p.expect(tkRBracket);
    return call;
  });
}

// A name, a qualified name, a call, or one of the forms selected by the
// name's text; the current token is the name.
[[gnu::noinline]] SqlNode* parseNameForm(Parser& p) {
  Token name = p.advance();
  if (p.at(tkLBracket) && Parser::equalsWord(name.text, "array")) return parseArrayConstructor(p, name);
  if (p.at(tkLParen)) {
    if (Parser::equalsWord(name.text, "try_cast")) return p.parseCast(name, nkTryCast);
    return p.parseFunctionCall(name);
  }
  if (Parser::equalsWord(name.text, "current_timestamp") || Parser::equalsWord(name.text, "current_date") ||
      Parser::equalsWord(name.text, "current_time")) {
    SqlNode* call = newNode(p.arena, nkFunctionCall, name.span());
    p.addChild(call, newIdentifier(p.arena, mapAscii(p.arena, name.text, upperAscii), name.span()));
    return call;
  }
  if (p.accept(tkDot)) {
    SqlNode* table = newIdentifier(p.arena, name.text, name.span());
    if (p.accept(tkStar)) {
      SqlNode* star = newNode(p.arena, nkQualifiedStar, name.span());
      p.addChild(star, table);
      return star;
    }
    Token column = p.expectName("column name");
    SqlNode* ref = newNode(p.arena, nkColumnRef, name.span());
    p.addChild(ref, table);
    p.addChild(ref, newIdentifier(p.arena, column.text, column.span()));
    return ref;
  }
  return newIdentifier(p.arena, name.text, name.span());
}

// EXISTS ( query ); the current token is EXISTS.
SqlNode* parseExists(Parser& p, bool negated) {
  Token exists = p.expect(tkExists);
  SqlNode* node = newNode(p.arena, nkExists, exists.span());
  node->negated = negated;
  p.addChild(node, p.parseParenSubquery());
  return node;
}

// "-" primary, "~" primary, NOT primary, NOT EXISTS ( query ).
[[gnu::noinline]] SqlNode* parsePrefixOperator(Parser& p) {
  if (p.at(tkNot)) {
    p.advance();
    if (p.at(tkExists)) return parseExists(p, true);
    SqlNode* operand = nested(p, [&] { return p.parsePrimary(); });
    return newUnary(p.arena, opNot, operand, kEmptySpan);
  }
  return nested(p, [&]() -> SqlNode* {
    Token op = p.advance();
    SqlNode* operand = p.parsePrimary();
    return newUnary(p.arena, op.kind == tkMinus ? opNeg : opBitNot, operand, op.span());
  });
}

// "(" query ")", "(" expr ")" or "(" expr "," expr ... ")"; the current
// token is "(". Plain parentheses leave no node.
[[gnu::noinline]] SqlNode* parseParenthesized(Parser& p) {
  return nested(p, [&]() -> SqlNode* {
    Token paren = p.advance();
    if (p.at(tkSelect) || p.at(tkValues) || p.at(tkWith)) {
      SqlNode* query = p.at(tkWith) ? p.parseWithQuery() : p.parseQueryExpression();
      p.expect(tkRParen);
      SqlNode* subquery = newNode(p.arena, nkScalarSubquery, paren.span());
      p.addChild(subquery, query);
      return subquery;
    }
    SqlNode* inner = p.parseExpression();
    if (p.at(tkComma)) {
      SqlNode* row = newNode(p.arena, nkRowConstructor, paren.span());
      p.addChild(row, inner);
      while (p.accept(tkComma)) p.addChild(row, p.parseExpression());
      inner = row;
    }
    p.expect(tkRParen);
    return inner;
  });
}

// CASE [operand] (WHEN cond THEN result)+ [ELSE result] END
[[gnu::noinline]] SqlNode* parseCase(Parser& p) {
  return nested(p, [&]() -> SqlNode* {
    Token kase = p.expect(tkCase);
    SqlNode* node = newNode(p.arena, nkCase, kase.span());
    if (!p.at(tkWhen)) node->caseOperand() = p.parseExpression();
    if (!p.at(tkWhen)) p.error("expected at least one WHEN in CASE expression");
    while (p.at(tkWhen)) {
      Token when = p.advance();
      SqlNode* condition = p.parseExpression();
      p.expect(tkThen);
      SqlNode* result = p.parseExpression();
      SqlNode* branch = newNode(p.arena, nkCaseWhen, Parser::spanFrom(when, p.previous));
      branch->caseWhen() = condition;
      branch->caseThen() = result;
      node->caseBranches().push_back(p.arena, branch);
    }
    if (p.accept(tkElse)) node->caseElse() = p.parseExpression();
    Token end = p.expect(tkEnd);
    node->span = Parser::spanFrom(kase, end);
    return node;
  });
}

// ORDER BY item ("," item)* into `clause`; the current token follows BY.
void parseOrderItems(Parser& p, SqlNode* clause) {
  p.addChild(clause, p.parseOrderItem());
  while (p.accept(tkComma)) p.addChild(clause, p.parseOrderItem());
}

// The call forms whose arguments are not a plain list.
enum class CallForm { Ordinary, Extract, Substring, Trim, Position };

CallForm callFormOf(std::string_view name) {
  if (Parser::equalsWord(name, "extract")) return CallForm::Extract;
  if (Parser::equalsWord(name, "substring")) return CallForm::Substring;
  if (Parser::equalsWord(name, "trim")) return CallForm::Trim;
  if (Parser::equalsWord(name, "position")) return CallForm::Position;
  return CallForm::Ordinary;
}

// The keyword forms of extract, substring, trim and position; the current
// token follows "(" and is not ")". Returns true when the form consumed the
// closing ")"; false when it read the first argument of an ordinary list.
[[gnu::noinline]] bool parseCallKeywordForm(Parser& p, SqlNode* call, CallForm form) {
  switch (form) {
    case CallForm::Extract: {
      Token field = p.expectName("date part");
      p.addChild(call, newStringLit(p.arena, mapAscii(p.arena, field.text, lowerAscii), field.span()));
      p.expect(tkFrom);
      p.addChild(call, p.parseExpression());
      p.expect(tkRParen);
      return true;
    }
    case CallForm::Substring:
      p.addChild(call, p.parseExpression());
      if (!p.accept(tkFrom)) return false;
      p.addChild(call, p.parseExpression());
      if (p.accept(tkFor)) p.addChild(call, p.parseExpression());
      p.expect(tkRParen);
      return true;
    case CallForm::Trim:
      p.addChild(call, p.parseExpression());
      if (!p.accept(tkFrom)) return false;
      p.addChild(call, p.parseExpression());
      p.expect(tkRParen);
      return true;
    case CallForm::Position: {
      // "a IN b" must not be read as an IN predicate.
      SqlNode* needle = p.parseConcat();
      if (!p.accept(tkIn)) {
        p.addChild(call, needle);
        return false;
      }
      p.addChild(call, p.parseExpression());
      p.addChild(call, needle);
      p.expect(tkRParen);
      return true;
    }
    case CallForm::Ordinary:
      break;
  }
  raiseDefect("ordinary call read as a keyword form");
}

// WITHIN GROUP, FILTER and OVER after a call's ")", each at most once and
// in this order.
[[gnu::noinline]] void parsePostCallClauses(Parser& p, SqlNode* call) {
  if (p.isWord("within") && p.peekKind() == tkGroup) {
    Token within = p.advance();
    p.expect(tkGroup);
    p.expect(tkLParen);
    p.expect(tkOrder);
    p.expect(tkBy);
    SqlNode* clause = newNode(p.arena, nkWithinGroupClause, within.span());
    parseOrderItems(p, clause);
    Token close = p.expect(tkRParen);
    clause->span = Parser::spanFrom(within, close);
    for (const SqlNode* child : call->children()) {
      if (child->kind == nkOrderByClause) {
        p.error("cannot combine an aggregate ORDER BY argument with WITHIN GROUP");
      }
    }
    p.addChild(call, clause);
  }
  if (p.isWord("filter") && p.peekKind() == tkLParen) {
    Token filter = p.advance();
    p.expect(tkLParen);
    p.expect(tkWhere);
    SqlNode* clause = newNode(p.arena, nkAggFilterClause, filter.span());
    p.addChild(clause, p.parseExpression());
    Token close = p.expect(tkRParen);
    clause->span = Parser::spanFrom(filter, close);
    p.addChild(call, clause);
  }
  if (p.at(tkOver)) p.addChild(call, p.parseOver());
}

}  // namespace

// primary: the construct selected by the current token.
SqlNode* Parser::parsePrimary() {
  switch (current.kind) {
    case tkIdent: case tkBegin: case tkStart: case tkTransaction: case tkCommit: case tkRollback:
    case tkSavepoint: case tkRelease: case tkFirst: case tkLast: case tkFetch: case tkNext:
    case tkTies: case tkOnly: case tkRow:
      return parseNameForm(*this);
    case tkInteger: {
      Token t = advance();
      return newIntLit(arena, convertInteger(t.text), t.span());
    }
    case tkFloat: {
      Token t = advance();
      return newFloatLit(arena, convertFloat(t.text), t.span());
    }
    case tkString: {
      Token t = advance();
      return newStringLit(arena, t.text, t.span());
    }
    case tkTrue:
    case tkFalse: {
      Token t = advance();
      return newBoolLit(arena, t.kind == tkTrue, t.span());
    }
    case tkNull:
      return newNull(arena, advance().span());
    case tkStar:
      return newStar(arena, advance().span());
    case tkQuestion: {
      SqlNode* parameter = newNode(arena, nkParameter, advance().span());
      parameter->paramIndex() = ++paramCount;
      return parameter;
    }
    case tkInterval: case tkTimestamp: case tkDate: case tkTime: case tkJson: case tkJsonb:
    case tkNow: case tkVector:
      return parseKeywordPrimary(*this);
    case tkDecimal:
      return parseDecimalLiteral(*this);
    case tkCast: {
      Token keyword = expect(tkCast);
      return parseCast(keyword, nkCast);
    }
    case tkCase:
      return parseCase(*this);
    case tkExists:
      return parseExists(*this, false);
    case tkLParen:
      return parseParenthesized(*this);
    case tkLBracket:
      return parseVectorLiteral();
    case tkMinus: case tkBitNot: case tkNot:
      return parsePrefixOperator(*this);
    default:
      error("unexpected token in expression");
  }
}

// name "(" [DISTINCT] args [ORDER BY ...] ")" [WITHIN GROUP (...)]
// [FILTER (WHERE ...)] [OVER ...]; the name has been consumed and the
// current token is "(".
SqlNode* Parser::parseFunctionCall(const Token& name) {
  return nested(*this, [&]() -> SqlNode* {
    SqlNode* call = newNode(arena, nkFunctionCall, name.span());
    expect(tkLParen);
    CallForm form = callFormOf(name.text);
    std::string_view written = name.text;
    if (form == CallForm::Substring) written = "SUBSTR";
    if (form == CallForm::Position) written = "STRPOS";
    addChild(call, newIdentifier(arena, written, name.span()));

    bool closed = false;
    if (at(tkRParen)) {
      advance();
      closed = true;
    } else if (form != CallForm::Ordinary && parseCallKeywordForm(*this, call, form)) {
      closed = true;
    } else if (form == CallForm::Ordinary && at(tkStar)) {
      call->star = true;
      addChild(call, newStar(arena, advance().span()));
      expect(tkRParen);
      closed = true;
    } else if (form == CallForm::Ordinary) {
      if (accept(tkDistinct)) call->distinct = true;
      addChild(call, parseExpression());
    }
    if (!closed) {
      while (accept(tkComma)) addChild(call, parseExpression());
      if (at(tkOrder)) {
        Token order = advance();
        expect(tkBy);
        SqlNode* clause = newNode(arena, nkOrderByClause, order.span());
        parseOrderItems(*this, clause);
        addChild(call, clause);
      }
      expect(tkRParen);
    }
    // WITHIN and FILTER are words, OVER a keyword: anything else ends the call.
    if (at(tkIdent) || at(tkOver)) parsePostCallClauses(*this, call);
    return call;
  });
}

// CAST|TRY_CAST "(" expr AS type ")"; the keyword has been consumed.
SqlNode* Parser::parseCast(const Token& keyword, SqlNodeKind kind) {
  return nested(*this, [&]() -> SqlNode* {
    SqlNode* cast = newNode(arena, kind, keyword.span());
    expect(tkLParen);
    addChild(cast, parseExpression());
    expect(tkAs);
    addChild(cast, parseDataType());
    expect(tkRParen);
    return cast;
  });
}

// "[" [-]number ("," [-]number)* [","] "]"; the current token is "[".
SqlNode* Parser::parseVectorLiteral() {
  return nested(*this, [&]() -> SqlNode* {
    Token bracket = expect(tkLBracket);
    SqlNode* vector = newNode(arena, nkVectorLiteral, bracket.span());
    while (!at(tkRBracket)) {
      double sign = accept(tkMinus) ? -1.0 : 1.0;
      if (!at(tkInteger) && !at(tkFloat)) error("expected vector numeric literal");
      Token number = advance();
      addChild(vector, newFloatLit(arena, convertFloat(number.text) * sign, number.span()));
      if (accept(tkComma)) continue;
      if (!at(tkRBracket)) error("expected ',' or ']' in vector literal");
    }
    if (vector->children().empty()) error("vector literal cannot be empty");
    expect(tkRBracket);
    return vector;
  });
}

// OVER name | OVER "(" window definition ")"; the current token is OVER.
SqlNode* Parser::parseOver() {
  return nested(*this, [&]() -> SqlNode* {
    Token over = expect(tkOver);
    if (isWindowBaseNameToken(current.kind)) {
      Token name = advance();
      SqlNode* window = newNode(arena, nkWindowSpec, spanFrom(over, name));
      addChild(window, newIdentifier(arena, name.text, name.span()));
      return window;
    }
    SqlNode* window = parseWindowSpec();
    window->span.startLine = over.line;
    window->span.startColumn = over.column;
    return window;
  });
}

}  // namespace vellum::sql
