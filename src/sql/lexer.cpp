// The SQL scanner: one pass, one byte of look-ahead (two for "->>" and
// "#>>"), no errors of its own. Every byte sequence ends in tkEof.
#include "sql/lexer.h"

#include <cstring>

#include "sql/keyword_map.h"
#include "support/byte_vectors.h"

// GCC would gather the token's positions into a vector register to store
// them together, which takes more instructions than storing them one by one.
#if defined(__GNUC__) && !defined(__clang__)
#define VELLUM_SCALAR_STORES __attribute__((optimize("no-tree-slp-vectorize")))
#else
#define VELLUM_SCALAR_STORES
#endif

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

// What white-space skipping does with a byte.
enum SkipClass : std::uint8_t {
  skStop,         // a token starts here
  skBlank,        // space, tab, carriage return
  skLineFeed,
  skMaybeComment, // "-" or "/": a comment when the next byte continues it
};

constexpr auto kSkipClasses = [] {
  struct Table { SkipClass c[256]; } t{};
  t.c[static_cast<unsigned char>(' ')] = skBlank;
  t.c[static_cast<unsigned char>('\t')] = skBlank;
  t.c[static_cast<unsigned char>('\r')] = skBlank;
  t.c[static_cast<unsigned char>('\n')] = skLineFeed;
  t.c[static_cast<unsigned char>('-')] = skMaybeComment;
  t.c[static_cast<unsigned char>('/')] = skMaybeComment;
  return t;
}();

// What the fast scanner does with a byte, in one table: a value below
// scBlank is the kind of a token of that byte alone; the others are the
// classes below.
enum ScanClass : std::uint8_t {
  scBlank = 160,  // space, tab, carriage return
  scLineFeed,
  scWord,         // A-Z, a-z, _
  scDigit,
  scQuote,        // ' and "
  scSlow,         // "-<>!#|/": a comment or an operator of one to three bytes
};
static_assert(static_cast<int>(tkEof) < static_cast<int>(scBlank));

constexpr auto kScanClasses = [] {
  struct Table { std::uint8_t c[256]; } t{};
  for (auto& c : t.c) c = tkIdent;
  t.c[static_cast<unsigned char>(' ')] = scBlank;
  t.c[static_cast<unsigned char>('\t')] = scBlank;
  t.c[static_cast<unsigned char>('\r')] = scBlank;
  t.c[static_cast<unsigned char>('\n')] = scLineFeed;
  for (int b = 'a'; b <= 'z'; ++b) t.c[b] = scWord;
  for (int b = 'A'; b <= 'Z'; ++b) t.c[b] = scWord;
  t.c[static_cast<unsigned char>('_')] = scWord;
  for (int b = '0'; b <= '9'; ++b) t.c[b] = scDigit;
  for (unsigned char b : std::string_view("-<>!#|/")) t.c[b] = scSlow;
  t.c[static_cast<unsigned char>('\'')] = scQuote;
  t.c[static_cast<unsigned char>('"')] = scQuote;
  const struct { char b; TokenKind kind; } singles[] = {
      {'*', tkStar}, {',', tkComma}, {'.', tkDot}, {':', tkColon}, {';', tkSemicolon},
      {'(', tkLParen}, {')', tkRParen}, {'[', tkLBracket}, {']', tkRBracket}, {'=', tkEq},
      {'+', tkPlus}, {'%', tkPercent}, {'&', tkBitAnd}, {'^', tkBitXor}, {'~', tkBitNot},
      {'?', tkQuestion},
  };
  for (const auto& s : singles) t.c[static_cast<unsigned char>(s.b)] = s.kind;
  return t;
}();

// Bytes that continue a word: letters, digits and "_".
constexpr auto kWordBytes = [] {
  struct Table { bool is[256]; } t{};
  for (int b = 0; b < 256; ++b) t.is[b] = kScanClasses.c[b] == scWord || kScanClasses.c[b] == scDigit;
  return t;
}();

inline bool isDigit(unsigned char b) { return b >= '0' && b <= '9'; }


// The scanning position, kept in locals while a token is scanned and stored
// back into the Lexer once.
struct Cursor {
  const char* bytes;
  std::int32_t size;
  std::int32_t pos;
  std::int32_t line;
  std::int32_t column;

