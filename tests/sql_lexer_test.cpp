// The SQL scanner: token kinds and their names, the keyword map, positions,
// comments, quoted texts, operators, and bytes that start no token.
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "sql/lexer.h"
#include "support/arena.h"

namespace {

using namespace vellum::sql;

// "kind 'text' line:col-line:col" for every token up to and including tkEof.
std::vector<std::string> scan(Lexer lexer) {
  vellum::Arena arena;
  std::vector<std::string> out;
  for (;;) {
    Token t = nextToken(lexer, &arena);
    out.push_back(std::string(tokenKindName(t.kind)) + " '" + std::string(t.text) + "' " +
                  std::to_string(t.line) + ":" + std::to_string(t.column) + "-" +
                  std::to_string(t.endLine) + ":" + std::to_string(t.endColumn));
    if (t.kind == tkEof) return out;
    if (out.size() > 100) {
      ADD_FAILURE() << "no tkEof";
      return out;
    }
  }
}

std::vector<std::string> scan(std::string_view text) { return scan(initLexer(text)); }

// Only the kinds and texts: "kind 'text'".
std::vector<std::string> kinds(std::string_view text) {
  std::vector<std::string> out;
  for (const std::string& t : scan(text)) out.push_back(t.substr(0, t.rfind(' ')));
  return out;
}

using Tokens = std::vector<std::string>;

// ---- Token kind names ----

TEST(SqlTokenKinds, EveryKindHasItsNameAtItsValue) {
  static const char* const kNames[160] = {
      "tkIdent", "tkString", "tkInteger", "tkFloat", "tkSelect", "tkExplain", "tkFrom", "tkWhere",
      "tkAnd", "tkOr", "tkNot", "tkInsert", "tkInto", "tkValues", "tkUpdate", "tkSet", "tkDelete",
      "tkCreate", "tkDrop", "tkTable", "tkAlter", "tkIndex", "tkPragma", "tkBegin", "tkStart",
      "tkTransaction", "tkCommit", "tkRollback", "tkSavepoint", "tkRelease", "tkJoin", "tkInner",
      "tkLeft", "tkRight", "tkFull", "tkOuter", "tkCross", "tkOn", "tkNatural", "tkUsing", "tkAs",
      "tkNull", "tkTrue", "tkFalse", "tkOrder", "tkBy", "tkAsc", "tkDesc", "tkNulls", "tkFirst",
      "tkLast", "tkOver", "tkPartition", "tkWindow", "tkQualify", "tkRows", "tkRange", "tkGroup",
      "tkHaving", "tkLimit", "tkOffset", "tkFetch", "tkNext", "tkTies", "tkOnly", "tkRow",
      "tkLike", "tkILike", "tkGlob", "tkSimilar", "tkTo", "tkFor", "tkIn", "tkBetween", "tkIs",
      "tkExists", "tkAny", "tkSome", "tkDistinct", "tkAll", "tkUnion", "tkIntersect", "tkExcept",
      "tkCast", "tkCase", "tkWhen", "tkThen", "tkElse", "tkEnd", "tkNow", "tkPrimary", "tkKey",
      "tkForeign", "tkReferences", "tkUnique", "tkCheck", "tkDefault", "tkConstraint", "tkEscape",
      "tkWith", "tkRecursive", "tkInt", "tkBigint", "tkSmallint", "tkFloatType", "tkReal",
      "tkDouble", "tkDecimal", "tkVarchar", "tkChar", "tkText", "tkBlob", "tkBoolean", "tkBool",
      "tkTimestamp", "tkDate", "tkTime", "tkVector", "tkInterval", "tkJson", "tkJsonb", "tkHnsw",
      "tkBtree", "tkFts", "tkCosine", "tkL2", "tkIf", "tkNotKw", "tkStar", "tkComma", "tkDot",
      "tkColon", "tkSemicolon", "tkLParen", "tkRParen", "tkLBracket", "tkRBracket", "tkEq",
      "tkNeq", "tkLt", "tkLe", "tkGt", "tkGe", "tkPlus", "tkMinus", "tkSlash", "tkPercent",
      "tkPipePipe", "tkArrow", "tkArrowText", "tkPathArrow", "tkPathArrowText", "tkBitAnd",
      "tkBitOr", "tkBitXor", "tkBitNot", "tkShiftLeft", "tkShiftRight", "tkQuestion", "tkEof",
  };
  for (int value = 0; value < 160; ++value) {
    EXPECT_EQ(tokenKindName(static_cast<TokenKind>(value)), kNames[value]) << "value " << value;
  }
  static_assert(std::is_same_v<std::underlying_type_t<TokenKind>, std::uint8_t>);
}

// ---- Keywords ----

struct KeywordCase {
  const char* word;
  TokenKind kind;
};

// All 125 words of the map.
const KeywordCase kKeywords[] = {
    {"select", tkSelect}, {"explain", tkExplain}, {"from", tkFrom}, {"where", tkWhere},
    {"and", tkAnd}, {"or", tkOr}, {"not", tkNot}, {"insert", tkInsert}, {"into", tkInto},
    {"values", tkValues}, {"update", tkUpdate}, {"set", tkSet}, {"delete", tkDelete},
    {"create", tkCreate}, {"drop", tkDrop}, {"table", tkTable}, {"alter", tkAlter},
    {"index", tkIndex}, {"pragma", tkPragma}, {"begin", tkBegin}, {"start", tkStart},
    {"transaction", tkTransaction}, {"commit", tkCommit}, {"rollback", tkRollback},
    {"savepoint", tkSavepoint}, {"release", tkRelease}, {"join", tkJoin}, {"inner", tkInner},
    {"left", tkLeft}, {"right", tkRight}, {"full", tkFull}, {"outer", tkOuter},
    {"cross", tkCross}, {"on", tkOn}, {"natural", tkNatural}, {"using", tkUsing}, {"as", tkAs},
    {"null", tkNull}, {"true", tkTrue}, {"false", tkFalse}, {"order", tkOrder}, {"by", tkBy},
    {"asc", tkAsc}, {"desc", tkDesc}, {"nulls", tkNulls}, {"first", tkFirst}, {"last", tkLast},
    {"over", tkOver}, {"partition", tkPartition}, {"window", tkWindow}, {"qualify", tkQualify},
    {"rows", tkRows}, {"range", tkRange}, {"group", tkGroup}, {"having", tkHaving},
    {"limit", tkLimit}, {"offset", tkOffset}, {"fetch", tkFetch}, {"next", tkNext},
    {"ties", tkTies}, {"only", tkOnly}, {"row", tkRow}, {"like", tkLike}, {"ilike", tkILike},
    {"glob", tkGlob}, {"similar", tkSimilar}, {"to", tkTo}, {"for", tkFor}, {"in", tkIn},
    {"between", tkBetween}, {"is", tkIs}, {"exists", tkExists}, {"any", tkAny},
    {"some", tkSome}, {"distinct", tkDistinct}, {"all", tkAll}, {"union", tkUnion},
    {"intersect", tkIntersect}, {"except", tkExcept}, {"cast", tkCast}, {"case", tkCase},
    {"when", tkWhen}, {"then", tkThen}, {"else", tkElse}, {"end", tkEnd}, {"now", tkNow},
    {"primary", tkPrimary}, {"key", tkKey}, {"foreign", tkForeign},
    {"references", tkReferences}, {"unique", tkUnique}, {"check", tkCheck},
    {"default", tkDefault}, {"constraint", tkConstraint}, {"escape", tkEscape},
    {"with", tkWith}, {"recursive", tkRecursive}, {"int", tkInt}, {"integer", tkInt},
    {"bigint", tkBigint}, {"smallint", tkSmallint}, {"float", tkFloatType}, {"real", tkReal},
    {"double", tkDouble}, {"decimal", tkDecimal}, {"numeric", tkDecimal},
    {"varchar", tkVarchar}, {"char", tkChar}, {"text", tkText}, {"blob", tkBlob},
    {"boolean", tkBoolean}, {"bool", tkBool}, {"timestamp", tkTimestamp}, {"date", tkDate},
    {"time", tkTime}, {"vector", tkVector}, {"interval", tkInterval}, {"json", tkJson},
    {"jsonb", tkJsonb}, {"hnsw", tkHnsw}, {"btree", tkBtree}, {"fts", tkFts},
    {"cosine", tkCosine}, {"l2", tkL2}, {"if", tkIf},
};
static_assert(sizeof(kKeywords) / sizeof(kKeywords[0]) == 125);

std::string upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return s;
}

