#include "promql/promql_lexer.h"

#include <array>
#include <charconv>
#include <csetjmp>
#include <cstring>
#include <string>

#include "support/byte_vectors.h"
#include "support/errors.h"

namespace vellum::promql {
namespace {

// Byte classes. A "letter" is an ASCII letter or any byte from 0x80 up, so
// that a UTF-8 name is one identifier whatever its characters.
enum : std::uint8_t {
  kLetter = 1,     // a-z, A-Z, 0x80-0xff
  kDigit = 2,      // 0-9
  kNameExtra = 4,  // _ and :, which names may hold besides letters and digits
  kSpace = 8,      // space, tab, newline, carriage return
  kUnit = 16,      // d h m s w y: a number followed by one of them is a duration
};

constexpr std::array<std::uint8_t, 256> makeByteClasses() {
  std::array<std::uint8_t, 256> table{};
  for (int c = 'a'; c <= 'z'; ++c) table[c] |= kLetter;
  for (int c = 'A'; c <= 'Z'; ++c) table[c] |= kLetter;
  for (int c = 0x80; c <= 0xff; ++c) table[c] |= kLetter;
  for (int c = '0'; c <= '9'; ++c) table[c] |= kDigit;
  table['_'] |= kNameExtra;
  table[':'] |= kNameExtra;
  for (char c : {' ', '\t', '\n', '\r'}) table[static_cast<unsigned char>(c)] |= kSpace;
  for (char c : {'d', 'h', 'm', 's', 'w', 'y'}) table[static_cast<unsigned char>(c)] |= kUnit;
  return table;
}
constexpr std::array<std::uint8_t, 256> kByteClass = makeByteClasses();

inline bool is(unsigned char c, std::uint8_t classes) { return (kByteClass[c] & classes) != 0; }

constexpr std::string_view kTokenKindNames[] = {
    "ptIdent",  "ptNumber",  "ptDuration", "ptString",       "ptOffset",       "ptBy",     "ptWithout",
    "ptLBrace", "ptRBrace",  "ptLBracket", "ptRBracket",     "ptLParen",       "ptRParen", "ptComma",
    "ptEq",     "ptNeq",     "ptRegexMatch", "ptRegexNoMatch", "ptPlus",       "ptMinus",  "ptStar",
    "ptSlash",  "ptPercent", "ptCaret",    "ptEof",
};
static_assert(std::size(kTokenKindNames) == ptEof + 1);

}  // namespace

std::string_view promTokenKindName(PromTokenKind kind) {
  check(kind <= ptEof, "PromQL token kind out of range");
  return kTokenKindNames[kind];
}

namespace {

// The pieces of an error text, with the numbers written out.
struct PromErrorText {
  char line[24];
  char column[24];
  char offset[24];
  std::string_view pieces[10];

  PromErrorText(const PromPos& pos, std::string_view near, std::string_view message)
      : pieces{"PromQL parse error at line ", number(line, pos.line), ", col ", number(column, pos.column),
               ", offset ", number(offset, pos.offset), " near '", near, "': ", message} {}

  static std::string_view number(char (&digits)[24], std::int64_t value) {
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    return std::string_view(digits, static_cast<std::size_t>(end - digits));
  }
  std::size_t size() const {
    std::size_t total = 0;
    for (std::string_view piece : pieces) total += piece.size();
    return total;
  }
};

}  // namespace

void raisePromError(const PromPos& pos, std::string_view near, std::string_view message) {
  const PromErrorText error(pos, near, message);
  std::string text;
  text.reserve(error.size());
  for (std::string_view piece : error.pieces) text += piece;
  throw PromQlParseError(std::move(text));
}

void PromLexer::fail(const PromPos& pos, std::string_view near, std::string_view message) const {
  if (escape_ == nullptr) raisePromError(pos, near, message);
  const PromErrorText error(pos, near, message);
  // Written to the arena: the jump leaves nothing behind in this frame.
  *escape_->message = joinText(arena_, error.pieces, std::size(error.pieces));
  std::longjmp(*escape_->target, 1);
}

PromLexer::PromLexer(std::string_view text, Arena& arena, const PromEscape* escape)
    : text_(text), arena_(arena), escape_(escape) {
  if (const void* nul = std::memchr(text.data(), '\0', text.size())) {
    text_ = text.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()));
  }
  current_ = nextPromToken();
}