  unsigned char at(std::int32_t i) const { return i < size ? static_cast<unsigned char>(bytes[i]) : 0; }
  // Consumes one byte that may be a line feed.
  void consumeByte() {
    if (bytes[pos] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
    ++pos;
  }
};

// Where a scan goes on after a comment.
struct After {
  std::int32_t pos;
  std::int32_t line;
  std::int32_t column;
};

// Skips the comment that starts at `pos` ("--" or "/*"). The position comes
// in and goes out by value, so that the caller's cursor stays in registers.
[[gnu::noinline]] After skipComment(const char* bytes, std::int32_t size, std::int32_t pos, std::int32_t line,
                                    std::int32_t column) {
  Cursor c{bytes, size, pos, line, column};
  if (c.bytes[c.pos] == '-') {
    const void* nl = std::memchr(c.bytes + c.pos, '\n', static_cast<std::size_t>(c.size - c.pos));
    std::int32_t stop = nl ? static_cast<std::int32_t>(static_cast<const char*>(nl) - c.bytes) : c.size;
    return {stop, c.line, c.column + (stop - c.pos)};
  }
  c.pos += 2;
  c.column += 2;
  while (c.pos < c.size) {
    if (c.bytes[c.pos] == '*' && c.at(c.pos + 1) == '/') {
      c.pos += 2;
      c.column += 2;
      break;
    }
    c.consumeByte();
  }
  return {c.pos, c.line, c.column};
}

inline void skipSpaceAndComments(Cursor& c) {
  while (c.pos < c.size) {
    unsigned char b = static_cast<unsigned char>(c.bytes[c.pos]);
    SkipClass k = kSkipClasses.c[b];
    if (k == skBlank) {
      ++c.pos;
      ++c.column;
    } else if (k == skStop) {
      return;
    } else if (k == skLineFeed) {
      ++c.pos;
      ++c.line;
      c.column = 1;
    } else {
      // "-" or "/": a comment only when "-" or "*" follows.
      if (c.at(c.pos + 1) != (b == '-' ? '-' : '*')) return;
      After after = skipComment(c.bytes, c.size, c.pos, c.line, c.column);
      c.pos = after.pos;
      c.line = after.line;
      c.column = after.column;
    }
  }
}

// Moves the cursor to `stop` over bytes that may hold line feeds, leaving in
// `t`'s end the position of the last byte passed (unchanged when none is).
inline void passBytes(Cursor& c, std::int32_t stop, Token& t) {
  while (c.pos < stop) {
    const void* nl = std::memchr(c.bytes + c.pos, '\n', static_cast<std::size_t>(stop - c.pos));
    if (nl == nullptr) {
      c.column += stop - c.pos;
      c.pos = stop;
      t.endLine = c.line;
      t.endColumn = c.column - 1;
      return;
    }
    std::int32_t at = static_cast<std::int32_t>(static_cast<const char*>(nl) - c.bytes);
    t.endLine = c.line;
    t.endColumn = c.column + (at - c.pos);
    ++c.line;
    c.column = 1;
    c.pos = at + 1;
  }
}

// Scans the quoted literal whose opening quote is at the cursor into `t`.
// Doubled quotes stand for one; an unclosed literal ends at the end of the
// input. The text between quotes is skipped with memchr.
[[gnu::noinline]] void scanQuoted(Cursor& c, char quote, Arena* arena, Token& t) {
  t.endLine = c.line;
  t.endColumn = c.column;
  ++c.pos;  // the opening quote, which is no line feed
  ++c.column;
  const std::int32_t start = c.pos;
  bool doubled = false;
  std::int32_t contentEnd = c.size;
  for (;;) {
    const void* q = std::memchr(c.bytes + c.pos, quote, static_cast<std::size_t>(c.size - c.pos));
    if (q == nullptr) {
      passBytes(c, c.size, t);
      break;
    }
    std::int32_t at = static_cast<std::int32_t>(static_cast<const char*>(q) - c.bytes);
    passBytes(c, at, t);
    t.endLine = c.line;
    if (c.at(at + 1) == static_cast<unsigned char>(quote)) {
      doubled = true;
      t.endColumn = c.column + 1;
      c.pos += 2;
      c.column += 2;
      continue;
    }
    t.endColumn = c.column;
    contentEnd = at;
    ++c.pos;
    ++c.column;
    break;
  }
  std::string_view raw(c.bytes + start, static_cast<std::size_t>(contentEnd - start));
  if (!doubled || arena == nullptr) {
    t.text = raw;
    return;
  }
  char* out = arena->allocateArray<char>(raw.size());
  std::size_t n = 0;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    out[n++] = raw[i];
    if (raw[i] == quote) ++i;  // the second quote of a pair
  }
  t.text = {out, n};
}

