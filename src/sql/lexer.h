// SQL tokens and the scanner that produces them on demand.
//
// The Lexer is a plain value over a view of the input: copying it copies a
// few integers, which is how the parser looks ahead. Token texts are views
// into the input, except for quoted literals whose doubled quotes had to be
// collapsed; those are decoded into the call's Arena.
#pragma once

#include <cstdint>
#include <string_view>

#include "sql/tree.h"
#include "support/arena.h"

namespace vellum::sql {

enum TokenKind : std::uint8_t {
#define SQL_TOKEN(name) name,
#define SQL_KEYWORD(name, word) name,
#include "sql/tokens.def"
#undef SQL_TOKEN
#undef SQL_KEYWORD
};
static_assert(tkSelect == 4 && tkIf == 126 && tkNotKw == 127 && tkStar == 128 && tkEof == 159);

// The kind's name as printed in messages ("tkSelect").
std::string_view tokenKindName(TokenKind kind);

// The keyword kind of a word, matched without regard to ASCII case; tkIdent
// when the word is no keyword.
TokenKind keywordKind(std::string_view word);

struct Token {
  TokenKind kind = tkIdent;
  std::string_view text;
  std::int32_t line = 0;       // position of the first byte
  std::int32_t column = 0;
  std::int32_t endLine = 0;    // position of the last byte (inclusive)
  std::int32_t endColumn = 0;

  SqlSpan span() const { return {line, column, endLine, endColumn}; }
};

struct Lexer {
  std::string_view input;
  std::int32_t pos = 0;         // index of the next byte
  std::int32_t line = 1;        // position of the byte at pos
  std::int32_t column = 1;
  // Bytes after the end of `input` that may be read, all zero: with 16 of
  // them a word at the very end is read sixteen bytes at a time like any
  // other.
  std::int32_t padding = 0;
  // Where quoted literals with doubled quotes are decoded. When it is null
  // (look-ahead), such a literal keeps its raw text: only the kind and
  // positions of look-ahead tokens are used.
  Arena* arena = nullptr;
};

// A Lexer at the start of `text`, with no arena.
Lexer initLexer(std::string_view text);

// Skips white space and comments and scans one token into `token`, decoding
// into the Lexer's arena.
void scanToken(Lexer& lexer, Token& token);
// The same with `arena`, which becomes the Lexer's arena.
Token nextToken(Lexer& lexer, Arena* arena);
void scanToken(Lexer& lexer, Arena* arena, Token& token);

}  // namespace vellum::sql
