// PromQL lexer: token kinds, texts and positions, and every lexical error.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "promql/promql_lexer.h"
#include "support/errors.h"

namespace {

using vellum::Arena;
using vellum::PromQlParseError;
using namespace vellum::promql;

// One token as "KIND 'TEXT' line:column:offset-line:column:offset".
std::string describe(const PromToken& t) {
  auto pos = [](const PromPos& p) {
    return std::to_string(p.line) + ":" + std::to_string(p.column) + ":" + std::to_string(p.offset);
  };
  return std::string(promTokenKindName(t.kind)) + " '" + std::string(t.text) + "' " + pos(t.span.start) + "-" +
         pos(t.span.end);
}

// Every token up to and including the end token.
std::vector<std::string> lexAll(std::string_view text) {
  Arena arena;
  PromLexer lexer(text, arena);
  std::vector<std::string> out;
  for (;;) {
    PromToken t = lexer.advancePromToken();
    out.push_back(describe(t));
    if (t.kind == ptEof) return out;
  }
}

// The error text of the first lexical error, or "" when the text lexes.
std::string lexError(std::string_view text) {
  try {
    lexAll(text);
  } catch (const PromQlParseError& e) {
    return e.message();
  }
  return "";
}

struct TokenCase {
  std::string input;
  std::vector<std::string> tokens;
};

void expectTokens(const std::vector<TokenCase>& cases) {
  for (const TokenCase& c : cases) {
    EXPECT_EQ(lexAll(c.input), c.tokens) << "input: " << c.input;
  }
}

TEST(PromQlLexerTest, Positions) {
  expectTokens({
      {"", {"ptEof '' 1:1:0-1:1:0"}},
      {"  \t", {"ptEof '' 1:4:3-1:4:3"}},
      {"a\n  b", {"ptIdent 'a' 1:1:0-1:2:1", "ptIdent 'b' 2:3:4-2:4:5", "ptEof '' 2:4:5-2:4:5"}},
      // Columns count bytes: the two-byte letter takes columns 1 and 2.
      {"\xc3\xa9 x", {"ptIdent '\xc3\xa9' 1:1:0-1:3:2", "ptIdent 'x' 1:4:3-1:5:4", "ptEof '' 1:5:4-1:5:4"}},
      // Only a line feed starts a line; a carriage return is one more column.
      {"a\r\nb\rc", {"ptIdent 'a' 1:1:0-1:2:1", "ptIdent 'b' 2:1:3-2:2:4", "ptIdent 'c' 2:3:5-2:4:6",
                     "ptEof '' 2:4:6-2:4:6"}},
      // Newlines inside strings count too.
      {"'a\nb' x", {"ptString 'a\nb' 1:1:0-2:3:5", "ptIdent 'x' 2:4:6-2:5:7", "ptEof '' 2:5:7-2:5:7"}},
      {"`\n\n` x", {"ptString '\n\n' 1:1:0-3:2:4", "ptIdent 'x' 3:3:5-3:4:6", "ptEof '' 3:4:6-3:4:6"}},
      // A NUL byte ends the text.
      {std::string("a\0b", 3), {"ptIdent 'a' 1:1:0-1:2:1", "ptEof '' 1:2:1-1:2:1"}},
  });
}

TEST(PromQlLexerTest, IdentifiersAndKeywords) {
  expectTokens({
      {"foo:bar_baz", {"ptIdent 'foo:bar_baz' 1:1:0-1:12:11", "ptEof '' 1:12:11-1:12:11"}},
      {"_x1 :y", {"ptIdent '_x1' 1:1:0-1:4:3", "ptIdent ':y' 1:5:4-1:7:6", "ptEof '' 1:7:6-1:7:6"}},
      {"offset by without", {"ptOffset 'offset' 1:1:0-1:7:6", "ptBy 'by' 1:8:7-1:10:9",
                             "ptWithout 'without' 1:11:10-1:18:17", "ptEof '' 1:18:17-1:18:17"}},
      // Keywords are case-sensitive; other words are plain identifiers.
      {"Offset BY sum", {"ptIdent 'Offset' 1:1:0-1:7:6", "ptIdent 'BY' 1:8:7-1:10:9",
                         "ptIdent 'sum' 1:11:10-1:14:13", "ptEof '' 1:14:13-1:14:13"}},
      {"bool and Inf offsets", {"ptIdent 'bool' 1:1:0-1:5:4", "ptIdent 'and' 1:6:5-1:9:8",
                                "ptIdent 'Inf' 1:10:9-1:13:12", "ptIdent 'offsets' 1:14:13-1:21:20",
                                "ptEof '' 1:21:20-1:21:20"}},
      // Any byte from 0x80 up continues a name, even one that is not valid UTF-8.
      {"m\xc3\xa9tric\xe2\x82\xac_1 \xff", {"ptIdent 'm\xc3\xa9tric\xe2\x82\xac_1' 1:1:0-1:13:12",
                                            "ptIdent '\xff' 1:14:13-1:15:14", "ptEof '' 1:15:14-1:15:14"}},
      // Names with sixteen bytes or more after their start: every byte that
      // ends a name in such a window, and a name longer than two windows.
      {"a^b/c{d=`e`}+f[1m]-g`h`                ",
       {"ptIdent 'a' 1:1:0-1:2:1", "ptCaret '^' 1:2:1-1:3:2", "ptIdent 'b' 1:3:2-1:4:3", "ptSlash '/' 1:4:3-1:5:4",
        "ptIdent 'c' 1:5:4-1:6:5", "ptLBrace '{' 1:6:5-1:7:6", "ptIdent 'd' 1:7:6-1:8:7", "ptEq '=' 1:8:7-1:9:8",
        "ptString 'e' 1:9:8-1:12:11", "ptRBrace '}' 1:12:11-1:13:12", "ptPlus '+' 1:13:12-1:14:13",
        "ptIdent 'f' 1:14:13-1:15:14", "ptLBracket '[' 1:15:14-1:16:15", "ptDuration '1m' 1:16:15-1:18:17",
        "ptRBracket ']' 1:18:17-1:19:18", "ptMinus '-' 1:19:18-1:20:19", "ptIdent 'g' 1:20:19-1:21:20",
        "ptString 'h' 1:21:20-1:24:23", "ptEof '' 1:40:39-1:40:39"}},
      {"abcdefghijklmnop_QRSTUVWXYZ:09\xe2\x82\xac[5m] x",
       {"ptIdent 'abcdefghijklmnop_QRSTUVWXYZ:09\xe2\x82\xac' 1:1:0-1:34:33", "ptLBracket '[' 1:34:33-1:35:34",
        "ptDuration '5m' 1:35:34-1:37:36", "ptRBracket ']' 1:37:36-1:38:37", "ptIdent 'x' 1:39:38-1:40:39",
        "ptEof '' 1:40:39-1:40:39"}},
  });
}

TEST(PromQlLexerTest, NumbersAndDurations) {
  expectTokens({
      {"1.5", {"ptNumber '1.5' 1:1:0-1:4:3", "ptEof '' 1:4:3-1:4:3"}},
      {".5", {"ptNumber '.5' 1:1:0-1:3:2", "ptEof '' 1:3:2-1:3:2"}},
      {"007", {"ptNumber '007' 1:1:0-1:4:3", "ptEof '' 1:4:3-1:4:3"}},
      {"1e+5 2E-3 3e7", {"ptNumber '1e+5' 1:1:0-1:5:4", "ptNumber '2E-3' 1:6:5-1:10:9",
                         "ptNumber '3e7' 1:11:10-1:14:13", "ptEof '' 1:14:13-1:14:13"}},
      // A leading dot and a fraction both apply: one token, rejected by the parser.
      {".5.5", {"ptNumber '.5.5' 1:1:0-1:5:4", "ptEof '' 1:5:4-1:5:4"}},
      {"1.5.5", {"ptNumber '1.5' 1:1:0-1:4:3", "ptNumber '.5' 1:4:3-1:6:5", "ptEof '' 1:6:5-1:6:5"}},
      // An exponent ends the token.
      {"1e3s", {"ptNumber '1e3' 1:1:0-1:4:3", "ptIdent 's' 1:4:3-1:5:4", "ptEof '' 1:5:4-1:5:4"}},
      {"0x1F", {"ptNumber '0' 1:1:0-1:2:1", "ptIdent 'x1F' 1:2:1-1:5:4", "ptEof '' 1:5:4-1:5:4"}},
      {"5m 90s", {"ptDuration '5m' 1:1:0-1:3:2", "ptDuration '90s' 1:4:3-1:7:6", "ptEof '' 1:7:6-1:7:6"}},
      {"5 m", {"ptNumber '5' 1:1:0-1:2:1", "ptIdent 'm' 1:3:2-1:4:3", "ptEof '' 1:4:3-1:4:3"}},
      // A unit letter makes a duration of every following letter, digit or dot.
      {"1h30m 1.5h 5mx 5ms .5d", {"ptDuration '1h30m' 1:1:0-1:6:5", "ptDuration '1.5h' 1:7:6-1:11:10",
                                  "ptDuration '5mx' 1:12:11-1:15:14", "ptDuration '5ms' 1:16:15-1:19:18",
                                  "ptDuration '.5d' 1:20:19-1:23:22", "ptEof '' 1:23:22-1:23:22"}},
      {"1w2d3h4m5s6ms7y", {"ptDuration '1w2d3h4m5s6ms7y' 1:1:0-1:16:15", "ptEof '' 1:16:15-1:16:15"}},
      {"1h5.m\xc3\xa9_x", {"ptDuration '1h5.m\xc3\xa9' 1:1:0-1:8:7", "ptIdent '_x' 1:8:7-1:10:9",
                           "ptEof '' 1:10:9-1:10:9"}},
      // Upper-case letters are no units.
      {"5M", {"ptNumber '5' 1:1:0-1:2:1", "ptIdent 'M' 1:2:1-1:3:2", "ptEof '' 1:3:2-1:3:2"}},
  });
}

TEST(PromQlLexerTest, Strings) {
  expectTokens({
      {R"("abc")", {"ptString 'abc' 1:1:0-1:6:5", "ptEof '' 1:6:5-1:6:5"}},
      {R"('')", {"ptString '' 1:1:0-1:3:2", "ptEof '' 1:3:2-1:3:2"}},
      // The six escapes.
      {R"("\"\'\\\n\r\t")", {"ptString '\"'\\\n\r\t' 1:1:0-1:15:14", "ptEof '' 1:15:14-1:15:14"}},
      {R"('\'\"')", {"ptString ''\"' 1:1:0-1:7:6", "ptEof '' 1:7:6-1:7:6"}},
      // The other quote needs no escape.
      {R"("it's" 'say "hi"')", {"ptString 'it's' 1:1:0-1:7:6", "ptString 'say \"hi\"' 1:8:7-1:18:17",
                               "ptEof '' 1:18:17-1:18:17"}},
      {"\"caf\xc3\xa9\"", {"ptString 'caf\xc3\xa9' 1:1:0-1:8:7", "ptEof '' 1:8:7-1:8:7"}},
      // Raw strings keep every byte, backslashes included.
      {R"(`a\nb\`)", {"ptString 'a\\nb\\' 1:1:0-1:8:7", "ptEof '' 1:8:7-1:8:7"}},
      {"``", {"ptString '' 1:1:0-1:3:2", "ptEof '' 1:3:2-1:3:2"}},
  });
}

