// The PromQL syntax tree. Every node lives in the parse call's Arena and is
// never destroyed one by one; each kind is its own record, reached from the
// common head through as<T>(), which checks the kind.
#pragma once

#include <cstdint>
#include <string_view>

#include "promql/promql_duration.h"
#include "promql/promql_lexer.h"
#include "support/arena.h"
#include "support/errors.h"

namespace vellum::promql {

enum class PromNodeKind : std::uint8_t {
  VectorSelector,
  MatrixSelector,
  NumberLiteral,
  StringLiteral,
  FunctionCall,
  Aggregate,
  BinaryOp,
  UnaryOp,
  Paren,
};

// The value is the matcher token's kind minus ptEq.
enum class PromMatchOp : std::uint8_t { Equal, NotEqual, Regex, NotRegex };

// The value is the operator token's kind minus ptPlus.
enum class PromBinaryOp : std::uint8_t { Add, Sub, Mul, Div, Mod, Pow };

enum class PromGrouping : std::uint8_t { None, By, Without };

struct PromMatcher {
  std::string_view name;
  PromMatchOp op = PromMatchOp::Equal;
  std::string_view value;
  PromSpan span;  // label name start to value end
};

struct PromNode {
  PromSpan span;
  // Last, so that a kind's one-byte fields (an operator, a sign) share its
  // word: chains as long as the input are made of such nodes.
  PromNodeKind kind;

  template <class T>
  T& as() {
    check(kind == T::kKind, "PromQL node accessed as the wrong kind");
    return static_cast<T&>(*this);
  }
  template <class T>
  const T& as() const {
    check(kind == T::kKind, "PromQL node accessed as the wrong kind");
    return static_cast<const T&>(*this);
  }

 protected:
  PromNode(PromNodeKind k, const PromSpan& s) : span(s), kind(k) {}
};

using PromNodeList = ArenaVector<PromNode*>;

struct PromVectorSelector : PromNode {
  static constexpr PromNodeKind kKind = PromNodeKind::VectorSelector;
  explicit PromVectorSelector(const PromSpan& s) : PromNode(kKind, s) {}
  std::string_view metric;  // empty when the selector names no metric
  ArenaVector<PromMatcher> matchers;
  bool hasOffset = false;
  PromDuration offset;
};

struct PromMatrixSelector : PromNode {
  static constexpr PromNodeKind kKind = PromNodeKind::MatrixSelector;
  PromMatrixSelector(const PromSpan& s, PromVectorSelector* c, const PromDuration& r)
      : PromNode(kKind, s), child(c), range(r) {}
  PromVectorSelector* child;
  PromDuration range;
  bool hasOffset = false;
  PromDuration offset;
};

struct PromNumberLiteral : PromNode {
  static constexpr PromNodeKind kKind = PromNodeKind::NumberLiteral;
  PromNumberLiteral(const PromSpan& s, std::string_view r, double v) : PromNode(kKind, s), raw(r), value(v) {}
  std::string_view raw;
  double value;
};

struct PromStringLiteral : PromNode {
  static constexpr PromNodeKind kKind = PromNodeKind::StringLiteral;
  PromStringLiteral(const PromSpan& s, std::string_view v) : PromNode(kKind, s), value(v) {}
  std::string_view value;  // decoded
};

struct PromFunctionCall : PromNode {
  static constexpr PromNodeKind kKind = PromNodeKind::FunctionCall;
  PromFunctionCall(const PromSpan& s, std::string_view n) : PromNode(kKind, s), name(n) {}
  std::string_view name;
  PromNodeList args;
};

struct PromAggregate : PromNode {
  static constexpr PromNodeKind kKind = PromNodeKind::Aggregate;
  PromAggregate(const PromSpan& s, std::string_view n) : PromNode(kKind, s), name(n) {}
  std::string_view name;  // sum, min, max, avg or count
  PromNodeList args;      // exactly one expression once parsed
  PromGrouping grouping = PromGrouping::None;
  ArenaVector<std::string_view> groupingLabels;
};

struct PromBinaryExpr : PromNode {
  static constexpr PromNodeKind kKind = PromNodeKind::BinaryOp;
  PromBinaryExpr(const PromSpan& s, PromBinaryOp o, PromNode* l, PromNode* r)
      : PromNode(kKind, s), op(o), left(l), right(r) {}
  PromBinaryOp op;
  PromNode* left;
  PromNode* right;
};

struct PromUnaryExpr : PromNode {
  static constexpr PromNodeKind kKind = PromNodeKind::UnaryOp;
  PromUnaryExpr(const PromSpan& s, bool n, PromNode* o) : PromNode(kKind, s), negate(n), operand(o) {}
  bool negate;  // true for minus
  PromNode* operand;
};

struct PromParen : PromNode {
  static constexpr PromNodeKind kKind = PromNodeKind::Paren;
  PromParen(const PromSpan& s, PromNode* c) : PromNode(kKind, s), child(c) {}
  PromNode* child;
};

}  // namespace vellum::promql