std::string alternating(std::string s) {
  for (std::size_t i = 0; i < s.size(); i += 2) {
    if (s[i] >= 'a' && s[i] <= 'z') s[i] = static_cast<char>(s[i] - 32);
  }
  return s;
}

TEST(SqlKeywords, EveryWordInAnyCase) {
  for (const KeywordCase& k : kKeywords) {
    EXPECT_EQ(keywordKind(k.word), k.kind) << k.word;
    EXPECT_EQ(keywordKind(upper(k.word)), k.kind) << k.word;
    EXPECT_EQ(keywordKind(alternating(k.word)), k.kind) << k.word;
  }
}

TEST(SqlKeywords, EveryWordScansAsItsKindWithTheTextAsWritten) {
  for (const KeywordCase& k : kKeywords) {
    std::string written = alternating(k.word);
    EXPECT_EQ(kinds(written), (Tokens{std::string(tokenKindName(k.kind)) + " '" + written + "'", "tkEof ''"}));
  }
}

// With sixteen bytes or more ahead a word is scanned a block at a time: the
// same kinds and texts as near the end of the input.
TEST(SqlKeywords, EveryWordScansAlikeWithTextAfterIt) {
  const std::string after(20, ' ');
  for (const KeywordCase& k : kKeywords) {
    std::string written = alternating(k.word);
    EXPECT_EQ(kinds(written + after), (Tokens{std::string(tokenKindName(k.kind)) + " '" + written + "'", "tkEof ''"}));
    EXPECT_EQ(kinds(written + "x" + after), (Tokens{"tkIdent '" + written + "x'", "tkEof ''"})) << k.word;
  }
}

TEST(SqlLexer, WordsEndAtTheFirstByteThatContinuesNoWord) {
  const std::string after(20, ' ');
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    const bool continues = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_';
    for (const std::string& word : {std::string("ab"), std::string("select"), std::string("x_234567890abcd")}) {
      const std::string text = word + byte + after;
      vellum::Arena arena;
      Lexer lexer = initLexer(text);
      Token first = nextToken(lexer, &arena);
      EXPECT_EQ(first.text, continues ? word + byte : word) << "byte " << b << " after " << word;
    }
  }
  // Words of sixteen bytes and more go on past the block.
  EXPECT_EQ(kinds("abcdefghijklmnop_q9 FROM" + after),
            (Tokens{"tkIdent 'abcdefghijklmnop_q9'", "tkFrom 'FROM'", "tkEof ''"}));
  EXPECT_EQ(kinds("transactionxxxxxxxxxx" + after), (Tokens{"tkIdent 'transactionxxxxxxxxxx'", "tkEof ''"}));
  EXPECT_EQ(kinds("TRANSACTION," + after), (Tokens{"tkTransaction 'TRANSACTION'", "tkComma ','", "tkEof ''"}));
}