#if defined(__SSE2__)
// Bit i is set when byte i continues a word: a letter, a digit or "_";
// `lower` is setBit5(bytes).
inline std::uint32_t wordByteMask(__m128i bytes, __m128i lower) {
  const __m128i underscores = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('_'));
  return static_cast<std::uint32_t>(
      _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(asciiLetterBytes(lower), digitBytes(bytes)), underscores)));
}

// lookupKeyword of the word of `length` bytes (less than 16) at the start of
// `lower`, which is setBit5 of the word's bytes, with vector operations. A
// word longer than every keyword keeps a byte where every keyword has 0.
inline TokenKind lookupLowered(__m128i lower, std::int32_t length) {
  using namespace keyword_detail;
  const __m128i word =
      _mm_and_si128(lower, _mm_load_si128(reinterpret_cast<const __m128i*>(&kLengthMasks.keep[length])));
  const std::uint64_t first = static_cast<std::uint64_t>(_mm_cvtsi128_si64(word));
  const std::size_t e = kHash.entry[slotOf(keyOf(first, static_cast<std::size_t>(length)), kMultiplier)];
  const __m128i same = _mm_cmpeq_epi8(word, _mm_load_si128(reinterpret_cast<const __m128i*>(&kHash.packed[e])));
  return _mm_movemask_epi8(same) == 0xffff ? kHash.kind[e] : tkIdent;
}
#endif

// The keyword kind of the word of `length` bytes at `word`; `available` is
// the number of input bytes from `word` on.
inline TokenKind wordKind(const char* word, std::int32_t length, std::int32_t available) {
  if (length > static_cast<std::int32_t>(keyword_detail::kMaxKeywordLength)) return tkIdent;
  PackedWord packed;
  if (available >= 16) {
    std::memcpy(&packed, word, 16);
  } else {
    packed = packWord(std::string_view(word, static_cast<std::size_t>(length)));
  }
  return lookupKeyword(packed, static_cast<std::size_t>(length));
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

void scanToken(Lexer& lx, Arena* arena, Token& t) {
  lx.arena = arena;
  scanToken(lx, t);
}

Token nextToken(Lexer& lx, Arena* arena) {
  Token t;
  scanToken(lx, arena, t);
  return t;
}


namespace {

// The empty tkEof token at `p`, the end of the input, `skipped` bytes after
// the Lexer's position.
inline void scanEnd(Lexer& lx, Token& t, const char* bytes, const char* p, std::int32_t skipped) {
  const std::int32_t line = lx.line;
  const std::int32_t column = lx.column + skipped;
  t.kind = tkEof;
  t.text = std::string_view(p, 0);
  t.line = line;
  t.column = column;
  t.endLine = line;
  t.endColumn = column;
  lx.pos = static_cast<std::int32_t>(p - bytes);
  lx.column = column;
}

// The quoted literal at `pos` (column `column`), whose start is already in
// `t`.
[[gnu::noinline]] void scanQuotedToken(Lexer& lx, Token& t, std::int32_t pos, std::int32_t column) {
  const char* const bytes = lx.input.data();
  const std::int32_t size = static_cast<std::int32_t>(lx.input.size());
  const char quote = bytes[pos];
  t.kind = quote == '\'' ? tkString : tkIdent;
#if defined(__SSE2__)
  // The common literal: closed within the sixteen bytes after the opening
  // quote, before the last of them, with no line feed and no doubled quote.
  if (size - pos > 16) {
    const __m128i window = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + pos + 1));
    const std::uint32_t quotes =
        static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(window, _mm_set1_epi8(quote))));
    const std::uint32_t lineFeeds =
        static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(window, _mm_set1_epi8('\n'))));
    if (quotes != 0) {
      const std::int32_t length = __builtin_ctz(quotes);  // of the text between the quotes
      const std::uint32_t before = (1u << length) - 1;
      if (length < 15 && (lineFeeds & before) == 0 && ((quotes >> (length + 1)) & 1u) == 0) {
        t.text = std::string_view(bytes + pos + 1, static_cast<std::size_t>(length));
        t.endColumn = column + length + 1;
        lx.pos = pos + length + 2;
        lx.column = column + length + 2;
        return;
      }
    }
  }
