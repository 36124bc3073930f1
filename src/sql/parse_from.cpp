// FROM clauses: the join chain, comma lists, table names, derived tables,
// table functions (LATERAL, WITH ORDINALITY) and table aliases.
//
// Joins and commas build a left-deep chain of nkJoin nodes in a loop, so a
// long chain costs no stack here; the tree walks after parsing iterate.
#include <cstring>

#include "sql/parser.h"

namespace vellum::sql {
namespace {

constexpr SqlSpan kEmptySpan{};

// The join kind introduced by the current token, consuming the introducer
// (`[NATURAL] {JOIN | INNER JOIN | CROSS JOIN | {LEFT|RIGHT|FULL} [OUTER] JOIN}`).
// False, consuming nothing, when no join starts here.
bool parseJoinIntroducer(Parser& p, JoinKind& kind) {
  bool natural = p.accept(tkNatural);
  switch (p.current.kind) {
    case tkJoin:
      p.advance();
      kind = jkInner;
      return true;
    case tkInner:
    case tkCross:
      kind = p.advance().kind == tkInner ? jkInner : jkCross;
      p.expect(tkJoin);
      return true;
    case tkLeft:
    case tkRight:
    case tkFull: {
      TokenKind side = p.advance().kind;
      kind = side == tkLeft ? jkLeft : side == tkRight ? jkRight : jkFull;
      p.accept(tkOuter);
      p.expect(tkJoin);
      return true;
    }
    default:
      if (natural) p.error("expected JOIN");
      return false;
  }
}

SqlNode* newJoin(Parser& p, JoinKind kind, SqlNode* left, SqlNode* right) {
  SqlNode* join = newNode(p.arena, nkJoin, kEmptySpan);
  join->joinKind() = kind;
  join->joinLeft() = left;
  join->joinRight() = right;
  return join;
}

// `a.b` as one name: the two texts joined by a dot.
std::string_view joinQualifiedName(Arena& arena, std::string_view schema, std::string_view name) {
  char* text = arena.allocateArray<char>(schema.size() + 1 + name.size());
  if (!schema.empty()) std::memcpy(text, schema.data(), schema.size());
  text[schema.size()] = '.';
  if (!name.empty()) std::memcpy(text + schema.size() + 1, name.data(), name.size());
  return {text, schema.size() + 1 + name.size()};
}

// True when the current word `lateral` introduces a derived table or a table
// function: `lateral (SELECT|VALUES|WITH ...` or `lateral name(`. Otherwise
// `lateral` is an ordinary name.
bool startsLateral(const Parser& p) {
  if (!p.isWord("lateral")) return false;
  TokenKind next = p.peekKind();
  if (next == tkLParen) {
    TokenKind after = p.peekKind2();
    return after == tkSelect || after == tkValues || after == tkWith;
  }
  return next == tkIdent && p.peekKind2() == tkLParen;
}

}  // namespace

// from_clause := item {join_introducer item [ON e | USING (cols)]} {, item}
// Called with the token after FROM current. After the first comma only
// commas continue the clause.
SqlNode* Parser::parseFromClause() {
  SqlNode* clause = newNode(arena, nkFromClause, current.span());
  SqlNode* tree = parseFromItem();
  JoinKind kind;
  while (parseJoinIntroducer(*this, kind)) {
    SqlNode* join = newJoin(*this, kind, tree, parseFromItem());
    if (accept(tkOn)) {
      join->joinCond() = parseExpression();
    } else if (at(tkUsing)) {
      parseUsingColumns(join->joinUsing());
    }
    tree = join;
  }
  while (accept(tkComma)) tree = newJoin(*this, jkCross, tree, parseFromItem());
  clause->children().push_back(arena, tree);
  return clause;
}

// USING ( name {, name} )
void Parser::parseUsingColumns(TextList& columns) {
  expect(tkUsing);
  expect(tkLParen);
  do {
    columns.push_back(arena, expectIdent("USING column").text);
  } while (accept(tkComma));
  expect(tkRParen);
}

// item := [LATERAL] ( query ) [alias] | [LATERAL] name ( args ) [WITH ORDINALITY] [alias]
//       | name [. name] [alias]
SqlNode* Parser::parseFromItem() {
  bool lateral = false;
  if (startsLateral(*this)) {
    advance();
    lateral = true;
  }
  if (at(tkLParen)) {
    NestingGuard guard(*this);
    Token open = advance();
    SqlNode* query;
    if (at(tkSelect) || at(tkValues)) {
      query = parseQueryExpression();
    } else if (at(tkWith)) {
      query = parseWithQuery();
    } else {
      error("expected SELECT, VALUES, or WITH in FROM derived table");
    }
    expect(tkRParen);
    SqlNode* derived = newNode(arena, nkFromDerived, open.span());
    derived->lateral = lateral;
    derived->children().push_back(arena, query);
    return parseTableAlias(derived);
  }
  Token name = expectIdent("table name");
  SqlNode* item;
  if (at(tkLParen)) {
    item = parseTableFunction(name, lateral);
  } else if (accept(tkDot)) {
    Token second = expectIdent("qualified table name");
    item = newIdentifier(arena, joinQualifiedName(arena, name.text, second.text), spanFrom(name, second));
  } else {
    item = newIdentifier(arena, name.text, name.span());
  }
  return parseTableAlias(item);
}

// ( [expression {, expression}] ) [WITH ORDINALITY]; the name has been
// consumed and `(` is current. A WITH not followed by an identifier is left
// for the caller.
SqlNode* Parser::parseTableFunction(const Token& name, bool lateral) {
  NestingGuard guard(*this);
  expect(tkLParen);
  SqlNode* function = newNode(arena, nkFromFunction, name.span());
  function->lateral = lateral;
  function->children().push_back(arena, newIdentifier(arena, name.text, name.span()));
  if (!at(tkRParen)) {
    function->children().push_back(arena, parseExpression());
    while (accept(tkComma)) function->children().push_back(arena, parseExpression());
  }
  expect(tkRParen);
  if (at(tkWith) && peekKind() == tkIdent) {
    advance();
    bool ordinality = isWord("ordinality");
    expectIdent("ORDINALITY");
    if (!ordinality) error("expected ORDINALITY after WITH");
    function->withOrdinality = true;
  }
  return function;
}

// [AS name | implicit_alias] [( column {, column} )]; returns the item itself
// when no alias follows.
SqlNode* Parser::parseTableAlias(SqlNode* item) {
  Token alias;
  if (accept(tkAs)) {
    alias = expectIdent("alias");
  } else if (isImplicitAliasToken(current.kind)) {
    alias = advance();
  } else {
    return item;
  }
  SqlNode* node = newNode(arena, nkAlias, alias.span());
  if (accept(tkLParen)) {
    do {
      node->aliasColumns().push_back(arena, expectIdent("table alias column name").text);
    } while (accept(tkComma));
    expect(tkRParen);
    if (item->kind != nkIdentifier && item->kind != nkFromDerived && item->kind != nkFromFunction) {
      error("column aliases are only supported for FROM-clause relations");
    }
  }
  node->aliasExpr() = item;
  node->aliasName() = alias.text;
  return node;
}

}  // namespace vellum::sql