// With zero bytes after the text that the scanner may read (the library's
// own input copy has them), every token is the same as without: words at
// the very end, of every length, keywords among them.
TEST(SqlLexer, ZeroPaddingAfterTheTextChangesNoToken) {
  std::vector<std::string> texts = {"", "a", "SELECT", "select 1 FROM t", "x;", "a 'b''c'", "f(x) -- c"};
  const std::string letters = "abcdefghijklmnopqrstuvwxyz_0123456789";
  for (std::size_t n = 1; n <= 20; ++n) {
    texts.push_back("SELECT " + letters.substr(0, n));
    texts.push_back(letters.substr(0, n));
  }
  for (const char* word : {"transaction", "TRANSACTIONS", "from", "Where", "x_234567890abcd", "x_234567890abcde"}) {
    texts.push_back(std::string("SELECT a FROM t ") + word);
  }
  for (const std::string& text : texts) {
    std::string padded = text + std::string(16, '\0');
    Lexer lexer = initLexer(std::string_view(padded.data(), text.size()));
    lexer.padding = 16;
    EXPECT_EQ(scan(lexer), scan(text)) << text;
  }
}

TEST(SqlKeywords, OtherWordsAreIdentifiers) {
  for (const char* word : {"", "INT8", "float4", "integers", "selec", "selectx", "notkw", "tknot",
                           "transactions", "l3", "_select", "s\xc3\xa9lect", "SELECT ", "x"}) {
    EXPECT_EQ(keywordKind(word), tkIdent) << word;
  }
}

