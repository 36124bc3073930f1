// ALTER TABLE (one action per statement), ALTER SEQUENCE and CREATE
// CONTINUOUS AGGREGATE.
//
// The continuous aggregate grammar checks only what the text shows: one
// plain source table, no grouping sets, the two options in their order. The
// rules on the rest of its query are checked on the tree before the document
// is written.

#include "sql/parser.h"

namespace vellum::sql {
namespace {

constexpr SqlSpan kEmptySpan{};

constexpr std::string_view kRetention = "retention";
constexpr std::string_view kRefreshInterval = "refresh_interval";

SqlNode* nameNode(Parser& p, std::string_view role) {
  Token name = p.expectIdent(role);
  return newIdentifier(p.arena, name.text, name.span());
}

// An optional word such as `column`.
void acceptWord(Parser& p, std::string_view word) {
  if (p.isWord(word)) p.step();
}

// The current token's text is `word` (lower case), ignoring ASCII case.
bool currentIs(const Parser& p, std::string_view word) {
  return Parser::equalsWord(p.current.text, word);
}

// One source: the first FROM clause of the root body holds a single plain
// or aliased table name.
bool hasOneSource(const SqlNode* query) {
  for (const SqlNode* child : query->children()) {
    if (child == nullptr || child->kind != nkFromClause) continue;
    const NodeList& items = child->children();
    if (items.size() != 1 || items[0] == nullptr) return false;
    const SqlNode* item = items[0];
    if (item->kind == nkAlias) item = item->aliasExpr();
    return item != nullptr && item->kind == nkIdentifier;
  }
  return false;
}

bool hasGroupingSets(const SqlNode* query) {
  for (const SqlNode* child : query->children()) {
    if (child == nullptr || child->kind != nkGroupByClause) continue;
    for (const SqlNode* element : child->children()) {
      if (element == nullptr) continue;
      if (element->kind == nkRollup || element->kind == nkCube || element->kind == nkGroupingSets) return true;
    }
  }
  return false;
}

// The word after a comma that follows both options.
[[noreturn]] void failExtraOption(Parser& p) {
  if (p.at(tkRParen)) p.error("unexpected trailing comma in continuous aggregate options");
  if (!p.at(tkIdent)) p.error("expected continuous aggregate option");
  if (currentIs(p, kRetention) || currentIs(p, kRefreshInterval)) {
    p.error("duplicate continuous aggregate option ", p.current.text);
  }
  p.error("unknown continuous aggregate option ", p.current.text);
}

// key = 'duration', where the key must be option `index` (0 retention,
// 1 refresh_interval); at the key.
SqlNode* parseContinuousAggregateOption(Parser& p, int index) {
  std::string_view expected = index == 0 ? kRetention : kRefreshInterval;
  std::string_view other = index == 0 ? kRefreshInterval : kRetention;
  if (p.at(tkRParen)) p.error("missing continuous aggregate option ", expected);
  if (!p.at(tkIdent)) p.error("expected continuous aggregate option ", expected);
  if (!currentIs(p, expected)) {
    if (!currentIs(p, other)) p.error("unknown continuous aggregate option ", p.current.text);
    if (index == 1) p.error("duplicate continuous aggregate option ", p.current.text);
    p.error("expected continuous aggregate option ", expected);
  }
  Token key = p.advance();
  p.skip(tkEq);
  if (!p.at(tkString)) {
    p.error("continuous aggregate option ", expected, " requires a string duration");
  }
  if (p.current.text.empty()) {
    p.error("continuous aggregate option ", expected, " requires a non-empty duration string");
  }
  Token value = p.advance();
  SqlNode* option = newNode(p.arena, nkIndexOption, Parser::spanFrom(key, value));
  p.addChild(option, newIdentifier(p.arena, key.text, key.span()));
  p.addChild(option, newStringLit(p.arena, value.text, value.span()));
  return option;
}

}  // namespace

// alter := ALTER SEQUENCE [IF EXISTS] name sequence_options
//        | ALTER TABLE [IF EXISTS] name action
// At ALTER.
SqlNode* Parser::parseAlter() {
  Token alter = expect(tkAlter);
  if (isWord("sequence")) {
    step();
    SqlNode* sequence = newNode(arena, nkAlterSequence, alter.span());
    parseIfExists(sequence);
    addChild(sequence, nameNode(*this, "sequence name"));
    TextList options = parseSequenceOptions();
    if (!options.empty()) sequence->mutableExtra(arena).sequenceOptions = options;
    return sequence;
  }
  skip(tkTable);
  SqlNode* table = newNode(arena, nkAlterTable, alter.span());
  parseIfExists(table);
  addChild(table, nameNode(*this, "table name"));
  addChild(table, parseAlterTableAction());
  return table;
}

// action := ADD [COLUMN] [IF NOT EXISTS] column_def
//         | DROP [COLUMN] [IF EXISTS] name
//         | RENAME COLUMN name TO name | RENAME TO name
//         | ALTER [COLUMN] name column_operation
// After the table name.
SqlNode* Parser::parseAlterTableAction() {
  if (isWord("add")) {
    step();
    acceptWord(*this, "column");
    SqlNode* add = newNode(arena, nkAlterAddColumn, kEmptySpan);
    parseIfNotExists(add);
    addChild(add, parseColumnDef());
    return add;
  }
  if (accept(tkDrop)) {
    acceptWord(*this, "column");
    SqlNode* drop = newNode(arena, nkAlterDropColumn, kEmptySpan);
    parseIfExists(drop);
    addChild(drop, nameNode(*this, "column name"));
    return drop;
  }
  if (isWord("rename")) {
    step();
    if (isWord("column")) {
      step();
      SqlNode* rename = newNode(arena, nkAlterRenameColumn, kEmptySpan);
      addChild(rename, nameNode(*this, "column name"));
      skip(tkTo);
      addChild(rename, nameNode(*this, "new column name"));
      return rename;
    }
    skip(tkTo);
    SqlNode* rename = newNode(arena, nkAlterRenameTable, kEmptySpan);
    addChild(rename, nameNode(*this, "new table name"));
    return rename;
  }
  if (accept(tkAlter)) {
    acceptWord(*this, "column");
    SqlNode* column = newNode(arena, nkAlterColumn, kEmptySpan);
    addChild(column, nameNode(*this, "column name"));
    addChild(column, parseAlterColumnOperation());
    return column;
  }
  error("expected ADD, DROP, RENAME, or ALTER action");
}

// column_operation := TYPE data_type | SET DATA TYPE data_type
//   | SET DEFAULT expr | SET NOT NULL | DROP DEFAULT | DROP NOT NULL
// After ALTER [COLUMN] name.
SqlNode* Parser::parseAlterColumnOperation() {
  if (isWord("type")) {
    step();
    SqlNode* setType = newNode(arena, nkAlterSetDataType, kEmptySpan);
    addChild(setType, parseDataType());
    return setType;
  }
  if (accept(tkSet)) {
    if (isWord("data")) {
      step();
      expectWord("type");
      SqlNode* setType = newNode(arena, nkAlterSetDataType, kEmptySpan);
      addChild(setType, parseDataType());
      return setType;
    }
    if (accept(tkDefault)) {
      SqlNode* setDefault = newNode(arena, nkAlterSetDefault, kEmptySpan);
      addChild(setDefault, parseExpression());
      return setDefault;
    }
    if (accept(tkNot)) {
      skip(tkNull);
      return newNode(arena, nkAlterSetNotNull, kEmptySpan);
    }
    error("expected DATA TYPE, DEFAULT, or NOT NULL after SET");
  }
  if (accept(tkDrop)) {
    if (accept(tkDefault)) return newNode(arena, nkAlterDropDefault, kEmptySpan);
    if (accept(tkNot)) {
      skip(tkNull);
      return newNode(arena, nkAlterDropNotNull, kEmptySpan);
    }
    error("expected DEFAULT or NOT NULL after DROP");
  }
  error("expected TYPE, SET, or DROP after ALTER COLUMN");
}

// CONTINUOUS AGGREGATE name AS select WITH ( retention = 'd',
//   refresh_interval = 'd' ), then `;` or the end of the text.
// After CREATE, at the word `continuous`.
SqlNode* Parser::parseCreateContinuousAggregate(const Token& createToken) {
  expectWord("CONTINUOUS");
  expectWord("AGGREGATE");
  SqlNode* name = nameNode(*this, "continuous aggregate name");
  skip(tkAs);
  if (!at(tkSelect)) error("expected SELECT query after AS");
  return nested(*this, [&]() -> SqlNode* {
    SqlNode* query = parseQueryExpression();
    extendTo(query, previous.span());
    if (!hasOneSource(query)) error("continuous aggregate query requires one source measurement");
    if (hasGroupingSets(query)) error("continuous aggregate queries do not support GROUPING SETS, ROLLUP, or CUBE");
    if (!at(tkWith)) error("expected WITH options after continuous aggregate SELECT");
    SqlNode* options = parseContinuousAggregateOptions();
    if (!at(tkSemicolon) && !at(tkEof)) error("unexpected token after continuous aggregate options");
    SqlNode* aggregate = newNode(arena, nkCreateContinuousAggregate, spanFrom(createToken.span(), options->span));
    addChild(aggregate, name);
    addChild(aggregate, query);
    addChild(aggregate, options);
    return aggregate;
  });
}

// WITH ( retention = 'duration' , refresh_interval = 'duration' )
// After the continuous aggregate's query, at WITH.
SqlNode* Parser::parseContinuousAggregateOptions() {
  SqlNode* options = newNode(arena, nkWithOptions, expect(tkWith).span());
  skip(tkLParen);
  addChild(options, parseContinuousAggregateOption(*this, 0));
  if (!accept(tkComma)) error("missing continuous aggregate option refresh_interval");
  addChild(options, parseContinuousAggregateOption(*this, 1));
  if (accept(tkComma)) failExtraOption(*this);
  extendTo(options, expect(tkRParen).span());
  return options;
}

}  // namespace vellum::sql