#endif
  Cursor c{bytes, size, pos, lx.line, column};
  scanQuoted(c, quote, lx.arena, t);
  lx.pos = c.pos;
  lx.line = c.line;
  lx.column = c.column;
}

}  // namespace

namespace {

// Ends the token of `length` bytes at `p` (index `pos`, column `column`),
// whose start is already in `t`, on the line where it starts.
inline void endToken(Lexer& lx, Token& t, const char* p, std::int32_t pos, std::int32_t column,
                     std::int32_t length) {
  t.text = std::string_view(p, static_cast<std::size_t>(length));
  t.endColumn = column + length - 1;
  lx.pos = pos + length;
  lx.column = column + length;
}

// The word at `p`, a byte at a time; the start is already in `t`.
[[gnu::noinline]] void scanWordBytes(Lexer& lx, Token& t, const char* end, const char* p, std::int32_t pos,
                                     std::int32_t column) {
  const char* q = p + 1;
  while (q < end && kWordBytes.is[static_cast<unsigned char>(*q)]) ++q;
  const std::int32_t length = static_cast<std::int32_t>(q - p);
  t.kind = wordKind(p, length, static_cast<std::int32_t>(end - p));
  endToken(lx, t, p, pos, column, length);
}

#if defined(__SSE2__)
// Ends the word at `p`, whose first sixteen bytes (or fewer, followed by a
// byte that continues no word) are in `window`, when it is shorter than
// sixteen bytes. The kind is looked up last, when the positions are stored
// and their registers free.
inline bool endWord(Lexer& lx, Token& t, __m128i window, const char* p, std::int32_t pos, std::int32_t column) {
  const __m128i lower = setBit5(window);
  const std::uint32_t stops = ~wordByteMask(window, lower) & 0xffffu;
  if (stops == 0) return false;
  const std::int32_t length = __builtin_ctz(stops);
  endToken(lx, t, p, pos, column, length);
  t.kind = lookupLowered(lower, length);
  return true;
}

// A word of sixteen bytes or more at `p`, which is no keyword; the start is
// already in `t`.
[[gnu::noinline]] void scanLongWord(Lexer& lx, Token& t, const char* p, std::int32_t pos, std::int32_t column) {
  const char* const end = lx.input.data() + lx.input.size();
  const char* q = p + 16;
  for (;;) {
    if (end - q < 16) {
      while (q < end && kWordBytes.is[static_cast<unsigned char>(*q)]) ++q;
      break;
    }
    const __m128i window = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const std::uint32_t stops = ~wordByteMask(window, setBit5(window)) & 0xffffu;
    if (stops != 0) {
      q += __builtin_ctz(stops);
      break;
    }
    q += 16;
  }
  t.kind = tkIdent;
  endToken(lx, t, p, pos, column, static_cast<std::int32_t>(q - p));
}

// A word that starts less than sixteen bytes before the end of an input that
// has no zero bytes after it: the last sixteen bytes are moved down so that
// the word starts the window, and zeros follow them. An input of fewer than
// sixteen bytes is scanned a byte at a time.
[[gnu::noinline]] void scanWordNearEnd(Lexer& lx, Token& t, const char* p, std::int32_t column) {
  const char* const bytes = lx.input.data();
  const char* const end = bytes + lx.input.size();
  const std::int32_t pos = static_cast<std::int32_t>(p - bytes);
  if (end - bytes >= 16) {
    alignas(16) unsigned char tail[32];
    _mm_store_si128(reinterpret_cast<__m128i*>(tail), _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16)));
    _mm_store_si128(reinterpret_cast<__m128i*>(tail + 16), _mm_setzero_si128());
    const __m128i window = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tail + 16 - (end - p)));
    if (endWord(lx, t, window, p, pos, column)) return;
  }
  scanWordBytes(lx, t, end, p, pos, column);
}
#endif