// A word as long as a keyword of more than eight bytes, and equal to it but
// for its last byte, is no keyword, whether looked up or scanned a block at
// a time.
TEST(SqlKeywords, LongKeywordsAreMatchedWhole) {
  const std::string after(20, ' ');
  int checked = 0;
  for (const KeywordCase& k : kKeywords) {
    if (std::string_view(k.word).size() <= 8) continue;
    std::string near(k.word);
    near.back() = near.back() == 'z' ? 'y' : 'z';
    EXPECT_EQ(keywordKind(near), tkIdent) << near;
    EXPECT_EQ(kinds(near + after), (Tokens{"tkIdent '" + near + "'", "tkEof ''"})) << near;
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST(SqlKeywords, NotKwHasNoWord) {
  for (const KeywordCase& k : kKeywords) EXPECT_NE(k.kind, tkNotKw);
  EXPECT_EQ(keywordKind("notkw"), tkIdent);
}

// ---- Positions ----

struct ScanCase {
  const char* input;
  Tokens tokens;
};

class SqlLexerPositions : public ::testing::TestWithParam<ScanCase> {};

TEST_P(SqlLexerPositions, Scan) { EXPECT_EQ(scan(GetParam().input), GetParam().tokens); }

INSTANTIATE_TEST_SUITE_P(
    Cases, SqlLexerPositions,
    ::testing::Values(
        ScanCase{"", {"tkEof '' 1:1-1:1"}},
        ScanCase{"  \t\r\n -- only a comment\n/* and a block */ ", {"tkEof '' 3:19-3:19"}},
        ScanCase{"SELECT 1", {"tkSelect 'SELECT' 1:1-1:6", "tkInteger '1' 1:8-1:8", "tkEof '' 1:9-1:9"}},
        ScanCase{"a\n  b", {"tkIdent 'a' 1:1-1:1", "tkIdent 'b' 2:3-2:3", "tkEof '' 2:4-2:4"}},
        ScanCase{"a\r\nb", {"tkIdent 'a' 1:1-1:1", "tkIdent 'b' 2:1-2:1", "tkEof '' 2:2-2:2"}},
        // Tabs, carriage returns and UTF-8 bytes count one column each.
        ScanCase{"\tx\ry", {"tkIdent 'x' 1:2-1:2", "tkIdent 'y' 1:4-1:4", "tkEof '' 1:5-1:5"}},
        ScanCase{"\xe2\x82\xac",
                 {"tkIdent '\xe2' 1:1-1:1", "tkIdent '\x82' 1:2-1:2", "tkIdent '\xac' 1:3-1:3",
                  "tkEof '' 1:4-1:4"}},
        // A literal spanning lines ends on the line of its closing quote.
        ScanCase{"'a\nbc' x", {"tkString 'a\nbc' 1:1-2:3", "tkIdent 'x' 2:5-2:5", "tkEof '' 2:6-2:6"}},
        ScanCase{"''", {"tkString '' 1:1-1:2", "tkEof '' 1:3-1:3"}},
        ScanCase{"\"\"", {"tkIdent '' 1:1-1:2", "tkEof '' 1:3-1:3"}},
        ScanCase{"'it''s'", {"tkString 'it's' 1:1-1:7", "tkEof '' 1:8-1:8"}},
        ScanCase{"'abc", {"tkString 'abc' 1:1-1:4", "tkEof '' 1:5-1:5"}},
        ScanCase{"'ab\n", {"tkString 'ab\n' 1:1-1:4", "tkEof '' 2:1-2:1"}},
        ScanCase{"12.50 ->> #>", {"tkFloat '12.50' 1:1-1:5", "tkArrowText '->>' 1:7-1:9",
                                  "tkPathArrow '#>' 1:11-1:12", "tkEof '' 1:13-1:13"}},
        // Comments end at a line feed, which is then white space; block
        // comments may hold line feeds.
        ScanCase{"a -- c\nb /* x\n y */ c",
                 {"tkIdent 'a' 1:1-1:1", "tkIdent 'b' 2:1-2:1", "tkIdent 'c' 3:7-3:7", "tkEof '' 3:8-3:8"}},
        ScanCase{"x /* unclosed\n", {"tkIdent 'x' 1:1-1:1", "tkEof '' 2:1-2:1"}},
        // After a comment the token is scanned where the comment left the
        // line and column: quoted texts, words, numbers and operators.
        ScanCase{"/* c */'a''b'", {"tkString 'a'b' 1:8-1:13", "tkEof '' 1:14-1:14"}},
        ScanCase{"x/*\n*/yz", {"tkIdent 'x' 1:1-1:1", "tkIdent 'yz' 2:3-2:4", "tkEof '' 2:5-2:5"}},
        ScanCase{"-- c\n  -- d\n->>", {"tkArrowText '->>' 3:1-3:3", "tkEof '' 3:4-3:4"}},
        ScanCase{"/* a */ 1.5/**/", {"tkFloat '1.5' 1:9-1:11", "tkEof '' 1:16-1:16"}},
        ScanCase{"a/**/-1", {"tkIdent 'a' 1:1-1:1", "tkMinus '-' 1:6-1:6", "tkInteger '1' 1:7-1:7", "tkEof '' 1:8-1:8"}},

        ScanCase{"x --", {"tkIdent 'x' 1:1-1:1", "tkEof '' 1:5-1:5"}},
        ScanCase{"'a''\n'b", {"tkString 'a'\n' 1:1-2:1", "tkIdent 'b' 2:2-2:2", "tkEof '' 2:3-2:3"}},
        ScanCase{"'x''", {"tkString 'x'' 1:1-1:4", "tkEof '' 1:5-1:5"}},
        ScanCase{"\n'", {"tkString '' 2:1-2:1", "tkEof '' 2:2-2:2"}},
        ScanCase{"'a''\n", {"tkString 'a'\n' 1:1-1:5", "tkEof '' 2:1-2:1"}},
        ScanCase{"'\n\n'' x\n", {"tkString '\n\n' x\n' 1:1-3:5", "tkEof '' 4:1-4:1"}},
        ScanCase{"transactions_of_today FROM", {"tkIdent 'transactions_of_today' 1:1-1:21",
                                               "tkFrom 'FROM' 1:23-1:26", "tkEof '' 1:27-1:27"}},
        ScanCase{"wHeRe\tselect_", {"tkWhere 'wHeRe' 1:1-1:5", "tkIdent 'select_' 1:7-1:13", "tkEof '' 1:14-1:14"}}));

// Operators, numbers and words at the end of the input or near it, words of
// sixteen bytes and more, indentation after line feeds and quoted literals
// around sixteen bytes long: the edges of the scanner's shortcuts.
INSTANTIATE_TEST_SUITE_P(
    Edges, SqlLexerPositions,
    ::testing::Values(
        ScanCase{"a<", {"tkIdent 'a' 1:1-1:1", "tkLt '<' 1:2-1:2", "tkEof '' 1:3-1:3"}},
        ScanCase{"a>", {"tkIdent 'a' 1:1-1:1", "tkGt '>' 1:2-1:2", "tkEof '' 1:3-1:3"}},
        ScanCase{"a-", {"tkIdent 'a' 1:1-1:1", "tkMinus '-' 1:2-1:2", "tkEof '' 1:3-1:3"}},
        ScanCase{"a/", {"tkIdent 'a' 1:1-1:1", "tkSlash '/' 1:2-1:2", "tkEof '' 1:3-1:3"}},
        ScanCase{"a|", {"tkIdent 'a' 1:1-1:1", "tkBitOr '|' 1:2-1:2", "tkEof '' 1:3-1:3"}},
        ScanCase{"a!", {"tkIdent 'a' 1:1-1:1", "tkIdent '!' 1:2-1:2", "tkEof '' 1:3-1:3"}},
        ScanCase{"a#", {"tkIdent 'a' 1:1-1:1", "tkIdent '#' 1:2-1:2", "tkEof '' 1:3-1:3"}},
        ScanCase{"a->", {"tkIdent 'a' 1:1-1:1", "tkArrow '->' 1:2-1:3", "tkEof '' 1:4-1:4"}},
        ScanCase{"a#>", {"tkIdent 'a' 1:1-1:1", "tkPathArrow '#>' 1:2-1:3", "tkEof '' 1:4-1:4"}},
        ScanCase{"a<>", {"tkIdent 'a' 1:1-1:1", "tkNeq '<>' 1:2-1:3", "tkEof '' 1:4-1:4"}},
        ScanCase{"-", {"tkMinus '-' 1:1-1:1", "tkEof '' 1:2-1:2"}},
        ScanCase{"/", {"tkSlash '/' 1:1-1:1", "tkEof '' 1:2-1:2"}},
        ScanCase{"x ->>", {"tkIdent 'x' 1:1-1:1", "tkArrowText '->>' 1:3-1:5", "tkEof '' 1:6-1:6"}},
        ScanCase{"x #>>", {"tkIdent 'x' 1:1-1:1", "tkPathArrowText '#>>' 1:3-1:5", "tkEof '' 1:6-1:6"}},
        ScanCase{"x||", {"tkIdent 'x' 1:1-1:1", "tkPipePipe '||' 1:2-1:3", "tkEof '' 1:4-1:4"}},
        ScanCase{"x !=", {"tkIdent 'x' 1:1-1:1", "tkNeq '!=' 1:3-1:4", "tkEof '' 1:5-1:5"}},
        ScanCase{"x >=", {"tkIdent 'x' 1:1-1:1", "tkGe '>=' 1:3-1:4", "tkEof '' 1:5-1:5"}},
        ScanCase{"x <=", {"tkIdent 'x' 1:1-1:1", "tkLe '<=' 1:3-1:4", "tkEof '' 1:5-1:5"}},
        ScanCase{"1.5", {"tkFloat '1.5' 1:1-1:3", "tkEof '' 1:4-1:4"}},
        ScanCase{"1.", {"tkInteger '1' 1:1-1:1", "tkDot '.' 1:2-1:2", "tkEof '' 1:3-1:3"}},
        ScanCase{"12.34", {"tkFloat '12.34' 1:1-1:5", "tkEof '' 1:6-1:6"}},
        ScanCase{"x 1.2", {"tkIdent 'x' 1:1-1:1", "tkFloat '1.2' 1:3-1:5", "tkEof '' 1:6-1:6"}},
        ScanCase{"7.x", {"tkInteger '7' 1:1-1:1", "tkDot '.' 1:2-1:2", "tkIdent 'x' 1:3-1:3", "tkEof '' 1:4-1:4"}},
        ScanCase{"1..2",
                 {"tkInteger '1' 1:1-1:1", "tkDot '.' 1:2-1:2", "tkDot '.' 1:3-1:3", "tkInteger '2' 1:4-1:4",
                  "tkEof '' 1:5-1:5"}},
        ScanCase{"3.14159 ", {"tkFloat '3.14159' 1:1-1:7", "tkEof '' 1:9-1:9"}},
        ScanCase{"1.2.", {"tkFloat '1.2' 1:1-1:3", "tkDot '.' 1:4-1:4", "tkEof '' 1:5-1:5"}},
        ScanCase{"abcdefghijklmnop", {"tkIdent 'abcdefghijklmnop' 1:1-1:16", "tkEof '' 1:17-1:17"}},
        ScanCase{"abcdefghijklmnop ", {"tkIdent 'abcdefghijklmnop' 1:1-1:16", "tkEof '' 1:18-1:18"}},
        ScanCase{"x abcdefghijklmnop",
                 {"tkIdent 'x' 1:1-1:1", "tkIdent 'abcdefghijklmnop' 1:3-1:18", "tkEof '' 1:19-1:19"}},
        ScanCase{"select 0123456789abcdef",
                 {"tkSelect 'select' 1:1-1:6", "tkInteger '0123456789' 1:8-1:17", "tkIdent 'abcdef' 1:18-1:23",
                  "tkEof '' 1:24-1:24"}},
        ScanCase{"abcdefghijklmnopqrstuvwxyz0123456789_ABCDEFGHIJ",
                 {"tkIdent 'abcdefghijklmnopqrstuvwxyz0123456789_ABCDEFGHIJ' 1:1-1:47", "tkEof '' 1:48-1:48"}},
        ScanCase{"abcdefghijklmnopqrstuvwxyz0123456789_ABCDEFGHIJ+1 and more words here",
                 {"tkIdent 'abcdefghijklmnopqrstuvwxyz0123456789_ABCDEFGHIJ' 1:1-1:47", "tkPlus '+' 1:48-1:48",
                  "tkInteger '1' 1:49-1:49", "tkAnd 'and' 1:51-1:53", "tkIdent 'more' 1:55-1:58",
                  "tkIdent 'words' 1:60-1:64", "tkIdent 'here' 1:66-1:69", "tkEof '' 1:70-1:70"}},
        ScanCase{"abcdefghijklmnopqrstuvwxyz012345-1 and more words here x",
                 {"tkIdent 'abcdefghijklmnopqrstuvwxyz012345' 1:1-1:32", "tkMinus '-' 1:33-1:33",
                  "tkInteger '1' 1:34-1:34", "tkAnd 'and' 1:36-1:38", "tkIdent 'more' 1:40-1:43",
                  "tkIdent 'words' 1:45-1:49", "tkIdent 'here' 1:51-1:54", "tkIdent 'x' 1:56-1:56",
                  "tkEof '' 1:57-1:57"}},
        ScanCase{"0123456789abcde FROM",
                 {"tkInteger '0123456789' 1:1-1:10", "tkIdent 'abcde' 1:11-1:15", "tkFrom 'FROM' 1:17-1:20",
                  "tkEof '' 1:21-1:21"}},
        ScanCase{"x FROM 0123456789",
                 {"tkIdent 'x' 1:1-1:1", "tkFrom 'FROM' 1:3-1:6", "tkInteger '0123456789' 1:8-1:17",
                  "tkEof '' 1:18-1:18"}},
        ScanCase{"WHERE 0123456789ab",
                 {"tkWhere 'WHERE' 1:1-1:5", "tkInteger '0123456789' 1:7-1:16", "tkIdent 'ab' 1:17-1:18",
                  "tkEof '' 1:19-1:19"}},
        ScanCase{"a\n                    b", {"tkIdent 'a' 1:1-1:1", "tkIdent 'b' 2:21-2:21", "tkEof '' 2:22-2:22"}},
        ScanCase{"a\n                                        ", {"tkIdent 'a' 1:1-1:1", "tkEof '' 2:41-2:41"}},
        ScanCase{"a\n \t\r \n\n   \t  x + 1 and the rest",
                 {"tkIdent 'a' 1:1-1:1", "tkIdent 'x' 4:7-4:7", "tkPlus '+' 4:9-4:9", "tkInteger '1' 4:11-4:11",
                  "tkAnd 'and' 4:13-4:15", "tkIdent 'the' 4:17-4:19", "tkIdent 'rest' 4:21-4:24",
                  "tkEof '' 4:25-4:25"}},
        ScanCase{"a\n\n\n", {"tkIdent 'a' 1:1-1:1", "tkEof '' 4:1-4:1"}},
        ScanCase{"a\n        'q'", {"tkIdent 'a' 1:1-1:1", "tkString 'q' 2:9-2:11", "tkEof '' 2:12-2:12"}},
        ScanCase{"a\n          <= b",
                 {"tkIdent 'a' 1:1-1:1", "tkLe '<=' 2:11-2:12", "tkIdent 'b' 2:14-2:14", "tkEof '' 2:15-2:15"}},
        ScanCase{"a\n                  -- c\n  b",
                 {"tkIdent 'a' 1:1-1:1", "tkIdent 'b' 3:3-3:3", "tkEof '' 3:4-3:4"}},
        ScanCase{"\n                     1.5", {"tkFloat '1.5' 2:22-2:24", "tkEof '' 2:25-2:25"}},
        ScanCase{"'abcdefghijklmn' and more text",
                 {"tkString 'abcdefghijklmn' 1:1-1:16", "tkAnd 'and' 1:18-1:20", "tkIdent 'more' 1:22-1:25",
                  "tkText 'text' 1:27-1:30", "tkEof '' 1:31-1:31"}},
        ScanCase{"'abcdefghijklmno' and more text",
                 {"tkString 'abcdefghijklmno' 1:1-1:17", "tkAnd 'and' 1:19-1:21", "tkIdent 'more' 1:23-1:26",
                  "tkText 'text' 1:28-1:31", "tkEof '' 1:32-1:32"}},
        ScanCase{"'abcdefghijklmnop' and more text",
                 {"tkString 'abcdefghijklmnop' 1:1-1:18", "tkAnd 'and' 1:20-1:22", "tkIdent 'more' 1:24-1:27",
                  "tkText 'text' 1:29-1:32", "tkEof '' 1:33-1:33"}},
        ScanCase{"'abcdefghijklmn''' and more text",
                 {"tkString 'abcdefghijklmn'' 1:1-1:18", "tkAnd 'and' 1:20-1:22", "tkIdent 'more' 1:24-1:27",
                  "tkText 'text' 1:29-1:32", "tkEof '' 1:33-1:33"}},
        ScanCase{"'abcdefghijklm''x' and more text",
                 {"tkString 'abcdefghijklm'x' 1:1-1:18", "tkAnd 'and' 1:20-1:22", "tkIdent 'more' 1:24-1:27",
                  "tkText 'text' 1:29-1:32", "tkEof '' 1:33-1:33"}},
        ScanCase{"'ab\ncd' and more text here",
                 {"tkString 'ab\ncd' 1:1-2:3", "tkAnd 'and' 2:5-2:7", "tkIdent 'more' 2:9-2:12",
                  "tkText 'text' 2:14-2:17", "tkIdent 'here' 2:19-2:22", "tkEof '' 2:23-2:23"}},
        ScanCase{"\"Quoted Name\" FROM the_table t",
                 {"tkIdent 'Quoted Name' 1:1-1:13", "tkFrom 'FROM' 1:15-1:18", "tkIdent 'the_table' 1:20-1:28",
                  "tkIdent 't' 1:30-1:30", "tkEof '' 1:31-1:31"}},
        ScanCase{"'' and more text after it",
                 {"tkString '' 1:1-1:2", "tkAnd 'and' 1:4-1:6", "tkIdent 'more' 1:8-1:11", "tkText 'text' 1:13-1:16",
                  "tkIdent 'after' 1:18-1:22", "tkIdent 'it' 1:24-1:25", "tkEof '' 1:26-1:26"}},
        ScanCase{"x = 'short'",
                 {"tkIdent 'x' 1:1-1:1", "tkEq '=' 1:3-1:3", "tkString 'short' 1:5-1:11", "tkEof '' 1:12-1:12"}},
        ScanCase{"'x' || 'y' || 'z' || 'w' ||",
                 {"tkString 'x' 1:1-1:3", "tkPipePipe '||' 1:5-1:6", "tkString 'y' 1:8-1:10",
                  "tkPipePipe '||' 1:12-1:13", "tkString 'z' 1:15-1:17", "tkPipePipe '||' 1:19-1:20",
                  "tkString 'w' 1:22-1:24", "tkPipePipe '||' 1:26-1:27", "tkEof '' 1:28-1:28"}}));

TEST(SqlLexer, EofRepeatsAtTheSamePosition) {
  Lexer lexer = initLexer("a ");
  vellum::Arena arena;
  EXPECT_EQ(nextToken(lexer, &arena).kind, tkIdent);
  for (int i = 0; i < 3; ++i) {
    Token t = nextToken(lexer, &arena);
    EXPECT_EQ(t.kind, tkEof);
    EXPECT_EQ(t.text, "");
    EXPECT_EQ(t.line, 1);
    EXPECT_EQ(t.column, 3);
    EXPECT_EQ(t.endLine, 1);
    EXPECT_EQ(t.endColumn, 3);
  }
}

TEST(SqlLexer, InitialState) {
  Lexer lexer = initLexer("abc");
  EXPECT_EQ(lexer.pos, 0);
  EXPECT_EQ(lexer.line, 1);
  EXPECT_EQ(lexer.column, 1);
}

// The parser looks ahead by scanning on a copy: the copy must go on exactly
// as the original would, and scanning it must leave the original alone.
TEST(SqlLexer, CopiesScanIndependently) {
  static_assert(std::is_trivially_copyable_v<Lexer>);
  static_assert(sizeof(Lexer) <= 48, "a copy is a few integers");
  vellum::Arena arena;
  Lexer lexer = initLexer("a 'x''y' -- c\n b");
  nextToken(lexer, &arena);
  Lexer copy = lexer;
  Token ahead = nextToken(copy, nullptr);
  EXPECT_EQ(ahead.kind, tkString);
  EXPECT_EQ(nextToken(copy, nullptr).kind, tkIdent);
  EXPECT_EQ(nextToken(copy, nullptr).kind, tkEof);
  Token t = nextToken(lexer, &arena);
  EXPECT_EQ(t.kind, tkString);
  EXPECT_EQ(t.text, "x'y");
  EXPECT_EQ(t.column, ahead.column);
  EXPECT_EQ(t.endColumn, ahead.endColumn);
  Token b = nextToken(lexer, &arena);
  EXPECT_EQ(b.text, "b");
  EXPECT_EQ(b.line, 2);
  EXPECT_EQ(b.column, 2);
}

// ---- Words, numbers, quoted texts ----

struct KindsCase {
  const char* input;
  Tokens tokens;
};

class SqlLexerKinds : public ::testing::TestWithParam<KindsCase> {};

TEST_P(SqlLexerKinds, Scan) { EXPECT_EQ(kinds(GetParam().input), GetParam().tokens); }

INSTANTIATE_TEST_SUITE_P(
    Words, SqlLexerKinds,
    ::testing::Values(
        KindsCase{"SeLeCt", {"tkSelect 'SeLeCt'", "tkEof ''"}},
        KindsCase{"l2 L2", {"tkL2 'l2'", "tkL2 'L2'", "tkEof ''"}},
        KindsCase{"NUMERIC integer", {"tkDecimal 'NUMERIC'", "tkInt 'integer'", "tkEof ''"}},
        KindsCase{"INT8 float4", {"tkIdent 'INT8'", "tkIdent 'float4'", "tkEof ''"}},
        KindsCase{"_a1_ a_b", {"tkIdent '_a1_'", "tkIdent 'a_b'", "tkEof ''"}},
        // Bytes from 0x80 up end a word.
        KindsCase{"ab\xc3\xa9", {"tkIdent 'ab'", "tkIdent '\xc3'", "tkIdent '\xa9'", "tkEof ''"}}));

INSTANTIATE_TEST_SUITE_P(
    Numbers, SqlLexerKinds,
    ::testing::Values(
        KindsCase{"0 007 123456789012345678901234567890",
                  {"tkInteger '0'", "tkInteger '007'", "tkInteger '123456789012345678901234567890'", "tkEof ''"}},
        KindsCase{"1e5", {"tkInteger '1'", "tkIdent 'e5'", "tkEof ''"}},
        KindsCase{"1.", {"tkInteger '1'", "tkDot '.'", "tkEof ''"}},
        KindsCase{".5", {"tkDot '.'", "tkInteger '5'", "tkEof ''"}},
        KindsCase{"1.2.3", {"tkFloat '1.2'", "tkDot '.'", "tkInteger '3'", "tkEof ''"}},
        KindsCase{"1.x", {"tkInteger '1'", "tkDot '.'", "tkIdent 'x'", "tkEof ''"}},
        KindsCase{"12abc", {"tkInteger '12'", "tkIdent 'abc'", "tkEof ''"}},
        KindsCase{"-5 +5", {"tkMinus '-'", "tkInteger '5'", "tkPlus '+'", "tkInteger '5'", "tkEof ''"}}));

INSTANTIATE_TEST_SUITE_P(
    Quoted, SqlLexerKinds,
    ::testing::Values(
        KindsCase{"'it''s'", {"tkString 'it's'", "tkEof ''"}},
        KindsCase{"''''", {"tkString '''", "tkEof ''"}},
        KindsCase{"'a\\'b'", {"tkString 'a\\'", "tkIdent 'b'", "tkString ''", "tkEof ''"}},
        KindsCase{"'x'y'", {"tkString 'x'", "tkIdent 'y'", "tkString ''", "tkEof ''"}},
        KindsCase{"'abc", {"tkString 'abc'", "tkEof ''"}},
        KindsCase{"'", {"tkString ''", "tkEof ''"}},
        KindsCase{"'a''", {"tkString 'a''", "tkEof ''"}},
        KindsCase{"\"Select\"", {"tkIdent 'Select'", "tkEof ''"}},
        KindsCase{"\"a\"\"b\"", {"tkIdent 'a\"b'", "tkEof ''"}},
        KindsCase{"\"\"", {"tkIdent ''", "tkEof ''"}},
        KindsCase{"\"unclosed", {"tkIdent 'unclosed'", "tkEof ''"}},
        KindsCase{"\"it's\" 'say \"hi\"'", {"tkIdent 'it's'", "tkString 'say \"hi\"'", "tkEof ''"}},
        KindsCase{"'--' '/*'", {"tkString '--'", "tkString '/*'", "tkEof ''"}}));

INSTANTIATE_TEST_SUITE_P(
    Comments, SqlLexerKinds,
    ::testing::Values(
        KindsCase{"1--2", {"tkInteger '1'", "tkEof ''"}},
        KindsCase{"1 - -2", {"tkInteger '1'", "tkMinus '-'", "tkMinus '-'", "tkInteger '2'", "tkEof ''"}},
        KindsCase{"/* a /* b */ c */", {"tkIdent 'c'", "tkStar '*'", "tkSlash '/'", "tkEof ''"}},
        KindsCase{"/*/ x */ y", {"tkIdent 'y'", "tkEof ''"}},
        KindsCase{"a/b", {"tkIdent 'a'", "tkSlash '/'", "tkIdent 'b'", "tkEof ''"}},
        KindsCase{"a -- x\n-- y\nb", {"tkIdent 'a'", "tkIdent 'b'", "tkEof ''"}},
        KindsCase{"/**/x", {"tkIdent 'x'", "tkEof ''"}},
        KindsCase{"/* never closed * /", {"tkEof ''"}}));

// ---- Operators and punctuation ----

INSTANTIATE_TEST_SUITE_P(
    Operators, SqlLexerKinds,
    ::testing::Values(
        KindsCase{"* , . : ; ( ) [ ] = + / % & ^ ~ ?",
                  {"tkStar '*'", "tkComma ','", "tkDot '.'", "tkColon ':'", "tkSemicolon ';'",
                   "tkLParen '('", "tkRParen ')'", "tkLBracket '['", "tkRBracket ']'", "tkEq '='",
                   "tkPlus '+'", "tkSlash '/'", "tkPercent '%'", "tkBitAnd '&'", "tkBitXor '^'",
                   "tkBitNot '~'", "tkQuestion '?'", "tkEof ''"}},
        KindsCase{"!= <> < <= > >= - || | << >>",
                  {"tkNeq '!='", "tkNeq '<>'", "tkLt '<'", "tkLe '<='", "tkGt '>'", "tkGe '>='",
                   "tkMinus '-'", "tkPipePipe '||'", "tkBitOr '|'", "tkShiftLeft '<<'",
                   "tkShiftRight '>>'", "tkEof ''"}},
        KindsCase{"col->'k'", {"tkIdent 'col'", "tkArrow '->'", "tkString 'k'", "tkEof ''"}},
        KindsCase{"col->>'k'", {"tkIdent 'col'", "tkArrowText '->>'", "tkString 'k'", "tkEof ''"}},
        KindsCase{"col#>'{a}'", {"tkIdent 'col'", "tkPathArrow '#>'", "tkString '{a}'", "tkEof ''"}},
        KindsCase{"col#>>'{a}'", {"tkIdent 'col'", "tkPathArrowText '#>>'", "tkString '{a}'", "tkEof ''"}},
        // Greedy, without backtracking.
        KindsCase{">>=", {"tkShiftRight '>>'", "tkEq '='", "tkEof ''"}},
        KindsCase{"<<=", {"tkShiftLeft '<<'", "tkEq '='", "tkEof ''"}},
        KindsCase{"<=>", {"tkLe '<='", "tkGt '>'", "tkEof ''"}},
        KindsCase{"|||", {"tkPipePipe '||'", "tkBitOr '|'", "tkEof ''"}},
        KindsCase{"->>>", {"tkArrowText '->>'", "tkGt '>'", "tkEof ''"}},
        KindsCase{"#>>>", {"tkPathArrowText '#>>'", "tkGt '>'", "tkEof ''"}},
        KindsCase{"<<<", {"tkShiftLeft '<<'", "tkLt '<'", "tkEof ''"}},
        KindsCase{">>>", {"tkShiftRight '>>'", "tkGt '>'", "tkEof ''"}},
        KindsCase{"<>=", {"tkNeq '<>'", "tkEq '='", "tkEof ''"}},
        KindsCase{"!==", {"tkNeq '!='", "tkEq '='", "tkEof ''"}},
        KindsCase{"-->", {"tkEof ''"}},
        KindsCase{"- >", {"tkMinus '-'", "tkGt '>'", "tkEof ''"}},
        // No double-colon or double-equals tokens.
        KindsCase{"x::int", {"tkIdent 'x'", "tkColon ':'", "tkColon ':'", "tkInt 'int'", "tkEof ''"}},
        KindsCase{"a==b", {"tkIdent 'a'", "tkEq '='", "tkEq '='", "tkIdent 'b'", "tkEof ''"}},
        KindsCase{"a..b", {"tkIdent 'a'", "tkDot '.'", "tkDot '.'", "tkIdent 'b'", "tkEof ''"}}));

// ---- Bytes that start no token ----

INSTANTIATE_TEST_SUITE_P(
    OtherBytes, SqlLexerKinds,
    ::testing::Values(
        KindsCase{"a ! b", {"tkIdent 'a'", "tkIdent '!'", "tkIdent 'b'", "tkEof ''"}},
        KindsCase{"#", {"tkIdent '#'", "tkEof ''"}},
        KindsCase{"# >", {"tkIdent '#'", "tkGt '>'", "tkEof ''"}},
        KindsCase{"!", {"tkIdent '!'", "tkEof ''"}},
        KindsCase{"$1", {"tkIdent '$'", "tkInteger '1'", "tkEof ''"}},
        KindsCase{"@\\`{}", {"tkIdent '@'", "tkIdent '\\'", "tkIdent '`'", "tkIdent '{'", "tkIdent '}'", "tkEof ''"}},
        // Vertical tab, form feed and other control bytes are not white space.
        KindsCase{"\v\f\x01\x7f", {"tkIdent '\v'", "tkIdent '\f'", "tkIdent '\x01'", "tkIdent '\x7f'", "tkEof ''"}},
        KindsCase{"\xff\x80", {"tkIdent '\xff'", "tkIdent '\x80'", "tkEof ''"}}));

}  // namespace
