// The data-changing statements: INSERT (with ON CONFLICT), UPDATE, DELETE,
// MERGE and COPY, the RETURNING clause they share, and parenthesised name
// lists (also used by the DDL grammar).
//
// MERGE, COPY, CONFLICT, DO, MATCHED, NOTHING, RETURNING, STDIN and STDOUT
// are no keywords: they are identifiers compared without regard to ASCII
// case. Column lists, VALUES rows, SET lists, their assignment operations
// and WHERE clauses are built with the empty span and take their parent's
// span in the back-fill; the AND condition of a MERGE branch sits in
// extraExpr, which the back-fill leaves alone.
#include <cstring>
#include <string>

#include "sql/parser.h"

namespace vellum::sql {
namespace {

constexpr SqlSpan kEmptySpan{};

// True when the token after the current one is the identifier `word`.
bool nextIsWord(const Parser& p, std::string_view word) {
  Lexer copy = p.lexer;
  Token next = nextToken(copy, nullptr);
  return next.kind == tkIdent && Parser::equalsWord(next.text, word);
}

// The text with its ASCII letters upper-cased, in the arena; the text itself
// when it has no lower-case letter.
std::string_view upperCased(Arena& arena, std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && !(text[i] >= 'a' && text[i] <= 'z')) ++i;
  if (i == text.size()) return text;
  char* out = arena.allocateArray<char>(text.size());
  for (std::size_t j = 0; j < text.size(); ++j) {
    char c = text[j];
    out[j] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return {out, text.size()};
}

// "KEY=VALUE" in the arena.
std::string_view joinOption(Arena& arena, std::string_view key, std::string_view value) {
  std::size_t size = key.size() + 1 + value.size();
  char* out = arena.allocateArray<char>(size);
  if (!key.empty()) std::memcpy(out, key.data(), key.size());
  out[key.size()] = '=';
  if (!value.empty()) std::memcpy(out + key.size() + 1, value.data(), value.size());
  return {out, size};
}

// A single-name table: an identifier with its token's span.
SqlNode* parseTableName(Parser& p, std::string_view role) {
  Token name = p.expectIdent(role);
  return newIdentifier(p.arena, name.text, name.span());
}

// WHERE expression, WHERE current: the clause with the empty span.
SqlNode* parseWhere(Parser& p) {
  p.step();
  SqlNode* where = newNode(p.arena, nkWhereClause, kEmptySpan);
  p.addChild(where, p.parseExpression());
  return where;
}

// ( expression {, expression} ): one VALUES row with the empty span.
SqlNode* parseRow(Parser& p) {
  p.skip(tkLParen);
  SqlNode* row = newNode(p.arena, nkExprList, kEmptySpan);
  p.parseExpressionList(row);
  p.skip(tkRParen);
  return row;
}

// The RETURNING clause when the word `returning` is current.
void parseOptionalReturning(Parser& p, SqlNode* statement) {
  if (p.isWord("returning")) p.addChild(statement, p.parseReturning());
}

// insert_columns := ( name {, name} ), at `(`: each name an identifier with
// the empty span.
SqlNode* parseInsertColumns(Parser& p) {
  p.skip(tkLParen);
  SqlNode* columns = newNode(p.arena, nkColumnList, kEmptySpan);
  do {
    p.addChild(columns, newIdentifier(p.arena, p.expectIdent("column name").text, kEmptySpan));
  } while (p.accept(tkComma));
  p.skip(tkRParen);
  return columns;
}

// The source of an INSERT, after the table and its column list: a query
// (SELECT or WITH, one nesting level) or VALUES rows added to the insert.
void parseInsertSource(Parser& p, SqlNode* insert) {
  if (p.at(tkSelect) || p.at(tkWith)) {
    SqlNode* query = nested(p, [&] { return p.at(tkSelect) ? p.parseQueryExpression() : p.parseWithQuery(); });
    p.addChild(insert, query);
    return;
  }
  p.skip(tkValues);
  do {
    p.addChild(insert, parseRow(p));
  } while (p.accept(tkComma));
}

// merge_when := WHEN [NOT] MATCHED [AND condition] THEN action, WHEN current.
SqlNode* parseMergeWhen(Parser& p) {
  SqlNode* when = newNode(p.arena, nkMergeWhen, p.advance().span());
  SqlNodeExtra& extra = when->mutableExtra(p.arena);
  if (p.accept(tkNot)) {
    p.expectWord("MATCHED");
    extra.subKind = "NOT MATCHED";
  } else {
    p.expectWord("MATCHED");
    extra.subKind = "MATCHED";
  }
  if (p.accept(tkAnd)) extra.extraExpr = p.parseExpression();
  p.skip(tkThen);
  if (p.accept(tkUpdate)) {
    extra.detailText = "UPDATE";
    p.skip(tkSet);
    p.addChild(when, p.parseAssignments());
  } else if (p.accept(tkDelete)) {
    extra.detailText = "DELETE";
  } else if (p.accept(tkInsert)) {
    extra.detailText = "INSERT";
    if (p.at(tkLParen)) {
      SqlNode* columns = newNode(p.arena, nkColumnList, kEmptySpan);
      for (std::string_view name : p.parseNameList("MERGE INSERT column")) {
        p.addChild(columns, newIdentifier(p.arena, name, kEmptySpan));
      }
      p.addChild(when, columns);
    }
    p.skip(tkValues);
    p.addChild(when, parseRow(p));
  } else if (p.isWord("do")) {
    p.step();
    p.expectWord("NOTHING");
    extra.detailText = "NOTHING";
  } else {
    p.error("expected UPDATE, DELETE, INSERT, or DO NOTHING in MERGE");
  }
  return when;
}

// copy_options := [WITH] [( name [value] {, name [value]} )]
// After the COPY target. Keys and values are upper-cased; a key without a
// value is TRUE; the last FORMAT gives the format.
void parseCopyOptions(Parser& p, SqlNode* copy) {
  p.accept(tkWith);
  if (!p.accept(tkLParen)) return;
  SqlNodeExtra& extra = copy->mutableExtra(p.arena);
  for (;;) {
    std::string_view key = upperCased(p.arena, p.expectIdent("COPY option").text);
    std::string_view value = "TRUE";
    if (!p.at(tkComma) && !p.at(tkRParen)) value = upperCased(p.arena, p.advance().text);
    if (key == "FORMAT") extra.copyFormat = value;
    extra.copyOptions.push_back(p.arena, joinOption(p.arena, key, value));
    if (!p.accept(tkComma)) break;
  }
  p.skip(tkRParen);
}

}  // namespace

// name_list := ( name {, name} )
// At `(`.
TextList Parser::parseNameList(std::string_view role) {
  TextList names;
  skip(tkLParen);
  do {
    names.push_back(arena, expectIdent(role).text);
  } while (accept(tkComma));
  skip(tkRParen);
  return names;
}

// returning := RETURNING select_item {, select_item}
// At the word `returning`.
SqlNode* Parser::parseReturning() {
  SqlNode* returning = newNode(arena, nkReturningClause, expectWord("RETURNING").span());
  parseSelectList(returning);
  return returning;
}

// assignments := name = expression {, name = expression}
// At the first column name, after SET. Single columns only.
SqlNode* Parser::parseAssignments() {
  SqlNode* list = newNode(arena, nkExprList, kEmptySpan);
  do {
    Token column = expectIdent("column name");
    SqlNode* target = newIdentifier(arena, column.text, column.span());
    skip(tkEq);
    SqlNode* value = parseExpression();
    addChild(list, newBinary(arena, opEq, target, value, kEmptySpan));
  } while (accept(tkComma));
  return list;
}

// insert := INSERT INTO name [( columns )] {query | VALUES rows}
//           [ON CONFLICT ...] [RETURNING items]
// At INSERT.
SqlNode* Parser::parseInsert() {
  SqlNode* insert = newNode(arena, nkInsert, expect(tkInsert).span());
  skip(tkInto);
  addChild(insert, parseTableName(*this, "table name"));
  if (at(tkLParen)) addChild(insert, parseInsertColumns(*this));
  parseInsertSource(*this, insert);
  if (at(tkOn) && nextIsWord(*this, "conflict")) addChild(insert, parseOnConflict());
  parseOptionalReturning(*this, insert);
  return insert;
}

// on_conflict := ON CONFLICT [( names ) | ON CONSTRAINT name]
//                DO {NOTHING | UPDATE SET assignments [WHERE expression]}
// At ON, with the word `conflict` after it.
SqlNode* Parser::parseOnConflict() {
  SqlNode* conflict = newNode(arena, nkOnConflict, expect(tkOn).span());
  expectWord("CONFLICT");
  SqlNodeExtra& extra = conflict->mutableExtra(arena);
  if (at(tkLParen)) {
    extra.columnNames = parseNameList("conflict target column");
  } else if (accept(tkOn)) {
    skip(tkConstraint);
    extra.constraintName = expectIdent("conflict constraint name").text;
  }
  expectWord("DO");
  if (isWord("nothing")) {
    step();
    extra.detailText = "NOTHING";
  } else if (accept(tkUpdate)) {
    extra.detailText = "UPDATE";
    skip(tkSet);
    addChild(conflict, parseAssignments());
    if (at(tkWhere)) addChild(conflict, parseWhere(*this));
  } else {
    error("expected NOTHING or UPDATE after ON CONFLICT DO");
  }
  return conflict;
}

// update := UPDATE name SET assignments [FROM from_clause] [WHERE expression]
//           [RETURNING items]
// At UPDATE.
SqlNode* Parser::parseUpdate() {
  SqlNode* update = newNode(arena, nkUpdate, expect(tkUpdate).span());
  addChild(update, parseTableName(*this, "table name"));
  skip(tkSet);
  addChild(update, parseAssignments());
  if (accept(tkFrom)) addChild(update, parseFromClause());
  if (at(tkWhere)) addChild(update, parseWhere(*this));
  parseOptionalReturning(*this, update);
  return update;
}

// delete := DELETE FROM name [USING from_clause] [WHERE expression]
//           [RETURNING items]
// At DELETE.
SqlNode* Parser::parseDelete() {
  SqlSpan keyword = expect(tkDelete).span();
  skip(tkFrom);
  SqlNode* del = newNode(arena, nkDelete, keyword);
  addChild(del, parseTableName(*this, "table name"));
  if (accept(tkUsing)) addChild(del, parseFromClause());
  if (at(tkWhere)) addChild(del, parseWhere(*this));
  parseOptionalReturning(*this, del);
  return del;
}

// merge := MERGE INTO from_item USING from_item ON expression merge_when
//          {merge_when} [RETURNING items]
// At the word `merge`.
SqlNode* Parser::parseMerge() {
  SqlNode* merge = newNode(arena, nkMerge, expectWord("MERGE").span());
  skip(tkInto);
  addChild(merge, parseFromItem());
  skip(tkUsing);
  addChild(merge, parseFromItem());
  skip(tkOn);
  addChild(merge, parseExpression());
  while (at(tkWhen)) addChild(merge, parseMergeWhen(*this));
  if (merge->children().size() == 3) error("MERGE requires at least one WHEN clause");
  parseOptionalReturning(*this, merge);
  return merge;
}

// copy := COPY {( query ) | name [( names )]} {FROM | TO}
//         {'path' | STDIN | STDOUT} [WITH] [( options )]
// At the word `copy`.
SqlNode* Parser::parseCopy() {
  SqlNode* copy = newNode(arena, nkCopy, expectWord("COPY").span());
  SqlNodeExtra& extra = copy->mutableExtra(arena);
  if (accept(tkLParen)) {
    SqlNode* query;
    if (at(tkSelect) || at(tkValues)) {
      query = parseQueryExpression();
    } else if (at(tkWith)) {
      query = parseWithQuery();
    } else {
      error("expected SELECT, VALUES, or WITH query");
    }
    addChild(copy, query);
    skip(tkRParen);
  } else {
    addChild(copy, parseTableName(*this, "COPY table name"));
    if (at(tkLParen)) extra.columnNames = parseNameList("COPY column");
  }
  if (accept(tkFrom)) {
    extra.copyDirection = "FROM";
  } else if (accept(tkTo)) {
    extra.copyDirection = "TO";
  } else {
    error("expected FROM or TO in COPY");
  }
  if (at(tkString)) {
    extra.copyTarget = "FILE";
    extra.detailText = advance().text;
  } else if (isWord("stdin")) {
    step();
    extra.copyTarget = "STDIN";
  } else if (isWord("stdout")) {
    step();
    extra.copyTarget = "STDOUT";
  } else {
    error("expected file path, STDIN, or STDOUT in COPY");
  }
  parseCopyOptions(*this, copy);
  return copy;
}

}  // namespace vellum::sql
