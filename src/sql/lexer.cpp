// The SQL scanner: one pass, one byte of look-ahead (two for "->>" and
// "#>>"), no errors of its own. Every byte sequence ends in tkEof.
#include "sql/lexer.h"

#include <cstring>

namespace vellum::sql {
namespace {

constexpr std::string_view kTokenNames[] = {
#define SQL_TOKEN(name) #name,
#define SQL_KEYWORD(name, word) #name,
#include "sql/tokens.def"
#undef SQL_TOKEN
#undef SQL_KEYWORD
};
static_assert(sizeof(kTokenNames) / sizeof(kTokenNames[0]) == tkEof + 1);

enum ByteClass : std::uint8_t {
  bcOther,       // a one-byte tkIdent
  bcSpace,       // space, tab, line feed, carriage return
  bcWordStart,   // A-Z, a-z, _
  bcDigit,
  bcPunct,       // everything with an operator rule
};

constexpr auto kByteClasses = [] {
  struct Table { ByteClass c[256]; } t{};
  for (auto& c : t.c) c = bcOther;
  for (unsigned char b : std::string_view(" \t\n\r")) t.c[b] = bcSpace;
  for (int b = 'a'; b <= 'z'; ++b) t.c[b] = bcWordStart;
  for (int b = 'A'; b <= 'Z'; ++b) t.c[b] = bcWordStart;
  t.c[static_cast<unsigned char>('_')] = bcWordStart;
  for (int b = '0'; b <= '9'; ++b) t.c[b] = bcDigit;
  for (unsigned char b : std::string_view("-<>!#|*,.:;()[]=+/%&^~?'\"")) t.c[b] = bcPunct;
  return t;
}();

inline bool isWordByte(unsigned char b) {
  ByteClass c = kByteClasses.c[b];
  return c == bcWordStart || c == bcDigit;
}

inline bool isDigit(unsigned char b) { return b >= '0' && b <= '9'; }

inline unsigned char byteAt(const Lexer& lx, std::int32_t i) {
  return i < static_cast<std::int32_t>(lx.input.size()) ? static_cast<unsigned char>(lx.input[i]) : 0;
}

inline bool atEnd(const Lexer& lx) { return lx.pos >= static_cast<std::int32_t>(lx.input.size()); }

// Consumes one byte, keeping line, column and the previous position.
inline void consumeByte(Lexer& lx) {
  lx.prevLine = lx.line;
  lx.prevColumn = lx.column;
  if (lx.input[lx.pos] == '\n') {
    ++lx.line;
    lx.column = 1;
  } else {
    ++lx.column;
  }
  ++lx.pos;
}

// Consumes n bytes known to hold no line feed.
inline void consumeRun(Lexer& lx, std::int32_t n) {
  lx.prevLine = lx.line;
  lx.prevColumn = lx.column + n - 1;
  lx.column += n;
  lx.pos += n;
}

void skipSpaceAndComments(Lexer& lx) {
  const std::int32_t size = static_cast<std::int32_t>(lx.input.size());
  while (lx.pos < size) {
    unsigned char b = static_cast<unsigned char>(lx.input[lx.pos]);
    if (kByteClasses.c[b] == bcSpace) {
      consumeByte(lx);
    } else if (b == '-' && byteAt(lx, lx.pos + 1) == '-') {
      const void* nl = std::memchr(lx.input.data() + lx.pos, '\n', static_cast<std::size_t>(size - lx.pos));
      std::int32_t stop = nl ? static_cast<std::int32_t>(static_cast<const char*>(nl) - lx.input.data()) : size;
      consumeRun(lx, stop - lx.pos);
    } else if (b == '/' && byteAt(lx, lx.pos + 1) == '*') {
      consumeRun(lx, 2);
      while (lx.pos < size) {
        if (lx.input[lx.pos] == '*' && byteAt(lx, lx.pos + 1) == '/') {
          consumeRun(lx, 2);
          break;
        }
        consumeByte(lx);
      }
    } else {
      return;
    }
  }
}

// Scans a quoted literal whose opening quote is current. Doubled quotes
// stand for one; an unclosed literal ends at the end of the input.
std::string_view scanQuoted(Lexer& lx, char quote, Arena* arena) {
  consumeByte(lx);
  const std::int32_t size = static_cast<std::int32_t>(lx.input.size());
  const std::int32_t start = lx.pos;
  bool doubled = false;
  std::int32_t contentEnd = size;
  while (lx.pos < size) {
    if (lx.input[lx.pos] == quote) {
      if (byteAt(lx, lx.pos + 1) == static_cast<unsigned char>(quote)) {
        doubled = true;
        consumeByte(lx);
        consumeByte(lx);
        continue;
      }
      contentEnd = lx.pos;
      consumeByte(lx);
      break;
    }
    consumeByte(lx);
  }
  std::string_view raw = lx.input.substr(start, contentEnd - start);
  if (!doubled || arena == nullptr) return raw;
  char* out = arena->allocateArray<char>(raw.size());
  std::size_t n = 0;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    out[n++] = raw[i];
    if (raw[i] == quote) ++i;  // the second quote of a pair
  }
  return {out, n};
}

struct Operator {
  TokenKind kind;
  std::int32_t length;
};

// The longest operator at the current byte.
Operator scanOperator(const Lexer& lx, unsigned char b) {
  unsigned char n1 = byteAt(lx, lx.pos + 1);
  unsigned char n2 = byteAt(lx, lx.pos + 2);
  switch (b) {
    case '-':
      if (n1 == '>') return n2 == '>' ? Operator{tkArrowText, 3} : Operator{tkArrow, 2};
      return {tkMinus, 1};
    case '<':
      if (n1 == '<') return {tkShiftLeft, 2};
      if (n1 == '=') return {tkLe, 2};
      if (n1 == '>') return {tkNeq, 2};
      return {tkLt, 1};
    case '>':
      if (n1 == '>') return {tkShiftRight, 2};
      if (n1 == '=') return {tkGe, 2};
      return {tkGt, 1};
    case '!': return n1 == '=' ? Operator{tkNeq, 2} : Operator{tkIdent, 1};
    case '#':
      if (n1 == '>') return n2 == '>' ? Operator{tkPathArrowText, 3} : Operator{tkPathArrow, 2};
      return {tkIdent, 1};
    case '|': return n1 == '|' ? Operator{tkPipePipe, 2} : Operator{tkBitOr, 1};
    case '*': return {tkStar, 1};
    case ',': return {tkComma, 1};
    case '.': return {tkDot, 1};
    case ':': return {tkColon, 1};
    case ';': return {tkSemicolon, 1};
    case '(': return {tkLParen, 1};
    case ')': return {tkRParen, 1};
    case '[': return {tkLBracket, 1};
    case ']': return {tkRBracket, 1};
    case '=': return {tkEq, 1};
    case '+': return {tkPlus, 1};
    case '/': return {tkSlash, 1};
    case '%': return {tkPercent, 1};
    case '&': return {tkBitAnd, 1};
    case '^': return {tkBitXor, 1};
    case '~': return {tkBitNot, 1};
    case '?': return {tkQuestion, 1};
    default: return {tkIdent, 1};
  }
}

}  // namespace

