#include "promql/promql_parser.h"

#include <cstring>

namespace vellum::promql {
namespace {

// Binding strength of a binary operator token; -1 for every other token,
// which ends an operator chain.
int precedence(PromTokenKind kind) {
  switch (kind) {
    case ptPlus:
    case ptMinus:
      return 10;
    case ptStar:
    case ptSlash:
    case ptPercent:
      return 20;
    case ptCaret:
      return 30;
    default:
      return -1;
  }
}

// A unary operator's operand binds tighter than every operator but `^`:
// -2^2 is -(2^2), -a*b is (-a)*b.
constexpr int kUnaryOperandPrecedence = 21;

bool isAggregationName(std::string_view name) {
  return name == "sum" || name == "min" || name == "max" || name == "avg" || name == "count";
}

// Tokens that may name a metric, function or label: identifiers and the
// keywords, which are reserved only where the grammar expects them.
bool isNameToken(PromTokenKind kind) { return kind == ptIdent || kind == ptOffset || kind == ptBy || kind == ptWithout; }

class Parser {
 public:
  Parser(std::string_view text, Arena& arena, const PromEscape* escape)
      : lex_(text, arena, escape), arena_(arena) {}

  // expression EOF
  PromNode* parseDocument() {
    if (at(ptEof)) error("no expression found in input");
    PromNode* root = parseExpr(0);
    if (!at(ptEof)) error("unexpected token after expression");
    return root;
  }

 private:
  bool at(PromTokenKind kind) const { return lex_.current().kind == kind; }
  const PromToken& current() const { return lex_.current(); }
  PromToken advance() { return lex_.advancePromToken(); }

  // The current token must be `kind`; consumes and returns it.
  PromToken expect(PromTokenKind kind, std::string_view message) {
    if (!at(kind)) error(message);
    return advance();
  }

  // A syntax error with `message` at the current token.
  [[noreturn]] void error(std::string_view message) const {
    const PromToken& token = current();
    lex_.fail(token.span.start, token.text.empty() ? std::string_view("<eof>") : token.text, message);
  }

  template <class T, class... Args>
  T* make(Args&&... args) {
    return arena_.make<T>(static_cast<Args&&>(args)...);
  }

  PromNode* parseExpr(int minPrecedence);
  PromNode* parseUnary();
  PromNode* parsePostfix();
  PromNode* parsePrimary();
  PromNode* parseNumber();
  PromNode* parseSelector(const PromToken* metric);
  PromPos parseMatchers(PromVectorSelector& selector);
  PromNode* parseFunctionCall(const PromToken& name);
  PromNode* parseAggregate(const PromToken& name);
  PromPos parseGrouping(PromAggregate& aggregate);
  std::string_view parseGroupingLabel();
  [[gnu::always_inline]] inline PromDuration parseDuration(bool allowSign);