[[gnu::always_inline]] inline void scanAt(Lexer& lx, Token& t, const char* end, const char* p, std::int32_t pos,
                                          std::int32_t column, unsigned cls);

// A comment starts at `pos` (column `column`): skips it and the white space
// and comments after it, then scans the token there. No comment is left at
// that token, so this runs once per token.
[[gnu::noinline]] void scanAfterComment(Lexer& lx, Token& t, std::int32_t pos, std::int32_t column) {
  Cursor c{lx.input.data(), static_cast<std::int32_t>(lx.input.size()), pos, lx.line, column};
  skipSpaceAndComments(c);
  lx.line = c.line;
  if (c.pos == c.size) {
    lx.pos = c.pos;
    lx.column = c.column;
    return scanEnd(lx, t, c.bytes, c.bytes + c.pos, 0);
  }
  scanAt(lx, t, c.bytes + c.size, c.bytes + c.pos, c.pos, c.column,
         kScanClasses.c[static_cast<unsigned char>(c.bytes[c.pos])]);
}

// The operator or comment that starts at `pos` (column `column`), whose
// start is already in `t`: the bytes of scSlow.
[[gnu::noinline]] void scanOperatorToken(Lexer& lx, Token& t, std::int32_t pos, std::int32_t column) {
  const char* const bytes = lx.input.data();
  const std::int32_t size = static_cast<std::int32_t>(lx.input.size());
  const unsigned char b = static_cast<unsigned char>(bytes[pos]);
  const unsigned char n1 = pos + 1 < size ? static_cast<unsigned char>(bytes[pos + 1]) : 0;
  const unsigned char n2 = pos + 2 < size ? static_cast<unsigned char>(bytes[pos + 2]) : 0;
  TokenKind kind;
  std::int32_t length = 2;
  switch (b) {
    case '-':
      if (n1 == '-') return scanAfterComment(lx, t, pos, column);
      kind = n1 != '>' ? tkMinus : n2 == '>' ? tkArrowText : tkArrow;
      break;
    case '/':
      if (n1 == '*') return scanAfterComment(lx, t, pos, column);
      kind = tkSlash;
      break;
    case '<':
      kind = n1 == '<' ? tkShiftLeft : n1 == '=' ? tkLe : n1 == '>' ? tkNeq : tkLt;
      break;
    case '>':
      kind = n1 == '>' ? tkShiftRight : n1 == '=' ? tkGe : tkGt;
      break;
    case '|':
      kind = n1 == '|' ? tkPipePipe : tkBitOr;
      break;
    case '!':
      kind = n1 == '=' ? tkNeq : tkIdent;
      break;
    default:  // '#'
      kind = n1 != '>' ? tkIdent : n2 == '>' ? tkPathArrowText : tkPathArrow;
      break;
  }
  switch (kind) {
    case tkMinus: case tkSlash: case tkLt: case tkGt: case tkBitOr: case tkIdent: length = 1; break;
    case tkArrowText: case tkPathArrowText: length = 3; break;
    default: break;
  }
  t.kind = kind;
  endToken(lx, t, bytes + pos, pos, column, length);
}

// Scans the token at `pos` (column `column`) on the Lexer's line, where
// white space ends and the input does not; `cls` is the scan class of its
// first byte, neither scBlank nor scLineFeed.
[[gnu::always_inline]] VELLUM_SCALAR_STORES inline void scanAt(Lexer& lx, Token& t, const char* end, const char* p,
                                                                std::int32_t pos, std::int32_t column, unsigned cls) {
  {
    // Every token of the fast path lies on this line.
    const std::int32_t line = lx.line;
    t.line = line;
    t.column = column;
    t.endLine = line;
  }
  if (cls == scWord) {
#if defined(__SSE2__)
    if (end + lx.padding - p < 16) return scanWordNearEnd(lx, t, p, column);
    if (endWord(lx, t, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), p, pos, column)) return;
    return scanLongWord(lx, t, p, pos, column);
#else
    return scanWordBytes(lx, t, end, p, pos, column);
#endif
  } else if (cls < scBlank) {
    t.kind = static_cast<TokenKind>(cls);
    return endToken(lx, t, p, pos, column, 1);
  } else if (cls == scDigit) {
    const char* q = p + 1;
    while (q < end && isDigit(static_cast<unsigned char>(*q))) ++q;
    TokenKind kind = tkInteger;
    // A fraction: "." and at least one digit.
    if (end - q >= 2 && *q == '.' && isDigit(static_cast<unsigned char>(q[1]))) {
      q += 2;
      while (q < end && isDigit(static_cast<unsigned char>(*q))) ++q;
      kind = tkFloat;
    }
    t.kind = kind;
    return endToken(lx, t, p, pos, column, static_cast<std::int32_t>(q - p));
  } else if (cls == scQuote) {
    return scanQuotedToken(lx, t, pos, column);
  }
  scanOperatorToken(lx, t, pos, column);
}