TEST(PromQlLexerTest, Punctuation) {
  expectTokens({
      {"{}[](),", {"ptLBrace '{' 1:1:0-1:2:1", "ptRBrace '}' 1:2:1-1:3:2", "ptLBracket '[' 1:3:2-1:4:3",
                   "ptRBracket ']' 1:4:3-1:5:4", "ptLParen '(' 1:5:4-1:6:5", "ptRParen ')' 1:6:5-1:7:6",
                   "ptComma ',' 1:7:6-1:8:7", "ptEof '' 1:8:7-1:8:7"}},
      {"+-*/%^", {"ptPlus '+' 1:1:0-1:2:1", "ptMinus '-' 1:2:1-1:3:2", "ptStar '*' 1:3:2-1:4:3",
                  "ptSlash '/' 1:4:3-1:5:4", "ptPercent '%' 1:5:4-1:6:5", "ptCaret '^' 1:6:5-1:7:6",
                  "ptEof '' 1:7:6-1:7:6"}},
      {"= != =~ !~", {"ptEq '=' 1:1:0-1:2:1", "ptNeq '!=' 1:3:2-1:5:4", "ptRegexMatch '=~' 1:6:5-1:8:7",
                      "ptRegexNoMatch '!~' 1:9:8-1:11:10", "ptEof '' 1:11:10-1:11:10"}},
      // No equality operator: two `=` tokens.
      {"==", {"ptEq '=' 1:1:0-1:2:1", "ptEq '=' 1:2:1-1:3:2", "ptEof '' 1:3:2-1:3:2"}},
  });
}

