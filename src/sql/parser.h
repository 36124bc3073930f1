// The SQL parser: hand-written recursive descent with one current token;
// further look-ahead scans on a copy of the lexer.
//
// One Parser class, its grammar split over files by area:
//   parser.cpp            core operations (advance, expect, error, nesting)
//   parse_expr.cpp        precedence levels, predicates, JSON arrows, subscripts
//   parse_primary.cpp     primaries, function calls, CAST, CASE, literals
//   parse_types.cpp       data types
//   parse_query.cpp       SELECT, VALUES, WITH, set operations, ORDER BY, LIMIT
//   parse_from.cpp        FROM items and joins
//   parse_grouping.cpp    GROUP BY elements, window definitions and frames
//   parse_dml.cpp         INSERT, UPDATE, DELETE, MERGE, COPY, RETURNING, name lists
//   parse_ddl.cpp         CREATE TABLE/INDEX/VIEW/SEQUENCE, DROP, TRUNCATE, column definitions
//   parse_alter.cpp       ALTER TABLE, ALTER SEQUENCE, CREATE CONTINUOUS AGGREGATE
//   parse_statements.cpp  statement list, dispatch, span back-fill, utility statements
//
// Every parse function returns a node allocated in the call's Arena, with
// `current` moved past what it consumed, or fails through Parser::error:
// a ParseError, or a jump back to the statement reader (Parser::escape).
#pragma once

#include <csetjmp>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "sql/lexer.h"
#include "sql/tree.h"
#include "support/arena.h"

namespace vellum::sql {

inline constexpr std::int64_t kMaxNestingDepth = 128;

// Token classes for the name rules, one table look-up each.
namespace parser_detail {
enum : std::uint8_t { kName = 1, kWideName = 2, kImplicitAlias = 4, kWindowBaseName = 8 };
struct NameClasses {
  std::uint8_t of[256];
};
constexpr NameClasses kNameClasses = [] {
  NameClasses t{};
  for (TokenKind kind : {tkIdent, tkBegin, tkStart, tkTransaction, tkCommit, tkRollback, tkSavepoint, tkRelease,
                         tkFetch, tkNext, tkTies, tkOnly, tkRow}) {
    t.of[kind] |= kName | kWideName;
    if (kind != tkFetch) t.of[kind] |= kImplicitAlias;
  }
  for (TokenKind kind : {tkFirst, tkLast, tkTime}) t.of[kind] |= kWideName;
  for (TokenKind kind : {tkIdent, tkFetch, tkNext, tkTies, tkOnly, tkRow}) t.of[kind] |= kWindowBaseName;
  return t;
}();
}  // namespace parser_detail

// *Name* (expectIdent): tkIdent and the non-reserved keywords BEGIN, START,
// TRANSACTION, COMMIT, ROLLBACK, SAVEPOINT, RELEASE, FETCH, NEXT, TIES,
// ONLY, ROW.
inline bool isNameToken(TokenKind kind) { return parser_detail::kNameClasses.of[kind] & parser_detail::kName; }
// *Wide name* (expectName): a Name, or FIRST, LAST, TIME.
inline bool isWideNameToken(TokenKind kind) {
  return parser_detail::kNameClasses.of[kind] & parser_detail::kWideName;
}
// *Implicit alias*: a Name other than FETCH.
inline bool isImplicitAliasToken(TokenKind kind) {
  return parser_detail::kNameClasses.of[kind] & parser_detail::kImplicitAlias;
}
// *Window base name*: tkIdent, FETCH, NEXT, TIES, ONLY, ROW.
inline bool isWindowBaseNameToken(TokenKind kind) {
  return parser_detail::kNameClasses.of[kind] & parser_detail::kWindowBaseName;
}

class Parser {
 public:
  // `padding`: zero bytes that may be read after the text (see Lexer).
  Parser(std::string_view text, Arena& arena, std::int32_t padding = 0);

