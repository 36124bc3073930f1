// PromQL tokens and the lexer that produces them, one at a time, on the
// parser's demand. Also home of the positioned error that every stage of the
// PromQL front end raises.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <string_view>

#include "support/arena.h"

namespace vellum::promql {

// 1-based line and column (columns count bytes) and 0-based byte offset.
// 64 bits: PromQL input has no size limit.
struct PromPos {
  std::int64_t line = 1;
  std::int64_t column = 1;
  std::int64_t offset = 0;
};

// `end` is the position just after the last byte.
struct PromSpan {
  PromPos start;
  PromPos end;
};

// The order matters: the matcher operators and the binary operators are
// consecutive ranges, which the parser maps to its enumerations by
// subtraction.
enum PromTokenKind : std::uint8_t {
  ptIdent,
  ptNumber,
  ptDuration,
  ptString,  // quoted or raw; the text is the decoded contents
  ptOffset,
  ptBy,
  ptWithout,
  ptLBrace,
  ptRBrace,
  ptLBracket,
  ptRBracket,
  ptLParen,
  ptRParen,
  ptComma,
  ptEq,
  ptNeq,
  ptRegexMatch,
  ptRegexNoMatch,
  ptPlus,
  ptMinus,
  ptStar,
  ptSlash,
  ptPercent,
  ptCaret,
  ptEof,
};

// "ptIdent", "ptNumber", ...: for test output and diagnostics.
std::string_view promTokenKindName(PromTokenKind kind);

struct PromToken {
  PromTokenKind kind = ptEof;
  // Identifier or keyword: the name; number, duration: the source bytes;
  // string: the decoded contents; punctuation: its characters; end: empty.
  std::string_view text;
  PromSpan span;
};

// Raises PromQlParseError:
// "PromQL parse error at line L, col C, offset O near 'NEAR': MESSAGE".
[[noreturn]] void raisePromError(const PromPos& pos, std::string_view near, std::string_view message);

// Where a syntax error goes in a parse run by readPromQl: its text is left
// in `*message` (in the arena) and the parse jumps to `target`, so that a
// rejected expression costs no unwinding. The frames in between hold only
// trivially destructible objects.
struct PromEscape {
  std::jmp_buf* target;
  std::string_view* message;
};

// The scanning state. The text must outlive the lexer; decoded strings that
// differ from their source bytes are placed in the arena.
class PromLexer {
 public:
  // Starts at line 1, column 1, offset 0 and reads the first token. A NUL
  // byte ends the text, as the end of the text does. Errors go through
  // `escape` when it is given.
  PromLexer(std::string_view text, Arena& arena, const PromEscape* escape = nullptr);

  // The error of raisePromError, through the lexer's escape when it has one;
  // out of line, so that the scanning paths keep no code for it.
  [[noreturn, gnu::cold, gnu::noinline]] void fail(const PromPos& pos, std::string_view near,
                                                   std::string_view message) const;

  const PromToken& current() const { return current_; }

  // Returns the current token and makes the next one current.
  PromToken advancePromToken() {
    PromToken token = current_;
    scanToken(current_);
    return token;
  }

  // Skips white space and reads the token that follows.
  PromToken nextPromToken();
  // The same, read into `token`.
  void scanToken(PromToken& token);

 private:
  PromPos here() const { return {line_, pos_ - lineStart_ + 1, pos_}; }
  std::string_view slice(std::int64_t from, std::int64_t to) const {
    return text_.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
  }
  // The whole UTF-8 character that starts at `offset` (at most the rest of
  // the text), so that error texts never split a character.
  std::string_view characterAt(std::int64_t offset) const;

  void scanEnd(PromToken& token, std::int64_t pos);
  [[gnu::noinline]] void scanOtherToken(PromToken& token, std::int64_t pos);
  void lexNumberOrDuration(PromToken& token);
  void lexQuotedString(PromToken& token);
  void lexRawString(PromToken& token);
  void noteNewlines(std::int64_t from, std::int64_t to);

  std::string_view text_;
  Arena& arena_;
  const PromEscape* escape_;
  std::int64_t pos_ = 0;
  std::int64_t line_ = 1;
  std::int64_t lineStart_ = 0;  // offset of the current line's first byte
  PromToken current_;
};

}  // namespace vellum::promql