TEST(PromQlLexerTest, Errors) {
  struct Case {
    std::string input;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"1.", "PromQL parse error at line 1, col 2, offset 1 near '.': unexpected character"},
      {".", "PromQL parse error at line 1, col 1, offset 0 near '.': unexpected character"},
      {"x .e", "PromQL parse error at line 1, col 3, offset 2 near '.': unexpected character"},
      {"a < b", "PromQL parse error at line 1, col 3, offset 2 near '<': unexpected character"},
      {"x\n  @", "PromQL parse error at line 2, col 3, offset 4 near '@': unexpected character"},
      {"# comment", "PromQL parse error at line 1, col 1, offset 0 near '#': unexpected character"},
      {"a;", "PromQL parse error at line 1, col 2, offset 1 near ';': unexpected character"},
      {"\v", "PromQL parse error at line 1, col 1, offset 0 near '\v': unexpected character"},
      {"\f", "PromQL parse error at line 1, col 1, offset 0 near '\f': unexpected character"},
      {"\x01", "PromQL parse error at line 1, col 1, offset 0 near '\x01': unexpected character"},
      {"x !", "PromQL parse error at line 1, col 3, offset 2 near '!': expected '=' or '~'"},
      {"!!=", "PromQL parse error at line 1, col 1, offset 0 near '!': expected '=' or '~'"},
      {"1e", "PromQL parse error at line 1, col 1, offset 0 near '1e': invalid numeric exponent"},
      {"x 2E-", "PromQL parse error at line 1, col 3, offset 2 near '2E-': invalid numeric exponent"},
      {"1.5e+x", "PromQL parse error at line 1, col 1, offset 0 near '1.5e+': invalid numeric exponent"},
      {".5E", "PromQL parse error at line 1, col 1, offset 0 near '.5E': invalid numeric exponent"},
      {R"(x "abc)", "PromQL parse error at line 1, col 3, offset 2 near '\"': unterminated string literal"},
      {"'abc\"", "PromQL parse error at line 1, col 1, offset 0 near ''': unterminated string literal"},
      {R"("ab\)", "PromQL parse error at line 1, col 1, offset 0 near '\\': unterminated escape sequence"},
      {R"( "a\x")", "PromQL parse error at line 1, col 2, offset 1 near '\\x': unsupported escape sequence"},
      {"\"\\\n\"", "PromQL parse error at line 1, col 1, offset 0 near '\\\n': unsupported escape sequence"},
      {R"("\0")", "PromQL parse error at line 1, col 1, offset 0 near '\\0': unsupported escape sequence"},
      // The near text holds the whole character after the backslash.
      {"\"\\\xc3\xa9\"", "PromQL parse error at line 1, col 1, offset 0 near '\\\xc3\xa9': unsupported escape sequence"},
      {"\"\\\xe2\x82\xac\"",
       "PromQL parse error at line 1, col 1, offset 0 near '\\\xe2\x82\xac': unsupported escape sequence"},
      // An escape error is found before the end of the string is missed.
      {R"("\q)", "PromQL parse error at line 1, col 1, offset 0 near '\\q': unsupported escape sequence"},
      {"\n `abc", "PromQL parse error at line 2, col 2, offset 2 near '`': unterminated raw string literal"},
      {"`", "PromQL parse error at line 1, col 1, offset 0 near '`': unterminated raw string literal"},
      // A NUL byte ends a string as the end of the text does.
      {std::string("'a\0'", 4), "PromQL parse error at line 1, col 1, offset 0 near ''': unterminated string literal"},
  };
  for (const Case& c : cases) EXPECT_EQ(lexError(c.input), c.error) << "input: " << c.input;
}

}  // namespace
