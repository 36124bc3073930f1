// The top of the SQL parser: the statement list, the dispatcher, the span
// back-fill, and the small statements (EXPLAIN, PRAGMA, SHOW, DESCRIBE and
// the transaction statements).
#include <string>
#include <vector>

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
  while (parser_.accept(tkSemicolon)) {
  }
  if (parser_.at(tkEof)) return nullptr;
  parser_.paramCount = 0;
  SqlNode* statement = parser_.parseStatement();
  backfillSpans(statement, statement);
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
  std::vector<SqlNode*> levels;
  do {
    levels.push_back(parseExplainPrefix(*this));
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
// extraExpr, whose nodes keep the spans they were built with. Parts are
// pushed last to first so that they are visited in order.
void backfillSpans(SqlNode* node, SqlNode* parent) {
  if (node == nullptr) return;
  struct Pending {
    SqlNode* node;
    const SqlNode* parent;
  };
  SmallStack<Pending, 64> pending;
  pending.push_back({node, parent != nullptr ? parent : node});
  while (!pending.empty()) {
    Pending top = pending.back();
    pending.pop_back();
    SqlNode* n = top.node;
    if (n->span.isEmpty()) n->span = top.parent->span;
    // Nodes without node-valued parts are filled at once instead of waiting
    // on the stack.
    auto push = [&](SqlNode* part) {
      if (part == nullptr) return;
      if (hasNoParts(part->kind)) {
        if (part->span.isEmpty()) part->span = n->span;
      } else {
        pending.push_back({part, n});
      }
    };
    auto pushList = [&](const NodeList& list) {
      for (std::size_t i = list.size(); i-- > 0;) push(list.data()[i]);
    };
    if (hasNoParts(n->kind)) continue;
    switch (n->kind) {
      case nkBinaryOp:
        push(n->binRight());
        push(n->binLeft());
        break;
      case nkUnaryOp:
        push(n->unOperand());
        break;
      case nkCase:
        push(n->caseElse());
        pushList(n->caseBranches());
        push(n->caseOperand());
        break;
      case nkCaseWhen:
        push(n->caseThen());
        push(n->caseWhen());
        break;
      case nkWindowFrame:
        push(n->frameEnd());
        push(n->frameStart());
        break;
      case nkAlias:
        push(n->aliasExpr());
        break;
      case nkFromJoin: case nkJoin:
        push(n->joinCond());
        push(n->joinRight());
        push(n->joinLeft());
        break;
      case nkSetOperation:
        push(n->setRight());
        break;
      case nkColumnDef:
        pushList(n->colConstraints());
        push(n->colType());
        break;
      default:
        pushList(n->children());
        break;
    }
  }
}

}  // namespace vellum::sql