// Moves the Lexer past the line feed at `pos` and the blank bytes and line
// feeds that follow it, in one loop, then scans the token after them in
// place: a text of line feeds costs no stack depth.
[[gnu::noinline]] VELLUM_SCALAR_STORES void scanAfterLineFeed(Lexer& lx, Token& t, std::int32_t pos) {
  const char* const bytes = lx.input.data();
  const std::int32_t size = static_cast<std::int32_t>(lx.input.size());
  std::int32_t line = lx.line;
  std::int32_t lineStart;
  for (;;) {  // `pos` is at a line feed
    ++pos;
    ++line;
    lineStart = pos;
#if defined(__SSE2__)
    // Indentation sixteen bytes at a time while that many are left.
    for (;;) {
      if (size - pos < 16) {
        while (pos < size && kScanClasses.c[static_cast<unsigned char>(bytes[pos])] == scBlank) ++pos;
        break;
      }
      const __m128i window = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + pos));
      const __m128i blanks = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(window, _mm_set1_epi8(' ')),
                                                       _mm_cmpeq_epi8(window, _mm_set1_epi8('\t'))),
                                          _mm_cmpeq_epi8(window, _mm_set1_epi8('\r')));
      const std::uint32_t stops = ~static_cast<std::uint32_t>(_mm_movemask_epi8(blanks)) & 0xffffu;
      if (stops != 0) {
        pos += __builtin_ctz(stops);
        break;
      }
      pos += 16;
    }
#else
    while (pos < size && kScanClasses.c[static_cast<unsigned char>(bytes[pos])] == scBlank) ++pos;
#endif
    if (pos == size || bytes[pos] != '\n') break;
  }
  const std::int32_t column = pos - lineStart + 1;
  lx.line = line;
  if (pos == size) {
    lx.column = column;
    return scanEnd(lx, t, bytes, bytes + pos, 0);
  }
  scanAt(lx, t, bytes + size, bytes + pos, pos, column, kScanClasses.c[static_cast<unsigned char>(bytes[pos])]);
}

}  // namespace

// The fast path: white space, words, numbers and one-byte tokens; a line
// feed goes to scanAfterLineFeed, a quoted literal to scanQuotedToken, an
// operator or comment to scanOperatorToken, and the rare words to
// scanLongWord, scanWordNearEnd or scanWordBytes. It calls nothing but as
// its last step, so that the scan stays in registers that need no saving.
VELLUM_SCALAR_STORES void scanToken(Lexer& lx, Token& t) {
  const char* const bytes = lx.input.data();
  const char* const end = bytes + lx.input.size();
  const char* const start = bytes + lx.pos;
  const char* p = start;
  if (p == end) return scanEnd(lx, t, bytes, p, 0);
  unsigned cls;
  for (;;) {
    cls = kScanClasses.c[static_cast<unsigned char>(*p)];
    if (cls != scBlank) break;
    if (++p == end) return scanEnd(lx, t, bytes, p, static_cast<std::int32_t>(p - start));
  }
  const std::int32_t pos = static_cast<std::int32_t>(p - bytes);
  if (cls == scLineFeed) return scanAfterLineFeed(lx, t, pos);
  scanAt(lx, t, end, p, pos, lx.column + static_cast<std::int32_t>(p - start), cls);
}

}  // namespace vellum::sql