  Arena& arena;
  Lexer lexer;
  Token current;
  Token previous;
  std::int64_t depth = 0;
  // Levels of the constructs that nest without raising `depth`: the bounds
  // of a subscript or slice, and a WITH query that is a CTE body. Left
  // uncounted they would recurse as deep as the text is long, so they have
  // a limit of their own, the same as `depth`'s; counting them apart leaves
  // every text's standing against that nesting limit as it is.
  std::int64_t uncountedDepth = 0;
  std::int64_t paramCount = 0;
  // Where a syntax error goes. When set, error() leaves its message in
  // `failure` (in the arena) and jumps here instead of raising ParseError:
  // a rejected text then costs no unwinding through the frames of the
  // descent, which is why those frames hold nothing that needs destroying
  // (see `nested`). When null, the error is raised.
  std::jmp_buf* escape = nullptr;
  mutable std::string_view failure;

  // ---- Core operations (parser.cpp) ----
  Token advance() {
    // The token is copied once from `current`, to `previous` and to the
    // result, before the scan overwrites it.
    Token consumed = current;
    previous = consumed;
    scanToken(lexer, current);
    return consumed;
  }
  TokenKind peekKind() const;
  TokenKind peekKind2() const;
  bool at(TokenKind kind) const { return current.kind == kind; }
  // Consumes the current token when it has the kind.
  bool accept(TokenKind kind) {
    if (current.kind != kind) return false;
    step();
    return true;
  }
  // True when `current` is a tkIdent equal to `word`, ignoring ASCII case.
  // The kind and length are compared inline, where the word is a constant.
  bool isWord(std::string_view word) const {
    return current.kind == tkIdent && equalsWord(current.text, word);
  }
  Token expect(TokenKind kind);
  Token expectWord(std::string_view word);
  Token expectIdent(std::string_view what);
  Token expectName(std::string_view what);
  // A syntax error at the current token; the message is the pieces joined,
  // so that no caller builds a string of its own.
  [[noreturn]] void error(std::string_view message, std::string_view more = {}, std::string_view last = {}) const;
  // error("expected " + what), and the same with the kind's name: out of
  // line, so that the rules that check a token keep no frame for it.
  [[noreturn, gnu::cold, gnu::noinline]] void errorExpected(std::string_view what) const;
  [[noreturn, gnu::cold, gnu::noinline]] void errorExpected(TokenKind kind) const;
  // One level more on a nesting count (`depth` or `uncountedDepth`), which
  // fails with the nesting limit's error (no position) when it is already
  // at the limit; and one level less.
  void enterNesting(std::int64_t& level);
  static void leaveNesting(std::int64_t& level) { --level; }

