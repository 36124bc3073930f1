// The schema statements: CREATE TABLE, CREATE INDEX, CREATE VIEW, CREATE
// SEQUENCE, DROP and TRUNCATE, with column definitions, constraints,
// references, sequence options and WITH option lists.
//
// Constraints are nkConstraint nodes whose form ("NOT NULL", "FOREIGN KEY",
// ...) is both their subKind and the text of their first child, an
// identifier; a DEFAULT's expression is the second child, every other part
// lives in the node's side record. Sequence options stay texts ("START=-5",
// "NO CYCLE"): they are converted only when written out.
#include <initializer_list>
#include <string>

#include "sql/parser.h"

namespace vellum::sql {
namespace {

// An nkConstraint of the given form, spanning its first keyword.
SqlNode* newConstraint(Parser& p, const SqlSpan& keyword, std::string_view form) {
  SqlNode* constraint = newNode(p.arena, nkConstraint, keyword);
  constraint->mutableExtra(p.arena).subKind = form;
  p.addChild(constraint, newIdentifier(p.arena, form, keyword));
  return constraint;
}

SqlNode* newName(Parser& p, const Token& name) { return newIdentifier(p.arena, name.text, name.span()); }

// A keyword flag child: the phrase as an identifier, without a position.
SqlNode* newFlag(Arena& arena, std::string_view phrase) {
  SqlNode* flag = newIdentifier(arena, phrase, SqlSpan{});
  flag->mutableExtra(arena).keywordFlag = true;
  return flag;
}

// GENERATED {ALWAYS | BY DEFAULT} AS IDENTITY [( sequence_options )]
// At the word `generated`.
SqlNode* parseIdentity(Parser& p) {
  SqlSpan keyword = p.advance().span();
  std::string_view generation;
  if (p.isWord("always")) {
    p.step();
    generation = "ALWAYS";
  } else if (p.accept(tkBy)) {
    p.skip(tkDefault);
    generation = "BY DEFAULT";
  } else {
    p.error("expected ALWAYS or BY DEFAULT after GENERATED");
  }
  p.skip(tkAs);
  p.expectWord("IDENTITY");
  SqlNode* constraint = newConstraint(p, keyword, "IDENTITY");
  SqlNodeExtra& extra = constraint->mutableExtra(p.arena);
  extra.detailText = generation;
  if (p.accept(tkLParen)) {
    extra.sequenceOptions = p.parseSequenceOptions();
    p.skip(tkRParen);
  }
  return constraint;
}

// column_constraint := NOT NULL | PRIMARY KEY | UNIQUE | CHECK ( expr )
//                    | DEFAULT expr | REFERENCES references | identity
// At the constraint's first token; null (nothing consumed) when the current
// token starts no constraint.
SqlNode* parseColumnConstraint(Parser& p) {
  switch (p.current.kind) {
    case tkNot: {
      SqlSpan keyword = p.advance().span();
      p.skip(tkNull);
      return newConstraint(p, keyword, "NOT NULL");
    }
    case tkPrimary: {
      SqlSpan keyword = p.advance().span();
      p.skip(tkKey);
      return newConstraint(p, keyword, "PRIMARY KEY");
    }
    case tkUnique:
      return newConstraint(p, p.advance().span(), "UNIQUE");
    case tkCheck: {
      SqlNode* constraint = newConstraint(p, p.advance().span(), "CHECK");
      p.skip(tkLParen);
      constraint->mutableExtra(p.arena).extraExpr = p.parseExpression();
      p.skip(tkRParen);
      return constraint;
    }
    case tkDefault: {
      SqlNode* constraint = newConstraint(p, p.advance().span(), "DEFAULT");
      p.addChild(constraint, p.parseExpression());
      return constraint;
    }
    case tkReferences: {
      SqlNode* constraint = newConstraint(p, p.advance().span(), "REFERENCES");
      p.parseReferences(constraint);
      return constraint;
    }
    default:
      return p.isWord("generated") ? parseIdentity(p) : nullptr;
  }
}

// The value token of a WITH option: any word, string or unsigned number,
// and the keywords that name index settings.
bool isOptionValueToken(TokenKind kind) {
  switch (kind) {
    case tkIdent: case tkString: case tkInteger: case tkFloat: case tkInner: case tkText:
    case tkBoolean: case tkBool: case tkHnsw: case tkBtree: case tkCosine: case tkL2:
      return true;
    default:
      return false;
  }
}

}  // namespace

// create := CREATE {TABLE | TEMP[ORARY] TABLE | INDEX | VIEW | SEQUENCE} ...
// At CREATE.
SqlNode* Parser::parseCreate() {
  Token create = expect(tkCreate);
  if (at(tkTable)) return parseCreateTable(create, false);
  if (isWord("temp") || isWord("temporary")) {
    step();
    return parseCreateTable(create, true);
  }
  if (at(tkIndex)) return parseCreateIndex(create);
  if (isWord("view")) return parseCreateView(create);
  if (isWord("sequence")) return parseCreateSequence(create);
  if (isWord("continuous")) return parseCreateContinuousAggregate(create);
  error("expected TABLE, VIEW, INDEX, SEQUENCE, or CONTINUOUS AGGREGATE after CREATE");
}

// TABLE [IF NOT EXISTS] name ( column_def {, table_element} ) [WITH (options)]
// After CREATE [TEMP|TEMPORARY], at TABLE.
SqlNode* Parser::parseCreateTable(const Token& createToken, bool temporary) {
  skip(tkTable);
  SqlNode* table = newNode(arena, nkCreateTable, createToken.span());
  if (temporary) addChild(table, newFlag(arena, "TEMPORARY"));
  parseIfNotExists(table);
  addChild(table, newName(*this, expectIdent("table name")));
  skip(tkLParen);
  addChild(table, parseColumnDef());
  while (accept(tkComma)) {
    switch (current.kind) {
      case tkPrimary: case tkUnique: case tkForeign: case tkCheck: case tkConstraint:
        addChild(table, parseTableConstraint());
        break;
      default:
        addChild(table, parseColumnDef());
        break;
    }
  }
  skip(tkRParen);
  if (at(tkWith)) addChild(table, parseWithOptions());
  return table;
}

// column_def := name data_type {[CONSTRAINT name] column_constraint}
// At the column name.
SqlNode* Parser::parseColumnDef() {
  Token name = expectIdent("column name");
  SqlNode* type = parseDataType();
  SqlNode* column = newNode(arena, nkColumnDef, name.span());
  column->colName() = name.text;
  column->colType() = type;
  for (;;) {
    std::string_view constraintName;
    bool named = accept(tkConstraint);
    if (named) constraintName = expectIdent("constraint name").text;
    SqlNode* constraint = parseColumnConstraint(*this);
    if (constraint == nullptr) {
      if (named) error("expected constraint after CONSTRAINT name");
      break;
    }
    if (named) constraint->mutableExtra(arena).constraintName = constraintName;
    column->colConstraints().push_back(arena, constraint);
  }
  return column;
}

// table_constraint := [CONSTRAINT name] {PRIMARY KEY (cols) | UNIQUE (cols)
//                   | FOREIGN KEY (cols) REFERENCES references | CHECK ( expr )}
// At CONSTRAINT, PRIMARY, UNIQUE, FOREIGN or CHECK.
SqlNode* Parser::parseTableConstraint() {
  std::string_view name;
  if (accept(tkConstraint)) {
    name = expectIdent("constraint name").text;
    if (!at(tkPrimary) && !at(tkUnique) && !at(tkForeign) && !at(tkCheck)) {
      error("expected PRIMARY KEY, UNIQUE, FOREIGN KEY, or CHECK constraint");
    }
  }
  Token keyword = advance();
  SqlNode* constraint;
  switch (keyword.kind) {
    case tkPrimary:
      skip(tkKey);
      constraint = newConstraint(*this, keyword.span(), "PRIMARY KEY");
      constraint->mutableExtra(arena).columnNames = parseNameList("constraint column");
      break;
    case tkUnique:
      constraint = newConstraint(*this, keyword.span(), "UNIQUE");
      constraint->mutableExtra(arena).columnNames = parseNameList("constraint column");
      break;
    case tkForeign:
      skip(tkKey);
      constraint = newConstraint(*this, keyword.span(), "FOREIGN KEY");
      constraint->mutableExtra(arena).columnNames = parseNameList("foreign key column");
      skip(tkReferences);
      parseReferences(constraint);
      break;
    default:  // tkCheck
      constraint = newConstraint(*this, keyword.span(), "CHECK");
      skip(tkLParen);
      constraint->mutableExtra(arena).extraExpr = parseExpression();
      skip(tkRParen);
      break;
  }
  if (!name.empty()) constraint->mutableExtra(arena).constraintName = name;
  return constraint;
}

// references := table [(cols)] {ON {DELETE|UPDATE} action | DEFERRABLE
//               | INITIALLY {DEFERRED|IMMEDIATE}}
// After REFERENCES.
void Parser::parseReferences(SqlNode* constraint) {
  SqlNodeExtra& extra = constraint->mutableExtra(arena);
  extra.refTable = expectIdent("referenced table").text;
  if (at(tkLParen)) extra.refColumns = parseNameList("referenced column");
  for (;;) {
    if (accept(tkOn)) {
      if (accept(tkDelete)) {
        extra.onDelete = parseReferentialAction();
      } else if (accept(tkUpdate)) {
        extra.onUpdate = parseReferentialAction();
      } else {
        error("expected DELETE or UPDATE after ON");
      }
    } else if (isWord("deferrable")) {
      step();
      extra.deferrable = true;
    } else if (isWord("initially")) {
      step();
      if (isWord("deferred")) {
        extra.initiallyDeferred = true;
      } else if (!isWord("immediate")) {
        error("expected DEFERRED or IMMEDIATE after INITIALLY");
      }
      step();
      extra.deferrable = true;
    } else {
      return;
    }
  }
}

// action := CASCADE | RESTRICT | SET NULL | NO ACTION
// After ON DELETE or ON UPDATE.
std::string_view Parser::parseReferentialAction() {
  if (isWord("cascade")) {
    step();
    return "CASCADE";
  }
  if (isWord("restrict")) {
    step();
    return "RESTRICT";
  }
  if (accept(tkSet)) {
    skip(tkNull);
    return "SET NULL";
  }
  if (isWord("no")) {
    step();
    expectWord("ACTION");
    return "NO ACTION";
  }
  error("expected NO ACTION, RESTRICT, CASCADE, or SET NULL");
}

// with_options := WITH ( key = value {, key = value} )
// At WITH. Every value is kept as the text of its token.
SqlNode* Parser::parseWithOptions() {
  SqlNode* options = newNode(arena, nkWithOptions, SqlSpan{});
  skip(tkWith);
  skip(tkLParen);
  do {
    Token key = expectIdent("option key");
    skip(tkEq);
    if (!isOptionValueToken(current.kind)) error("expected option value");
    Token value = advance();
    SqlNode* option = newNode(arena, nkIndexOption, key.span());
    addChild(option, newName(*this, key));
    addChild(option, newStringLit(arena, value.text, value.span()));
    addChild(options, option);
  } while (accept(tkComma));
  skip(tkRParen);
  return options;
}

// INDEX [IF NOT EXISTS] name ON table ( column ) [USING method] [WITH (options)]
// After CREATE, at INDEX.
SqlNode* Parser::parseCreateIndex(const Token& createToken) {
  skip(tkIndex);
  SqlNode* index = newNode(arena, nkCreateIndex, createToken.span());
  parseIfNotExists(index);
  Token name = expectIdent("index name");
  skip(tkOn);
  Token table = expectIdent("table name");
  skip(tkLParen);
  Token column = expectIdent("index column");
  skip(tkRParen);
  addChild(index, newName(*this, name));
  addChild(index, newName(*this, table));
  addChild(index, newName(*this, column));
  if (accept(tkUsing)) {
    if (!at(tkHnsw) && !at(tkBtree) && !at(tkFts)) error("expected HNSW, BTREE, or FTS index method");
    addChild(index, newName(*this, advance()));
  }
  if (at(tkWith)) addChild(index, parseWithOptions());
  return index;
}

// VIEW [IF NOT EXISTS] name [( column {, column} )] AS {select | with_query}
// After CREATE, at the word `view`.
SqlNode* Parser::parseCreateView(const Token& createToken) {
  step();
  SqlNode* view = newNode(arena, nkCreateView, createToken.span());
  parseIfNotExists(view);
  addChild(view, newName(*this, expectIdent("view name")));
  SqlNode* columns = newNode(arena, nkColumnList, SqlSpan{});
  if (accept(tkLParen)) {
    do {
      addChild(columns, newName(*this, expectIdent("view column name")));
    } while (accept(tkComma));
    skip(tkRParen);
  }
  addChild(view, columns);
  skip(tkAs);
  SqlNode* query;
  if (at(tkSelect)) {
    query = parseQueryExpression();
  } else if (at(tkWith)) {
    query = parseWithQuery();
  } else {
    error("CREATE VIEW requires a SELECT query");
  }
  addChild(view, query);
  return view;
}

// SEQUENCE [IF NOT EXISTS] name sequence_options
// After CREATE, at the word `sequence`.
SqlNode* Parser::parseCreateSequence(const Token& createToken) {
  step();
  SqlNode* sequence = newNode(arena, nkCreateSequence, createToken.span());
  parseIfNotExists(sequence);
  addChild(sequence, newName(*this, expectIdent("sequence name")));
  TextList options = parseSequenceOptions();
  if (!options.empty()) sequence->mutableExtra(arena).sequenceOptions = options;
  return sequence;
}

// sequence_options := {START [WITH] n | INCREMENT [BY] n | MINVALUE n
//   | MAXVALUE n | CACHE n | CYCLE | NO {CYCLE|MINVALUE|MAXVALUE}
//   | RESTART [WITH] [n] | OWNED BY {NONE | table . column}}
// At the first option, or at whatever ends the (possibly empty) list.
TextList Parser::parseSequenceOptions() {
  TextList options;
  for (;;) {
    std::string_view text;
    if (at(tkStart) || isWord("start")) {
      step();
      accept(tkWith);
      text = joinText(arena, {"START=", parseSequenceInteger()});
    } else if (isWord("increment")) {
      step();
      accept(tkBy);
      text = joinText(arena, {"INCREMENT=", parseSequenceInteger()});
    } else if (isWord("minvalue")) {
      step();
      text = joinText(arena, {"MINVALUE=", parseSequenceInteger()});
    } else if (isWord("maxvalue")) {
      step();
      text = joinText(arena, {"MAXVALUE=", parseSequenceInteger()});
    } else if (isWord("cache")) {
      step();
      text = joinText(arena, {"CACHE=", parseSequenceInteger()});
    } else if (isWord("cycle")) {
      step();
      text = "CYCLE";
    } else if (isWord("no")) {
      step();
      if (isWord("cycle")) {
        text = "NO CYCLE";
      } else if (isWord("minvalue")) {
        text = "NO MINVALUE";
      } else if (isWord("maxvalue")) {
        text = "NO MAXVALUE";
      } else {
        error("expected CYCLE, MINVALUE, or MAXVALUE after NO");
      }
      step();
    } else if (isWord("restart")) {
      step();
      accept(tkWith);
      if (at(tkPlus) || at(tkMinus) || at(tkInteger)) {
        text = joinText(arena, {"RESTART=", parseSequenceInteger()});
      } else {
        text = "RESTART";
      }
    } else if (isWord("owned")) {
      step();
      skip(tkBy);
      if (isWord("none")) {
        step();
        text = "OWNED BY NONE";
      } else {
        std::string_view table = expectIdent("sequence owner table").text;
        skip(tkDot);
        std::string_view column = expectIdent("sequence owner column").text;
        text = joinText(arena, {"OWNED BY=", table, ".", column});
      }
    } else {
      return options;
    }
    options.push_back(arena, text);
  }
}

// n := [+|-] integer; the digits as written, "-" in front for a minus.
// At the sign or the integer.
std::string_view Parser::parseSequenceInteger() {
  bool negative = at(tkMinus);
  if (negative || at(tkPlus)) step();
  if (!at(tkInteger)) error("expected sequence integer");
  std::string_view digits = advance().text;
  return negative ? joinText(arena, {"-", digits}) : digits;
}

// drop := DROP {TABLE | INDEX | VIEW | SEQUENCE} [IF EXISTS] name
// At DROP.
SqlNode* Parser::parseDrop() {
  SqlSpan drop = expect(tkDrop).span();
  SqlNodeKind kind;
  std::string_view role;
  if (at(tkTable)) {
    kind = nkDropTable;
    role = "table name";
  } else if (at(tkIndex)) {
    kind = nkDropIndex;
    role = "index name";
  } else if (isWord("view")) {
    kind = nkDropView;
    role = "view name";
  } else if (isWord("sequence")) {
    kind = nkDropSequence;
    role = "sequence name";
  } else {
    error("expected TABLE, VIEW, INDEX, or SEQUENCE after DROP");
  }
  step();
  SqlNode* node = newNode(arena, kind, drop);
  parseIfExists(node);
  addChild(node, newName(*this, expectIdent(role)));
  return node;
}

// truncate := TRUNCATE [TABLE] name
// At the word `truncate`.
SqlNode* Parser::parseTruncate() {
  SqlNode* node = newNode(arena, nkTruncate, expectWord("truncate").span());
  accept(tkTable);
  addChild(node, newName(*this, expectIdent("table name")));
  return node;
}

// [IF NOT EXISTS]
void Parser::parseIfNotExists(SqlNode* node) {
  if (!accept(tkIf)) return;
  skip(tkNot);
  skip(tkExists);
  addChild(node, newFlag(arena, "IF NOT EXISTS"));
}

// [IF EXISTS]
void Parser::parseIfExists(SqlNode* node) {
  if (!accept(tkIf)) return;
  skip(tkExists);
  addChild(node, newFlag(arena, "IF EXISTS"));
}

}  // namespace vellum::sql