std::string_view PromLexer::characterAt(std::int64_t offset) const {
  auto lead = static_cast<unsigned char>(text_[static_cast<std::size_t>(offset)]);
  std::int64_t length = lead < 0xc0 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
  std::int64_t end = offset + 1;
  auto size = static_cast<std::int64_t>(text_.size());
  while (end < offset + length && end < size &&
         (static_cast<unsigned char>(text_[static_cast<std::size_t>(end)]) & 0xc0) == 0x80) {
    ++end;
  }
  return slice(offset, end);
}

void PromLexer::noteNewlines(std::int64_t from, std::int64_t to) {
  const char* base = text_.data();
  const char* p = base + from;
  const char* last = base + to;
  while (p < last) {
    const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(last - p));
    if (nl == nullptr) break;
    p = static_cast<const char*>(nl) + 1;
    ++line_;
    lineStart_ = p - base;
  }
}

PromToken PromLexer::nextPromToken() {
  PromToken token;
  scanToken(token);
  return token;
}

namespace {

// The kind of a token that is one byte whatever follows it; ptEof for every
// other byte.
constexpr auto kSingleKinds = [] {
  std::array<std::uint8_t, 256> table{};
  for (auto& kind : table) kind = ptEof;
  const struct { char c; PromTokenKind kind; } singles[] = {
      {'{', ptLBrace}, {'}', ptRBrace}, {'[', ptLBracket}, {']', ptRBracket}, {'(', ptLParen},
      {')', ptRParen}, {',', ptComma},  {'+', ptPlus},     {'-', ptMinus},    {'*', ptStar},
      {'/', ptSlash},  {'%', ptPercent}, {'^', ptCaret},
  };
  for (const auto& single : singles) table[static_cast<unsigned char>(single.c)] = single.kind;
  return table;
}();

// The length of the name that starts at `s[pos]`, a byte that may start a
// name, and ends at `size` at the latest.
inline std::int64_t nameLength(const char* s, std::int64_t pos, std::int64_t size) {
  std::int64_t end = pos;
#if defined(__SSE2__)
  // Sixteen bytes at a time while that many are left: a byte continues the
  // name when it is a letter, a digit, "_", ":" or from 0x80 up.
  while (size - end >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + end));
    const __m128i letters = asciiLetterBytes(setBit5(bytes));
    const __m128i digits = digitBytes(bytes);
    const __m128i extras = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('_')),
                                        _mm_cmpeq_epi8(bytes, _mm_set1_epi8(':')));
    // The sign bit of each byte marks the bytes from 0x80 up.
    const __m128i name = _mm_or_si128(_mm_or_si128(letters, digits), _mm_or_si128(extras, bytes));
    const std::uint32_t stops = ~static_cast<std::uint32_t>(_mm_movemask_epi8(name)) & 0xffffu;
    if (stops != 0) return end + __builtin_ctz(stops) - pos;
    end += 16;
  }
#endif
  if (end == pos) ++end;  // the first byte
  while (end < size && is(static_cast<unsigned char>(s[end]), kLetter | kDigit | kNameExtra)) ++end;
  return end - pos;
}

}  // namespace

