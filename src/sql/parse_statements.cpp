// The top of the SQL parser: the statement list, the dispatcher, the span
// back-fill, and the small statements (EXPLAIN, PRAGMA, SHOW, DESCRIBE and
// the transaction statements).
#include <string>

#include "sql/parser.h"
#include "support/small_stack.h"

namespace vellum::sql {
namespace {

// Statements that EXPLAIN refuses to explain.
bool isUnexplainable(SqlNodeKind kind) {
  switch (kind) {
    case nkExplain: case nkBegin: case nkSetTransaction: case nkCommit: case nkRollback:
    case nkSavepoint: case nkRollbackToSavepoint: case nkReleaseSavepoint:
      return true;
    default:
      return false;
  }
}

// EXPLAIN [ANALYZE] [( option {, option} )] where option is ANALYZE or
// FORMAT {JSON|TEXT}: one level of a run of EXPLAIN prefixes, up to the
// explained statement.
SqlNode* parseExplainPrefix(Parser& p) {
  SqlNode* explain = newNode(p.arena, nkExplain, p.expect(tkExplain).span());
  explain->mutableExtra(p.arena).explainFormat = "Text";
  if (p.isWord("analyze")) {
    p.advance();
    explain->analyze = true;
  }
  if (!p.accept(tkLParen)) return explain;
  bool formatGiven = false;
  do {
    if (!p.at(tkIdent)) p.error("expected ANALYZE or FORMAT explain option");
    if (p.isWord("analyze")) {
      if (explain->analyze) p.error("duplicate ANALYZE explain option");
      p.advance();
      explain->analyze = true;
    } else if (p.isWord("format")) {
      if (formatGiven) p.error("duplicate FORMAT explain option");
      p.advance();
      formatGiven = true;
      if (p.at(tkJson)) {
        explain->mutableExtra(p.arena).explainFormat = "Json";
      } else if (!p.at(tkText)) {
        p.error("expected JSON or TEXT explain format");
      }
      p.advance();
    } else {
      p.error("expected ANALYZE or FORMAT explain option");
    }
  } while (p.accept(tkComma));
  p.expect(tkRParen);
  return explain;
}

// The fixed-name pragmas of SHOW and DESCRIBE: the name takes the keyword's
// span, and an optional table name comes as a string.
SqlNode* newNamedPragma(Parser& p, const Token& keyword, std::string_view name) {
  SqlNode* pragma = newNode(p.arena, nkPragma, keyword.span());
  pragma->children().push_back(p.arena, newIdentifier(p.arena, name, keyword.span()));
  return pragma;
}

void addTableArgument(Parser& p, SqlNode* pragma) {
  Token table = p.expectIdent("table name");
  pragma->children().push_back(p.arena, newStringLit(p.arena, table.text, table.span()));
  Parser::extendTo(pragma, table.span());
}

SqlNode* newNamedNode(Parser& p, SqlNodeKind kind, const Token& keyword, const Token& name) {
  SqlNode* node = newNode(p.arena, kind, Parser::spanFrom(keyword, name));
  node->children().push_back(p.arena, newIdentifier(p.arena, name.text, name.span()));
  return node;
}

}  // namespace

SqlNode* StatementReader::next() {
  if (failed()) return nullptr;
  while (parser_.accept(tkSemicolon)) {
  }
  if (parser_.at(tkEof)) return nullptr;
  parser_.paramCount = 0;
  // A syntax error jumps back here with its message in the parser. The
  // frames it leaves behind hold only trivially destructible objects, so
  // the jump skips nothing that needed running. The escape is cleared on
  // every way out, an exception included.
  struct Clear {
    Parser& parser;
    ~Clear() { parser.escape = nullptr; }
  } clear{parser_};
  std::jmp_buf escape;
  if (setjmp(escape) != 0) return nullptr;  // failure() holds the message
  parser_.escape = &escape;
  SqlNode* statement = parser_.parseStatement();
  if (backfill_ == Backfill::Yes) backfillSpans(statement, statement);
  return statement;
}

void StatementReader::releaseStatements() {
  // The current and previous tokens outlive the statements; a quoted text
  // whose doubled quotes were collapsed lives in the arena, after the mark,
  // so the memory is kept whenever one of them holds such a text.
  std::string_view input = parser_.lexer.input;
  auto inArena = [&](const Token& t) {
    return !t.text.empty() && (t.text.data() < input.data() || t.text.data() >= input.data() + input.size());
  };
  if (inArena(parser_.current) || inArena(parser_.previous)) return;
  parser_.arena.rewind(start_);
}

NodeList parseStatements(std::string_view text, Arena& arena) {
  StatementReader reader(text, arena);
  NodeList statements;
  while (SqlNode* statement = reader.next()) statements.push_back(arena, statement);
  if (reader.failed()) throw ParseError(std::string(reader.failure()));
  return statements;
}

// Picks the statement grammar by the first token; one `;` after the statement
// is consumed.
SqlNode* Parser::parseStatement() {
  SqlNode* statement;
  switch (current.kind) {
    case tkSelect: case tkValues: statement = parseQueryExpression(); break;
    case tkWith: statement = parseWithQuery(); break;
    case tkExplain: statement = parseExplain(); break;
    case tkInsert: statement = parseInsert(); break;
    case tkUpdate: statement = parseUpdate(); break;
    case tkDelete: statement = parseDelete(); break;
    case tkCreate: statement = parseCreate(); break;
    case tkDrop: statement = parseDrop(); break;
    case tkAlter: statement = parseAlter(); break;
    case tkPragma: statement = parsePragma(); break;
    case tkDesc: statement = parseDescribe(); break;
    case tkBegin: case tkStart: statement = parseBegin(); break;
    case tkSet: statement = parseSetTransaction(); break;
    case tkCommit: statement = parseCommit(); break;
    case tkRollback: statement = parseRollback(); break;
    case tkSavepoint: statement = parseSavepoint(); break;
    case tkRelease: statement = parseRelease(); break;
    default:
      if (isWord("merge")) {
        statement = parseMerge();
      } else if (isWord("copy")) {
        statement = parseCopy();
      } else if (isWord("show")) {
        statement = parseShow();
      } else if (isWord("describe") || isWord("desc")) {
        statement = parseDescribe();
      } else if (isWord("truncate")) {
        statement = parseTruncate();
      } else {
        error("expected SQL statement (SHOW, DESCRIBE, EXPLAIN, WITH, SELECT, INSERT, UPDATE, DELETE, "
              "MERGE, COPY, CREATE, DROP, ALTER, TRUNCATE, PRAGMA, BEGIN, START TRANSACTION, SET "
              "TRANSACTION, COMMIT, ROLLBACK, SAVEPOINT, RELEASE)");
      }
      break;
  }
  accept(tkSemicolon);
  return statement;
}

// explain := EXPLAIN [ANALYZE] [(options)] statement
// A run of EXPLAIN prefixes is read in a loop rather than by recursion, then
// unwound innermost first with each level's check and the `;` that the
// dispatcher consumes after each inner EXPLAIN, so errors land where the
// nested reading would put them.
SqlNode* Parser::parseExplain() {
  NodeList levels;
  do {
    levels.push_back(arena, parseExplainPrefix(*this));
  } while (at(tkExplain));
  SqlNode* explained = parseStatement();
  for (std::size_t i = levels.size(); i-- > 0;) {
    if (i + 1 != levels.size()) accept(tkSemicolon);
    if (isUnexplainable(explained->kind)) error("EXPLAIN requires a query, DML, DDL, or PRAGMA statement");
    SqlNode* explain = levels[i];
    explain->children().push_back(arena, explained);
    explain->span.endLine = explained->span.endLine;
    explain->span.endColumn = explained->span.endColumn;
    explained = explain;
  }
  return explained;
}

// PRAGMA name [= {integer|string}]
SqlNode* Parser::parsePragma() {
  SqlNode* pragma = newNode(arena, nkPragma, expect(tkPragma).span());
  Token name = expectIdent("pragma name");
  pragma->children().push_back(arena, newIdentifier(arena, name.text, name.span()));
  if (accept(tkEq)) {
    if (at(tkInteger)) {
      pragma->children().push_back(arena, newIntLit(arena, convertInteger(current.text), current.span()));
    } else if (at(tkString)) {
      pragma->children().push_back(arena, newStringLit(arena, current.text, current.span()));
    } else {
      error("expected integer or string pragma value");
    }
    advance();
  }
  return pragma;
}

// SHOW TABLES | SHOW INDEXES [FROM name]
SqlNode* Parser::parseShow() {
  Token show = advance();
  if (isWord("tables")) {
    advance();
    return newNamedPragma(*this, show, "show_tables");
  }
  if (!isWord("indexes")) error("expected TABLES or INDEXES after SHOW");
  advance();
  SqlNode* pragma = newNamedPragma(*this, show, "show_indexes");
  if (accept(tkFrom)) addTableArgument(*this, pragma);
  return pragma;
}

// {DESCRIBE|DESC} [TABLE] name; a single name, no qualifier.
SqlNode* Parser::parseDescribe() {
  Token keyword = advance();
  accept(tkTable);
  SqlNode* pragma = newNamedPragma(*this, keyword, "describe");
  addTableArgument(*this, pragma);
  return pragma;
}

// BEGIN [TRANSACTION] [characteristics] | START TRANSACTION [characteristics]
SqlNode* Parser::parseBegin() {
  Token keyword = advance();
  SqlNode* begin = newNode(arena, nkBegin, keyword.span());
  if (keyword.kind == tkStart) {
    expect(tkTransaction);
  } else {
    accept(tkTransaction);
  }
  parseTransactionCharacteristics(begin, false);
  Parser::extendTo(begin, previous.span());
  return begin;
}

// SET TRANSACTION characteristics
SqlNode* Parser::parseSetTransaction() {
  SqlNode* set = newNode(arena, nkSetTransaction, expect(tkSet).span());
  expect(tkTransaction);
  parseTransactionCharacteristics(set, true);
  Parser::extendTo(set, previous.span());
  return set;
}

// characteristic {, characteristic} where characteristic is
// ISOLATION LEVEL level or READ {ONLY|WRITE}, each kind at most once. Items
// need a comma between them: without one the list ends.
void Parser::parseTransactionCharacteristics(SqlNode* node, bool atLeastOne) {
  bool any = false;
  bool afterComma = false;
  for (;;) {
    if (isWord("isolation")) {
      if (!node->isolationLevel().empty()) error("duplicate transaction isolation level");
      advance();
      expectWord("level");
      if (!at(tkIdent)) error("expected transaction isolation level");
      if (isWord("repeatable")) {
        advance();
        expectWord("read");
        node->isolationLevel() = "RepeatableRead";
      } else if (isWord("read")) {
        advance();
        if (isWord("uncommitted")) {
          node->isolationLevel() = "ReadUncommitted";
        } else if (isWord("committed")) {
          node->isolationLevel() = "ReadCommitted";
        } else {
          error("expected COMMITTED or UNCOMMITTED after READ");
        }
        advance();
      } else if (isWord("serializable")) {
        advance();
        node->isolationLevel() = "Serializable";
      } else {
        error("expected transaction isolation level");
      }
    } else if (isWord("read")) {
      if (!node->accessMode().empty()) error("duplicate transaction access mode");
      advance();
      if (at(tkOnly)) {
        node->accessMode() = "ReadOnly";
      } else if (isWord("write")) {
        node->accessMode() = "ReadWrite";
      } else {
        error("expected ONLY or WRITE after READ");
      }
      advance();
    } else if (isWord("deferred") || isWord("immediate") || isWord("exclusive")) {
      error("unsupported transaction characteristic");
    } else {
      if (afterComma) error("expected transaction characteristic after comma");
      break;
    }
    any = true;
    if (!accept(tkComma)) break;
    afterComma = true;
  }
  if (atLeastOne && !any) error("expected transaction characteristic");
}

// COMMIT [TRANSACTION]
SqlNode* Parser::parseCommit() {
  SqlNode* commit = newNode(arena, nkCommit, expect(tkCommit).span());
  if (at(tkTransaction)) Parser::extendTo(commit, advance().span());
  return commit;
}

// ROLLBACK [TRANSACTION] [TO [SAVEPOINT] name]
SqlNode* Parser::parseRollback() {
  Token keyword = expect(tkRollback);
  accept(tkTransaction);
  if (accept(tkTo)) {
    accept(tkSavepoint);
    return newNamedNode(*this, nkRollbackToSavepoint, keyword, expectIdent("savepoint name"));
  }
  return newNode(arena, nkRollback, spanFrom(keyword, previous));
}

// SAVEPOINT name
SqlNode* Parser::parseSavepoint() {
  Token keyword = expect(tkSavepoint);
  return newNamedNode(*this, nkSavepoint, keyword, expectIdent("savepoint name"));
}

// RELEASE [SAVEPOINT] name
SqlNode* Parser::parseRelease() {
  Token keyword = expect(tkRelease);
  accept(tkSavepoint);
  return newNamedNode(*this, nkReleaseSavepoint, keyword, expectIdent("savepoint name"));
}

namespace {

// The kinds that never hold a node-valued part, as one table look-up.
struct KindSet {
  bool of[256];
};
constexpr KindSet kNoParts = [] {
  KindSet t{};
  for (SqlNodeKind kind : {nkIdentifier, nkStringLit, nkIntervalLit, nkIntLit, nkFloatLit, nkBoolLit, nkParameter,
                           nkWindowFrameBound, nkBegin, nkSetTransaction}) {
    t.of[kind] = true;
  }
  return t;
}();

inline bool hasNoParts(SqlNodeKind kind) { return kNoParts.of[kind]; }

}  // namespace

// Pre-order walk with an explicit stack, so that left-deep chains of any
// length cost no call depth. Every node-valued part is visited except
// extraExpr, whose nodes keep the spans they were built with. When a node is
// expanded its part-less parts are filled at once; the others are visited in
// order, each subtree fully before the next. The stack holds one run per
// group of parts still to visit (a children list is walked in place), and a
// node's first part to visit is taken at once instead of going through the
// stack.
namespace {

struct PartRun {
  SqlNode* const* next;  // the next part to visit; the run's last part has parts
  SqlNode* const* end;
  const SqlNode* parent;
};
using PartRuns = SmallStack<PartRun, 64>;

// A single part: filled when part-less, else pushed as a run of one.
inline void pushPart(PartRuns& runs, SqlNode* const& slot, const SqlNode* parent) {
  SqlNode* part = slot;
  if (part == nullptr) return;
  if (hasNoParts(part->kind)) {
    fillSpan(part, parent->span);
  } else {
    runs.push_back({&slot, &slot + 1, parent});
  }
}

// The parts with parts of a list, from `first` to `last` (both null when
// there are none); the part-less ones are filled on the way.
struct PartsWithParts {
  SqlNode* const* first = nullptr;
  SqlNode* const* last = nullptr;
};

// Two loops: the part-less parts up to the first with parts, then the rest.
[[gnu::always_inline]] inline PartsWithParts fillList(const NodeList& list, const SqlNode* parent) {
  PartsWithParts found;
  SqlNode* const* it = list.begin();
  SqlNode* const* const end = list.end();
  for (; it != end; ++it) {
    SqlNode* part = *it;
    if (part == nullptr) continue;
    if (!hasNoParts(part->kind)) break;
    fillSpan(part, parent->span);
  }
  if (it == end) return found;
  found.first = found.last = it;
  for (++it; it != end; ++it) {
    SqlNode* part = *it;
    if (part == nullptr) continue;
    if (hasNoParts(part->kind)) {
      fillSpan(part, parent->span);
    } else {
      found.last = it;
    }
  }
  return found;
}

// A list of parts: fills the part-less ones and pushes the run from the first
// to the last of the others, if any.
inline void pushList(PartRuns& runs, const NodeList& list, const SqlNode* parent) {
  const PartsWithParts found = fillList(list, parent);
  if (found.first != nullptr) runs.push_back({found.first, found.last + 1, parent});
}

// Expands a node whose parts are not a children list: fills its part-less
// parts and pushes the others in reverse order. Binary operators, the most
// common of these, return their first part to visit instead of pushing it.
SqlNode* expandFixedParts(PartRuns& runs, SqlNode* n) {
  switch (tree_detail::kBranches.of[n->kind]) {
    case tree_detail::Branch::Binary: {
      SqlNode* left = n->binLeft();
      SqlNode* right = n->binRight();
      bool leftParts = left != nullptr && !hasNoParts(left->kind);
      bool rightParts = right != nullptr && !hasNoParts(right->kind);
      if (left != nullptr && !leftParts) fillSpan(left, n->span);
      if (right != nullptr && !rightParts) fillSpan(right, n->span);
      if (leftParts) {
        if (rightParts) runs.push_back({&n->binRight(), &n->binRight() + 1, n});
        return left;
      }
      return rightParts ? right : nullptr;
    }
    case tree_detail::Branch::Unary:
      pushPart(runs, n->unOperand(), n);
      break;
    case tree_detail::Branch::Case:
      pushPart(runs, n->caseElse(), n);
      pushList(runs, n->caseBranches(), n);
      pushPart(runs, n->caseOperand(), n);
      break;
    case tree_detail::Branch::CaseWhen:
      pushPart(runs, n->caseThen(), n);
      pushPart(runs, n->caseWhen(), n);
      break;
    case tree_detail::Branch::Frame:
      pushPart(runs, n->frameEnd(), n);
      pushPart(runs, n->frameStart(), n);
      break;
    case tree_detail::Branch::Alias:
      pushPart(runs, n->aliasExpr(), n);
      break;
    case tree_detail::Branch::Join:
      pushPart(runs, n->joinCond(), n);
      pushPart(runs, n->joinRight(), n);
      pushPart(runs, n->joinLeft(), n);
      break;
    case tree_detail::Branch::SetOp:
      pushPart(runs, n->setRight(), n);
      break;
    case tree_detail::Branch::Column:
      pushList(runs, n->colConstraints(), n);
      pushPart(runs, n->colType(), n);
      break;
    default:  // the part-less kinds
      break;
  }
  return nullptr;
}

}  // namespace

void fillFixedParts(SqlNode* node) {
  const SqlSpan& span = node->span;
  switch (tree_detail::kBranches.of[node->kind]) {
    case tree_detail::Branch::Unary:
      fillSpan(node->unOperand(), span);
      return;
    case tree_detail::Branch::Case:
      fillSpan(node->caseOperand(), span);
      for (SqlNode* part : node->caseBranches()) fillSpan(part, span);
      fillSpan(node->caseElse(), span);
      return;
    case tree_detail::Branch::CaseWhen:
      fillSpan(node->caseWhen(), span);
      fillSpan(node->caseThen(), span);
      return;
    case tree_detail::Branch::Frame:
      fillSpan(node->frameStart(), span);
      fillSpan(node->frameEnd(), span);
      return;
    case tree_detail::Branch::Alias:
      fillSpan(node->aliasExpr(), span);
      return;
    case tree_detail::Branch::Join:
      fillSpan(node->joinLeft(), span);
      fillSpan(node->joinRight(), span);
      fillSpan(node->joinCond(), span);
      return;
    case tree_detail::Branch::SetOp:
      fillSpan(node->setRight(), span);
      return;
    case tree_detail::Branch::Column:
      fillSpan(node->colType(), span);
      for (SqlNode* part : node->colConstraints()) fillSpan(part, span);
      return;
    default:  // the part-less kinds (lists and binary operators are fillParts' own)
      return;
  }
}

void backfillSpans(SqlNode* node, SqlNode* parent) {
  if (node == nullptr) return;
  PartRuns runs;
  SqlNode* n = node;
  const SqlNode* from = parent != nullptr ? parent : node;
  for (;;) {
    if (n->span.isEmpty()) n->span = from->span;
    SqlNode* next;
    if (n->hasChildren()) {
      // The common case: the first child with parts is visited next, the
      // others up to the last with parts wait as one run.
      const PartsWithParts found = fillList(n->children(), n);
      if (found.first != nullptr) {
        if (found.first != found.last) runs.push_back({found.first + 1, found.last + 1, n});
        from = n;
        n = *found.first;
        continue;
      }
    } else if ((next = expandFixedParts(runs, n)) != nullptr) {
      from = n;
      n = next;
      continue;
    }
    if (runs.empty()) return;
    PartRun& run = runs.back();
    do {
      next = *run.next++;
    } while (next == nullptr || hasNoParts(next->kind));
    from = run.parent;
    if (run.next == run.end) runs.pop_back();
    n = next;
  }
}

}  // namespace vellum::sql