std::string_view tokenKindName(TokenKind kind) {
  if (kind > tkEof) return "tkUnknown";
  return kTokenNames[kind];
}

Lexer initLexer(std::string_view text) {
  Lexer lx;
  lx.input = text;
  return lx;
}

Token nextToken(Lexer& lx, Arena* arena) {
  Token t;
  scanToken(lx, arena, t);
  return t;
}

// Every path sets the kind, the text and all four positions.
void scanToken(Lexer& lx, Arena* arena, Token& t) {
  skipSpaceAndComments(lx);
  t.line = lx.line;
  t.column = lx.column;
  if (atEnd(lx)) {
    t.kind = tkEof;
    t.text = {};
    t.endLine = lx.line;
    t.endColumn = lx.column;
    return;
  }
  const std::int32_t start = lx.pos;
  const std::int32_t size = static_cast<std::int32_t>(lx.input.size());
  unsigned char b = static_cast<unsigned char>(lx.input[start]);
  switch (kByteClasses.c[b]) {
    case bcWordStart: {
      std::int32_t end = start + 1;
      while (end < size && isWordByte(static_cast<unsigned char>(lx.input[end]))) ++end;
      consumeRun(lx, end - start);
      t.text = lx.input.substr(start, end - start);
      t.kind = keywordKind(t.text);
      break;
    }
    case bcDigit: {
      std::int32_t end = start + 1;
      while (end < size && isDigit(static_cast<unsigned char>(lx.input[end]))) ++end;
      t.kind = tkInteger;
      if (end + 1 < size && lx.input[end] == '.' && isDigit(static_cast<unsigned char>(lx.input[end + 1]))) {
        end += 2;
        while (end < size && isDigit(static_cast<unsigned char>(lx.input[end]))) ++end;
        t.kind = tkFloat;
      }
      consumeRun(lx, end - start);
      t.text = lx.input.substr(start, end - start);
      break;
    }
    case bcPunct:
      if (b == '\'' || b == '"') {
        t.kind = b == '\'' ? tkString : tkIdent;
        t.text = scanQuoted(lx, static_cast<char>(b), arena);
      } else {
        Operator op = scanOperator(lx, b);
        consumeRun(lx, op.length);
        t.kind = op.kind;
        t.text = lx.input.substr(start, op.length);
      }
      break;
    case bcSpace:   // cannot happen after skipping
    case bcOther:
      consumeByte(lx);  // control bytes other than the four spaces hold no line feed
      t.kind = tkIdent;
      t.text = lx.input.substr(start, 1);
      break;
  }
  t.endLine = lx.prevLine;
  t.endColumn = lx.prevColumn;
}

}  // namespace vellum::sql