// The fast path: white space, names and one-byte tokens. Every other token
// goes to scanOtherToken.
void PromLexer::scanToken(PromToken& token) {
  const auto size = static_cast<std::int64_t>(text_.size());
  const char* s = text_.data();
  // The loops run on a local copy of the position, which the stores into
  // `token` could otherwise overwrite for all the compiler knows.
  std::int64_t pos = pos_;
  unsigned char c;
  for (;;) {
    if (pos >= size) return scanEnd(token, pos);
    c = static_cast<unsigned char>(s[pos]);
    if (!is(c, kSpace)) break;
    if (c == '\n') {
      ++line_;
      lineStart_ = pos + 1;
    }
    ++pos;
  }

  const std::int64_t line = line_;
  const std::int64_t column = pos - lineStart_ + 1;
  token.span.start = PromPos{line, column, pos};
  std::int64_t length;
  if (const auto single = static_cast<PromTokenKind>(kSingleKinds[c]); single != ptEof) {
    token.kind = single;
    length = 1;
  } else if (is(c, kLetter | kNameExtra)) {
    length = nameLength(s, pos, size);
    token.kind = ptIdent;
    switch (length) {
      case 2:
        if (std::memcmp(s + pos, "by", 2) == 0) token.kind = ptBy;
        break;
      case 6:
        if (std::memcmp(s + pos, "offset", 6) == 0) token.kind = ptOffset;
        break;
      case 7:
        if (std::memcmp(s + pos, "without", 7) == 0) token.kind = ptWithout;
        break;
      default:
        break;
    }
  } else {
    return scanOtherToken(token, pos);
  }
  // Both kinds end on the line where they start.
  token.text = std::string_view(s + pos, static_cast<std::size_t>(length));
  pos_ = pos + length;
  token.span.end = PromPos{line, column + length, pos + length};
}

// The end of the text, reached at `pos`.
void PromLexer::scanEnd(PromToken& token, std::int64_t pos) {
  pos_ = pos;
  token.kind = ptEof;
  token.text = {};
  token.span.start = here();
  token.span.end = token.span.start;
}

// Numbers, durations, strings, the operators of one or two bytes that start
// with "=" or "!", and the bytes no token starts with, at `pos`; the start
// of the span is set.
void PromLexer::scanOtherToken(PromToken& token, std::int64_t pos) {
  const auto size = static_cast<std::int64_t>(text_.size());
  const char* s = text_.data();
  pos_ = pos;
  const auto c = static_cast<unsigned char>(s[pos]);
  auto operatorOf = [&](PromTokenKind kind, std::int64_t length) {
    token.kind = kind;
    pos_ += length;
    token.text = slice(pos, pos_);
  };
  if (is(c, kDigit) || (c == '.' && pos + 1 < size && is(static_cast<unsigned char>(s[pos + 1]), kDigit))) {
    lexNumberOrDuration(token);
  } else {
    switch (c) {
      case '"':
      case '\'':
        lexQuotedString(token);
        break;
      case '`':
        lexRawString(token);
        break;
      case '=':
        if (pos + 1 < size && s[pos + 1] == '~') {
          operatorOf(ptRegexMatch, 2);
        } else {
          operatorOf(ptEq, 1);
        }
        break;
      case '!':
        if (pos + 1 < size && s[pos + 1] == '=') {
          operatorOf(ptNeq, 2);
        } else if (pos + 1 < size && s[pos + 1] == '~') {
          operatorOf(ptRegexNoMatch, 2);
        } else {
          fail(token.span.start, "!", "expected '=' or '~'");
        }
        break;
      default:
        // Also a `.` that no digit follows.
        fail(token.span.start, characterAt(pos), "unexpected character");
    }
  }
  token.span.end = here();
}