  // The `word.size()` bytes at `text` equal `word`, ignoring ASCII case.
  static bool sameWord(const char* text, std::string_view word) {
    for (std::size_t i = 0; i < word.size(); ++i) {
      char a = text[i];
      char b = word[i];
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + ('a' - 'A'));
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + ('a' - 'A'));
      if (a != b) return false;
    }
    return true;
  }
  // `text` equals `word`, ignoring ASCII case; the lengths are compared
  // inline, so a word of another length costs no call.
  static bool equalsWord(std::string_view text, std::string_view word) {
    return text.size() == word.size() && sameWord(text.data(), word);
  }

  // Literal conversions. A tkInteger above the signed 64-bit range raises
  // ValueError "Parsed integer outside of valid range"; a tkFloat too large
  // for a double is infinity.
  static std::int64_t convertInteger(std::string_view digits);
  static double convertFloat(std::string_view text);
  // Unsigned 64-bit conversion; false when the value is out of range.
  static bool convertUnsigned(std::string_view digits, std::uint64_t& value);

 private:
  // Ends the parse with the message in `failure`: jumps to `escape` or
  // raises ParseError.
  [[noreturn]] void fail() const;

 public:

  // Helpers shared by the grammar files. skip and step are `expect` and
  // `advance` that keep no token in the caller's frame, so the frames of
  // rules that recurse through nesting stay small.
  [[gnu::noinline]] void skip(TokenKind kind);
  [[gnu::noinline]] void step();
  void addChild(SqlNode* parent, SqlNode* child) { parent->children().push_back(arena, child); }
  // Appends `expression {, expression}` to the node's children.
  void parseExpressionList(SqlNode* node);
  // Moves the end of the node's span to the end of `last`.
  static void extendTo(SqlNode* node, const SqlSpan& last) {
    node->span.endLine = last.endLine;
    node->span.endColumn = last.endColumn;
  }

  // Span helpers.
  static SqlSpan spanFrom(const SqlSpan& start, const SqlSpan& end) {
    return {start.startLine, start.startColumn, end.endLine, end.endColumn};
  }
  static SqlSpan spanFrom(const Token& start, const Token& end) {
    return {start.line, start.column, end.endLine, end.endColumn};
  }

  // ---- Expressions (parse_expr.cpp) ----
  SqlNode* parseExpression();
  // `first`, when given, is the primary already read at the start of the
  // rule.
  SqlNode* parseConcat(SqlNode* first = nullptr);
  SqlNode* parsePredicate(SqlNode* first = nullptr);
  SqlNode* parseJsonAccess(SqlNode* first = nullptr);
  SqlNode* parsePostfix(SqlNode* first = nullptr);
  SqlNode* parseParenSubquery();

  // ---- Primaries (parse_primary.cpp) ----
  SqlNode* parsePrimary();
  SqlNode* parseFunctionCall(const Token& name);
  SqlNode* parseCast(const Token& keyword, SqlNodeKind kind);
  SqlNode* parseVectorLiteral();
  SqlNode* parseOver();

  // ---- Data types (parse_types.cpp) ----
  SqlNode* parseDataType();

  // ---- Queries (parse_query.cpp) ----
  SqlNode* parseQueryExpression();
  SqlNode* parseWithQuery();
  SqlNode* parseQueryTerm();
  SqlNode* parseSelectCore();
  SqlNode* parseValues();
  void parseSelectList(SqlNode* list);
  SqlNode* parseSelectItem();
  SqlNode* parseOrderItem();
  void parseLimitClauses(SqlNode* body);

  // ---- FROM (parse_from.cpp) ----
  SqlNode* parseFromClause();
  SqlNode* parseFromItem();
  SqlNode* parseTableAlias(SqlNode* item);
  void parseUsingColumns(TextList& columns);
  SqlNode* parseTableFunction(const Token& name, bool lateral);

  // ---- Grouping and windows (parse_grouping.cpp) ----
  SqlNode* parseGroupingElement();
  SqlNode* parseGroupingSetElement();
  SqlNode* parseRollupOrCube(SqlNodeKind kind);
  SqlNode* parseWindowSpec();
  SqlNode* parseWindowFrame();
  SqlNode* parseFrameBound();

  // ---- DML (parse_dml.cpp) ----
  SqlNode* parseInsert();
  SqlNode* parseUpdate();
  SqlNode* parseDelete();
  SqlNode* parseMerge();
  SqlNode* parseCopy();
  SqlNode* parseOnConflict();
  SqlNode* parseAssignments();
  SqlNode* parseReturning();
  // ( name {, name} ): the texts of the names; a missing name fails with
  // "expected " + role.
  TextList parseNameList(std::string_view role);

  // ---- DDL (parse_ddl.cpp) ----
  SqlNode* parseCreate();
  SqlNode* parseCreateTable(const Token& createToken, bool temporary);
  SqlNode* parseCreateIndex(const Token& createToken);
  SqlNode* parseCreateView(const Token& createToken);
  SqlNode* parseCreateSequence(const Token& createToken);
  SqlNode* parseColumnDef();
  SqlNode* parseTableConstraint();
  void parseReferences(SqlNode* constraint);
  std::string_view parseReferentialAction();
  SqlNode* parseWithOptions();
  TextList parseSequenceOptions();
  std::string_view parseSequenceInteger();
  SqlNode* parseDrop();
  SqlNode* parseTruncate();
  // The optional IF NOT EXISTS / IF EXISTS: when the current token is IF,
  // reads the phrase and adds its marker identifier (empty span) to `node`.
  void parseIfNotExists(SqlNode* node);
  void parseIfExists(SqlNode* node);

  // ---- ALTER and continuous aggregates (parse_alter.cpp) ----
  SqlNode* parseAlter();
  SqlNode* parseAlterTableAction();
  SqlNode* parseAlterColumnOperation();
  SqlNode* parseCreateContinuousAggregate(const Token& createToken);
  SqlNode* parseContinuousAggregateOptions();

  // ---- Statements (parse_statements.cpp) ----
  SqlNode* parseStatement();
  SqlNode* parseExplain();
  SqlNode* parsePragma();
  SqlNode* parseShow();
  SqlNode* parseDescribe();
  SqlNode* parseBegin();
  SqlNode* parseSetTransaction();
  void parseTransactionCharacteristics(SqlNode* node, bool atLeastOne);
  SqlNode* parseCommit();
  SqlNode* parseRollback();
  SqlNode* parseSavepoint();
  SqlNode* parseRelease();
};

