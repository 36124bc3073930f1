// The PromQL parser: one expression, by recursive descent with precedence
// climbing for the binary operators.
#pragma once

#include <string_view>

#include "promql/promql_tree.h"
#include "support/arena.h"

namespace vellum::promql {

// Expression nesting beyond this many levels is an error. Every binary
// expression parse counts one level: the whole text, each parenthesis, each
// function or aggregation argument, each unary operand and each right-hand
// operand. Left-associative chains do not nest, so their length is free.
inline constexpr int kPromMaxNesting = 64;

// Parses `text` as one expression; raises PromQlParseError. The tree lives
// in `arena`, and its strings in `arena` or `text`, so both must outlive it.
PromNode* parsePromQl(std::string_view text, Arena& arena);

// The same, but a syntax error returns null, with its message (in `arena`)
// in `failure`, instead of raising: no unwinding. Other errors raise.
PromNode* readPromQl(std::string_view text, Arena& arena, std::string_view& failure);

}  // namespace vellum::promql