  PromLexer lex_;
  Arena& arena_;
  int depth_ = 0;
};

// unary { binop expression }, for operators binding at least `minPrecedence`.
// The loop, not recursion, extends a left-associative chain, so a chain as
// long as the input costs no stack; only right operands nest.
// The level is counted by hand rather than by a guard object: an error
// abandons the parse, and the frame then needs no clean-up.
PromNode* Parser::parseExpr(int minPrecedence) {
  if (depth_ >= kPromMaxNesting) error("expression nesting exceeds limit 64");
  ++depth_;
  PromNode* left = parseUnary();
  for (;;) {
    const int opPrecedence = precedence(current().kind);
    if (opPrecedence < minPrecedence) break;
    const PromToken op = advance();
    PromNode* right = parseExpr(op.kind == ptCaret ? opPrecedence : opPrecedence + 1);
    left = make<PromBinaryExpr>(PromSpan{left->span.start, right->span.end},
                                static_cast<PromBinaryOp>(op.kind - ptPlus), left, right);
  }
  --depth_;
  return left;
}

// ("+" | "-") expression(21) | postfix
PromNode* Parser::parseUnary() {
  if (!at(ptPlus) && !at(ptMinus)) return parsePostfix();
  const PromToken op = advance();
  PromNode* operand = parseExpr(kUnaryOperandPrecedence);
  return make<PromUnaryExpr>(PromSpan{op.span.start, operand->span.end}, op.kind == ptMinus, operand);
}

// primary { "[" duration "]" | "offset" signed-duration }
PromNode* Parser::parsePostfix() {
  PromNode* node = parsePrimary();
  for (;;) {
    if (at(ptLBracket)) {
      if (node->kind != PromNodeKind::VectorSelector) error("ranges are only allowed for vector selectors");
      auto& selector = node->as<PromVectorSelector>();
      if (selector.hasOffset) error("offset must follow a range selector");
      advance();
      const PromDuration range = parseDuration(false);
      const PromToken close = expect(ptRBracket, "expected ']' after range duration");
      node = make<PromMatrixSelector>(PromSpan{selector.span.start, close.span.end}, &selector, range);
    } else if (at(ptOffset)) {
      bool* hasOffset;
      PromDuration* offset;
      if (node->kind == PromNodeKind::VectorSelector) {
        hasOffset = &node->as<PromVectorSelector>().hasOffset;
        offset = &node->as<PromVectorSelector>().offset;
      } else if (node->kind == PromNodeKind::MatrixSelector) {
        hasOffset = &node->as<PromMatrixSelector>().hasOffset;
        offset = &node->as<PromMatrixSelector>().offset;
      } else {
        error("offset is only allowed for vector and range selectors");
      }
      if (*hasOffset) error("duplicate offset modifier");
      advance();
      *offset = parseDuration(true);
      *hasOffset = true;
      // The span runs on to the next token, white space included.
      node->span.end = current().span.start;
    } else {
      return node;
    }
  }
}

// number | string | "(" expression ")" | selector | function call | aggregation
PromNode* Parser::parsePrimary() {
  switch (current().kind) {
    case ptNumber:
      return parseNumber();
    case ptString: {
      const PromToken token = advance();
      return make<PromStringLiteral>(token.span, token.text);
    }
    case ptLParen: {
      const PromToken open = advance();
      PromNode* child = parseExpr(0);
      const PromToken close = expect(ptRParen, "expected ')' after expression");
      return make<PromParen>(PromSpan{open.span.start, close.span.end}, child);
    }
    case ptLBrace:
      return parseSelector(nullptr);
    case ptIdent:
    case ptOffset:
    case ptBy:
    case ptWithout: {
      const PromToken name = advance();
      if (isAggregationName(name.text)) return parseAggregate(name);
      if (at(ptLParen)) return parseFunctionCall(name);
      return parseSelector(&name);
    }
    default:
      error("expected expression");
  }
}

// The current token is a number.
PromNode* Parser::parseNumber() {
  const PromToken token = advance();
  double value = 0.0;
  // Reported at the token after the number, which is current by now.
  if (!convertDecimal(token.text, value)) error("invalid numeric literal");
  return make<PromNumberLiteral>(token.span, token.text, value);
}

// [metric] ["{" matchers "}"]; `metric` has been consumed when given.
PromNode* Parser::parseSelector(const PromToken* metric) {
  const bool hasBlock = at(ptLBrace);
  if (metric == nullptr && !hasBlock) error("selector requires a metric name or label matchers");
  auto* selector = make<PromVectorSelector>(metric != nullptr ? metric->span : current().span);
  if (metric != nullptr) selector->metric = metric->text;
  if (hasBlock) {
    selector->span.end = parseMatchers(*selector);
    if (metric == nullptr && selector->matchers.empty()) {
      error("selector without a metric must contain at least one matcher");
    }
  }
  return selector;
}

// "{" [ matcher { "," matcher } [","] ] "}"; returns the end of the "}".
PromPos Parser::parseMatchers(PromVectorSelector& selector) {
  expect(ptLBrace, "expected '{'");
  if (!at(ptRBrace)) {
    for (;;) {
      if (!isNameToken(current().kind) && !at(ptString)) error("expected label name");
      const PromToken name = advance();
      if (current().kind < ptEq || current().kind > ptRegexNoMatch) {
        error("expected label matcher operator (=, !=, =~, !~)");
      }
      const PromToken op = advance();
      if (!at(ptString)) error("expected string literal after matcher operator");
      const PromToken value = advance();
      selector.matchers.push_back(arena_, PromMatcher{name.text, static_cast<PromMatchOp>(op.kind - ptEq), value.text,
                                                      PromSpan{name.span.start, value.span.end}});
      if (!at(ptComma)) break;
      advance();
      if (at(ptRBrace)) break;
    }
  }
  return expect(ptRBrace, "expected '}' after label matchers").span.end;
}

// name "(" [ expression { "," expression } ] ")"; the name has been consumed.
PromNode* Parser::parseFunctionCall(const PromToken& name) {
  expect(ptLParen, "expected '(' after function name");
  auto* call = make<PromFunctionCall>(name.span, name.text);
  if (!at(ptRParen)) {
    call->args.push_back(arena_, parseExpr(0));
    while (at(ptComma)) {
      advance();
      call->args.push_back(arena_, parseExpr(0));
    }
  }
  call->span.end = expect(ptRParen, "expected ')' after function arguments").span.end;
  return call;
}

// op [grouping] "(" expression ")" [grouping]; the operator has been consumed.
PromNode* Parser::parseAggregate(const PromToken& name) {
  auto* aggregate = make<PromAggregate>(name.span, name.text);
  if (at(ptBy) || at(ptWithout)) parseGrouping(*aggregate);
  expect(ptLParen, "expected '(' after aggregation operator");
  aggregate->args.push_back(arena_, parseExpr(0));
  if (at(ptComma)) error("aggregation operator accepts exactly one expression");
  aggregate->span.end = expect(ptRParen, "expected ')' after aggregation expression").span.end;
  if (at(ptBy) || at(ptWithout)) {
    if (aggregate->grouping != PromGrouping::None) error("aggregation may contain only one grouping modifier");
    aggregate->span.end = parseGrouping(*aggregate);
  }
  return aggregate;
}

// ("by" | "without") "(" [ label { "," label } [","] ] ")"; the current token
// is the keyword. Returns the end of the ")".
PromPos Parser::parseGrouping(PromAggregate& aggregate) {
  aggregate.grouping = advance().kind == ptBy ? PromGrouping::By : PromGrouping::Without;
  expect(ptLParen, "expected '(' after grouping modifier");
  if (!at(ptRParen)) {
    aggregate.groupingLabels.push_back(arena_, parseGroupingLabel());
    while (at(ptComma)) {
      advance();
      if (at(ptRParen)) break;
      aggregate.groupingLabels.push_back(arena_, parseGroupingLabel());
    }
  }
  return expect(ptRParen, "expected ')' after grouping labels").span.end;
}

std::string_view Parser::parseGroupingLabel() {
  if (!isNameToken(current().kind) && !at(ptString)) error("expected grouping label");
  return advance().text;
}

// [("+" | "-")] duration, the sign only when `allowSign`.
inline PromDuration Parser::parseDuration(bool allowSign) {
  char sign = 0;
  if (allowSign && (at(ptPlus) || at(ptMinus))) sign = advance().text[0];
  if (!at(ptDuration)) error("expected duration");
  PromDuration duration = decodeDuration(current().text, current().span, &lex_);
  advance();
  if (sign != 0) {
    char* raw = arena_.allocateArray<char>(duration.raw.size() + 1);
    raw[0] = sign;
    std::memcpy(raw + 1, duration.raw.data(), duration.raw.size());
    duration.raw = std::string_view(raw, duration.raw.size() + 1);
    if (sign == '-') duration.milliseconds = -duration.milliseconds;
  }
  return duration;
}

}  // namespace

PromNode* parsePromQl(std::string_view text, Arena& arena) { return Parser(text, arena, nullptr).parseDocument(); }

PromNode* readPromQl(std::string_view text, Arena& arena, std::string_view& failure) {
  std::jmp_buf target;
  const PromEscape escape{&target, &failure};
  if (setjmp(target) != 0) return nullptr;
  return Parser(text, arena, &escape).parseDocument();
}

}  // namespace vellum::promql