// Runs `body` one nesting level deeper and returns what it returns; the
// level is counted on `Level` (see Parser::uncountedDepth for the other
// count). The level is given back when the body returns; a syntax error
// abandons the whole parse, so nothing has to be undone on the way out and
// the frame needs no destructor (see Parser::escape).
template <std::int64_t Parser::*Level = &Parser::depth, class Body>
[[gnu::always_inline]] inline auto nested(Parser& parser, Body&& body) -> decltype(body()) {
  parser.enterNesting(parser.*Level);
  if constexpr (std::is_void_v<decltype(body())>) {
    body();
    Parser::leaveNesting(parser.*Level);
  } else {
    auto result = body();
    Parser::leaveNesting(parser.*Level);
    return result;
  }
}

// The statements of a text one at a time, in source order, each with its
// spans back-filled: a caller can use a statement's tree while it is fresh
// in the cache, before the next one is read. A caller that fills the spans
// itself as it goes down the tree (fillParts on each node before reading its
// parts) asks for trees without the back-fill.
enum class Backfill : bool { No, Yes };

class StatementReader {
 public:
  StatementReader(std::string_view text, Arena& arena, std::int32_t padding = 0, Backfill backfill = Backfill::Yes)
      : parser_(text, arena, padding), start_(arena.mark()), backfill_(backfill) {}
  // The next statement root, or null after the last one and after a
  // syntax error, whose message failure() then holds. Other errors raise.
  SqlNode* next();
  bool failed() const { return !parser_.failure.empty(); }
  std::string_view failure() const { return parser_.failure; }
  // Gives the memory of the statements read so far back to the arena for
  // the statements still to come: none of their trees may be used after
  // this. A text of many statements then parses in the memory of its
  // largest one.
  void releaseStatements();
  std::string_view text() const { return parser_.lexer.input; }

 private:
  Parser parser_;
  Arena::Mark start_;
  Backfill backfill_;
};

// The whole text as a list of statement roots, in source order. Raises
// ParseError on a syntax error.
NodeList parseStatements(std::string_view text, Arena& arena);

// Gives every node with the empty span the span of its parent (the root is
// its own parent). Iterative: safe on trees of any depth.
void backfillSpans(SqlNode* node, SqlNode* parent);

// Gives `part`, unless it is null or has a span of its own, `span`.
[[gnu::always_inline]] inline void fillSpan(SqlNode* part, const SqlSpan& span) {
  if (part != nullptr && part->span.isEmpty()) part->span = span;
}

// fillParts for the kinds whose parts are neither a children list nor the
// two operands of a binary operator.
void fillFixedParts(SqlNode* node);

// One level of the back-fill: gives the direct parts of `node` that have the
// empty span the node's span (extraExpr is not a part). A walk that calls it
// on every node before reading that node's parts, parents first, leaves the
// spans it reads as backfillSpans would. Lists and binary operators, the
// most common, are filled in place.
[[gnu::always_inline]] inline void fillParts(SqlNode* node) {
  if (node->kind == nkBinaryOp) {
    fillSpan(node->binLeft(), node->span);
    fillSpan(node->binRight(), node->span);
  } else if (node->hasChildren()) {
    for (SqlNode* part : node->children()) fillSpan(part, node->span);
  } else {
    fillFixedParts(node);
  }
}

}  // namespace vellum::sql
