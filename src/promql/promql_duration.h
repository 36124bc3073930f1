// Duration literals ("5m", "1h30m", "1.5h") and the decimal conversion that
// numbers and durations share.
#pragma once

#include <cstdint>
#include <string_view>

#include "promql/promql_lexer.h"

namespace vellum::promql {

struct PromDuration {
  std::string_view raw;  // the source text, with the sign of a signed offset
  std::int64_t milliseconds = 0;
};

// Converts decimal text ("12", "1.5", ".5", "1e-3") exactly and independently
// of the locale. A value beyond the range of a double becomes infinity (or 0
// when it is too small); false only when the text is not one decimal number.
bool convertDecimal(std::string_view text, double& value);

// Decodes the text of a duration token. Errors are reported at `span`'s
// start with the whole text as the near text, through `lexer` when given.
PromDuration decodeDuration(std::string_view text, const PromSpan& span, const PromLexer* lexer = nullptr);

}  // namespace vellum::promql
