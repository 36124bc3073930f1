// Parser core: token movement, expectations, positioned errors and the
// nesting limit; literal conversions; the name-token classes.
#include "sql/parser.h"

#include <charconv>
#include <cmath>
#include <string>

#include "support/errors.h"

namespace vellum::sql {

namespace {

inline bool isContinuationByte(unsigned char b) { return (b & 0xc0) == 0x80; }

// The token text an error message quotes. A byte of a multi-byte UTF-8
// character lexes as a one-byte tkIdent; quoting that byte alone would make
// the message invalid UTF-8 although the input is valid, so the whole
// character around it is quoted instead (when it is a well-formed one).
std::string_view quotedTokenText(const Token& token, std::string_view input) {
  std::string_view text = token.text;
  if (token.kind != tkIdent || text.size() != 1 || static_cast<unsigned char>(text[0]) < 0x80) return text;
  const char* base = input.data();
  if (text.data() < base || text.data() >= base + input.size()) return text;
  std::size_t at = static_cast<std::size_t>(text.data() - base);
  std::size_t lead = at;
  while (lead > 0 && at - lead < 3 && isContinuationByte(static_cast<unsigned char>(input[lead]))) --lead;
  unsigned char first = static_cast<unsigned char>(input[lead]);
  std::size_t length = first >= 0xf0 && first < 0xf5 ? 4 : first >= 0xe0 && first < 0xf0 ? 3 : first >= 0xc2 && first < 0xe0 ? 2 : 0;
  if (length == 0 || lead + length > input.size() || at >= lead + length) return text;
  for (std::size_t i = lead + 1; i < lead + length; ++i) {
    if (!isContinuationByte(static_cast<unsigned char>(input[i]))) return text;
  }
  return input.substr(lead, length);
}

}  // namespace

Parser::Parser(std::string_view text, Arena& a, std::int32_t padding) : arena(a), lexer(initLexer(text)) {
  lexer.padding = padding;
  scanToken(lexer, &arena, current);
}

TokenKind Parser::peekKind() const {
  Lexer copy = lexer;
  return nextToken(copy, nullptr).kind;
}

TokenKind Parser::peekKind2() const {
  Lexer copy = lexer;
  nextToken(copy, nullptr);
  return nextToken(copy, nullptr).kind;
}

Token Parser::expect(TokenKind kind) {
  if (current.kind != kind) errorExpected(kind);
  return advance();
}

Token Parser::expectWord(std::string_view word) {
  if (!isWord(word)) errorExpected(word);
  return advance();
}

Token Parser::expectIdent(std::string_view what) {
  if (!isNameToken(current.kind)) errorExpected(what);
  return advance();
}

Token Parser::expectName(std::string_view what) {
  if (!isWideNameToken(current.kind)) errorExpected(what);
  return advance();
}

void Parser::errorExpected(std::string_view what) const { error("expected ", what); }

void Parser::errorExpected(TokenKind kind) const { error("expected ", tokenKindName(kind)); }

void Parser::error(std::string_view message, std::string_view more, std::string_view last) const {
  char line[16];
  char column[16];
  // Written to the arena: a jump leaves nothing behind in this frame.
  failure = joinText(arena, {
      "Parse error at line ",
      std::string_view(line, static_cast<std::size_t>(std::to_chars(line, line + sizeof line, current.line).ptr - line)),
      ", col ",
      std::string_view(column,
                       static_cast<std::size_t>(std::to_chars(column, column + sizeof column, current.column).ptr - column)),
      ": ",
      message,
      more,
      last,
      " (got ",
      tokenKindName(current.kind),
      " '",
      quotedTokenText(current, lexer.input),
      "')",
  });
  fail();
}

void Parser::fail() const {
  if (escape != nullptr) std::longjmp(*escape, 1);
  throw ParseError(std::string(failure));
}

void Parser::enterNesting(std::int64_t& level) {
  if (level >= kMaxNestingDepth) {
    failure = "maximum SQL syntactic nesting depth of 128 exceeded";
    fail();
  }
  ++level;
}

void Parser::skip(TokenKind kind) {
  if (current.kind != kind) errorExpected(kind);
  step();
}

void Parser::step() {
  previous = current;
  scanToken(lexer, current);
}

void Parser::parseExpressionList(SqlNode* node) {
  do {
    addChild(node, parseExpression());
  } while (accept(tkComma));
}

namespace {

[[noreturn, gnu::cold, gnu::noinline]] void raiseNotDigitRun() { raiseDefect("integer token is not a digit run"); }

// convertInteger of more than 18 digits, or none.
[[gnu::noinline]] std::int64_t convertLongInteger(std::string_view digits) {
  std::int64_t value = 0;
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec == std::errc::result_out_of_range) throw ValueError("Parsed integer outside of valid range");
  check(ec == std::errc() && ptr == digits.data() + digits.size(), "integer token is not a digit run");
  return value;
}

}  // namespace

std::int64_t Parser::convertInteger(std::string_view digits) {
  // Up to 18 digits cannot leave the signed 64-bit range. The rare cases
  // are out of line, so that this one keeps no frame.
  if (digits.empty() || digits.size() > 18) return convertLongInteger(digits);
  std::int64_t small = 0;
  for (char d : digits) {
    unsigned digit = static_cast<unsigned char>(d) - static_cast<unsigned>('0');
    if (digit >= 10) raiseNotDigitRun();
    small = small * 10 + static_cast<std::int64_t>(digit);
  }
  return small;
}

bool Parser::convertUnsigned(std::string_view digits, std::uint64_t& value) {
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec == std::errc::result_out_of_range) return false;
  check(ec == std::errc() && ptr == digits.data() + digits.size(), "integer token is not a digit run");
  return true;
}

double Parser::convertFloat(std::string_view text) {
  double value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Digits, a point and digits: out of range is either too large (a
    // non-zero integer part) or too small to be told from zero.
    std::size_t i = 0;
    while (i < text.size() && text[i] == '0') ++i;
    return (i < text.size() && text[i] != '.') ? HUGE_VAL : 0.0;
  }
  check(ec == std::errc() && ptr == text.data() + text.size(), "float token is not a number");
  return value;
}

}  // namespace vellum::sql