// At a digit, or at a `.` followed by a digit.
void PromLexer::lexNumberOrDuration(PromToken& token) {
  const auto size = static_cast<std::int64_t>(text_.size());
  const char* s = text_.data();
  const std::int64_t start = pos_;
  auto digitAt = [&](std::int64_t i) { return i < size && is(static_cast<unsigned char>(s[i]), kDigit); };

  if (s[pos_] == '.') ++pos_;
  while (digitAt(pos_)) ++pos_;
  if (pos_ < size && s[pos_] == '.' && digitAt(pos_ + 1)) {
    ++pos_;
    while (digitAt(pos_)) ++pos_;
  }

  token.kind = ptNumber;
  if (pos_ < size && (s[pos_] == 'e' || s[pos_] == 'E')) {
    ++pos_;
    if (pos_ < size && (s[pos_] == '+' || s[pos_] == '-')) ++pos_;
    if (!digitAt(pos_)) fail(token.span.start, slice(start, pos_), "invalid numeric exponent");
    while (digitAt(pos_)) ++pos_;
  } else if (pos_ < size && is(static_cast<unsigned char>(s[pos_]), kUnit)) {
    // The duration's form is checked when it is decoded.
    token.kind = ptDuration;
    ++pos_;
    while (pos_ < size && (is(static_cast<unsigned char>(s[pos_]), kLetter | kDigit) || s[pos_] == '.')) ++pos_;
  }
  token.text = slice(start, pos_);
}

// At the opening quote. Errors are reported at the opening quote.
void PromLexer::lexQuotedString(PromToken& token) {
  const auto size = static_cast<std::int64_t>(text_.size());
  const char* s = text_.data();
  const char quote = s[pos_];
  const PromPos open = token.span.start;
  const std::int64_t bodyStart = pos_ + 1;

  // First pass: find the closing quote and check every escape, so that the
  // decoded text can be sized exactly and a string without escapes stays a
  // view of the input.
  std::int64_t i = bodyStart;
  bool hasEscape = false;
  for (;;) {
    if (i >= size) fail(open, std::string_view(&s[pos_], 1), "unterminated string literal");
    char c = s[i];
    if (c == quote) break;
    if (c == '\\') {
      hasEscape = true;
      if (i + 1 >= size) fail(open, "\\", "unterminated escape sequence");
      char e = s[i + 1];
      if (e != '"' && e != '\'' && e != '\\' && e != 'n' && e != 'r' && e != 't') {
        // A backslash and the whole character after it (at most four bytes).
        char near[5] = {'\\'};
        const std::string_view escaped = characterAt(i + 1);
        std::memcpy(near + 1, escaped.data(), escaped.size());
        fail(open, std::string_view(near, 1 + escaped.size()), "unsupported escape sequence");
      }
      i += 2;
      continue;
    }
    ++i;
  }
  const std::int64_t bodyEnd = i;

  token.kind = ptString;
  if (!hasEscape) {
    token.text = slice(bodyStart, bodyEnd);
  } else {
    char* out = arena_.allocateArray<char>(static_cast<std::size_t>(bodyEnd - bodyStart));
    std::size_t n = 0;
    for (std::int64_t j = bodyStart; j < bodyEnd; ++j) {
      char c = s[j];
      if (c == '\\') {
        char e = s[++j];
        c = e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
      }
      out[n++] = c;
    }
    token.text = std::string_view(out, n);
  }
  noteNewlines(bodyStart, bodyEnd);
  pos_ = bodyEnd + 1;
}

// At the opening backtick: every byte up to the next backtick, unchanged.
void PromLexer::lexRawString(PromToken& token) {
  const auto size = static_cast<std::int64_t>(text_.size());
  const std::int64_t bodyStart = pos_ + 1;
  const void* close = bodyStart < size
                          ? std::memchr(text_.data() + bodyStart, '`', static_cast<std::size_t>(size - bodyStart))
                          : nullptr;
  if (close == nullptr) fail(token.span.start, "`", "unterminated raw string literal");
  const std::int64_t bodyEnd = static_cast<const char*>(close) - text_.data();
  token.kind = ptString;
  token.text = slice(bodyStart, bodyEnd);
  noteNewlines(bodyStart, bodyEnd);
  pos_ = bodyEnd + 1;
}

}  // namespace vellum::promql
