#include "promql/promql_duration.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace vellum::promql {
namespace {

struct Unit {
  int rank;  // -1: not a unit
  int length;
  double milliseconds;
};

Unit unitAt(std::string_view text, std::size_t i) {
  switch (text[i]) {
    case 'y': return {6, 1, 31536000000.0};
    case 'w': return {5, 1, 604800000.0};
    case 'd': return {4, 1, 86400000.0};
    case 'h': return {3, 1, 3600000.0};
    case 'm':
      if (i + 1 < text.size() && text[i + 1] == 's') return {0, 2, 1.0};
      return {2, 1, 60000.0};
    case 's': return {1, 1, 1000.0};
    default: return {-1, 1, 0.0};
  }
}

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// For a text whose value is out of the double range: whether it is too large
// (rather than too small), from the decimal exponent of its first non-zero
// digit. The text has the form digits [. digits] [e [+-] digits].
bool exceedsOne(std::string_view text) {
  std::size_t i = 0;
  std::int64_t exponent = 0;  // of the first non-zero digit, plus one
  bool seenNonZero = false;
  bool afterPoint = false;
  for (; i < text.size() && (isDigit(text[i]) || text[i] == '.'); ++i) {
    if (text[i] == '.') {
      afterPoint = true;
    } else if (!seenNonZero) {
      if (text[i] != '0') {
        seenNonZero = true;
        if (!afterPoint) exponent = 1;
      } else if (afterPoint) {
        --exponent;
      }
    } else if (!afterPoint && exponent < 1000000000) {
      ++exponent;
    }
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t e = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
      if (e < 1000000000) e = e * 10 + (text[i] - '0');
    }
    exponent += negative ? -e : e;
  }
  return exponent > 0;
}

// A duration error, at the token's start with its whole text; through
// `lexer` when there is one.
[[noreturn, gnu::cold, gnu::noinline]] void failDuration(const PromLexer* lexer, const PromSpan& span,
                                                         std::string_view text, std::string_view message) {
  if (lexer != nullptr) lexer->fail(span.start, text, message);
  raisePromError(span.start, text, message);
}

}  // namespace

bool convertDecimal(std::string_view text, double& value) {
  // Up to fifteen digits, the common case ("5" of "5m"), are an integer that
  // a double holds exactly: the value from_chars would give.
  if (!text.empty() && text.size() <= 15) {
    std::uint64_t digits = 0;
    std::size_t i = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) digits = digits * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (i == text.size()) {
      value = static_cast<double>(digits);
      return true;
    }
  }
  const char* first = text.data();
  const char* last = first + text.size();
  double converted = 0.0;
  auto [ptr, ec] = std::from_chars(first, last, converted, std::chars_format::general);
  if (ec == std::errc::invalid_argument || ptr != last) return false;
  if (ec == std::errc::result_out_of_range) {
    converted = exceedsOne(text) ? std::numeric_limits<double>::infinity() : 0.0;
  }
  value = converted;
  return true;
}

PromDuration decodeDuration(std::string_view text, const PromSpan& span, const PromLexer* lexer) {
  auto fail = [&](std::string_view message) { failDuration(lexer, span, text, message); };

  double total = 0.0;
  int previousRank = 7;  // above every unit
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    const std::size_t start = i;
    bool hasDigit = false;
    while (i < n && isDigit(text[i])) {
      ++i;
      hasDigit = true;
    }
    if (i < n && text[i] == '.') {
      ++i;
      while (i < n && isDigit(text[i])) {
        ++i;
        hasDigit = true;
      }
    }
    if (!hasDigit || i >= n) fail("invalid duration");
    double number = 0.0;
    if (!convertDecimal(text.substr(start, i - start), number)) fail("invalid duration");

    Unit unit = unitAt(text, i);
    if (unit.rank < 0 || unit.rank >= previousRank) fail("duration units must be unique and descending");
    total += number * unit.milliseconds;
    previousRank = unit.rank;
    i += static_cast<std::size_t>(unit.length);
  }
  // Checked on the double, before any conversion: a segment with hundreds of
  // digits makes the total huge or infinite, never a wrapped integer.
  if (!(total > 0.0) || total >= 9223372036854775808.0) fail("duration must be positive and in range");
  return {text, static_cast<std::int64_t>(std::round(total))};
}

}  // namespace vellum::promql
