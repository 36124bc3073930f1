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

// True for the tokens a join introducer starts with.
bool startsJoin(TokenKind kind) {
  switch (kind) {
    case tkNatural: case tkJoin: case tkInner: case tkCross: case tkLeft: case tkRight: case tkFull: return true;
    default: return false;
  }
}

// Reads a join introducer (`[NATURAL] {JOIN | INNER JOIN | CROSS JOIN |
// {LEFT|RIGHT|FULL} [OUTER] JOIN}`), whose first token (startsJoin) is
// current, and gives its JoinKind.
[[gnu::noinline]] JoinKind parseJoinIntroducer(Parser& p) {
  p.accept(tkNatural);
  switch (p.current.kind) {
    case tkJoin:
      p.advance();
      return jkInner;
    case tkInner:
    case tkCross: {
      JoinKind kind = p.advance().kind == tkInner ? jkInner : jkCross;
      p.expect(tkJoin);
      return kind;
    }
    case tkLeft:
    case tkRight:
    case tkFull: {
      TokenKind side = p.advance().kind;
      p.accept(tkOuter);
      p.expect(tkJoin);
      return side == tkLeft ? jkLeft : side == tkRight ? jkRight : jkFull;
    }
    default:  // only after NATURAL
      p.error("expected JOIN");
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
  // Most items start with a name of another length: no call for them.
  if (p.current.text.size() != 7 || !p.isWord("lateral")) return false;
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
  while (startsJoin(current.kind)) {
    const JoinKind kind = parseJoinIntroducer(*this);
    SqlNode* right = parseFromItem();
    SqlNode* join = newJoin(*this, kind, tree, right);
    if (accept(tkOn)) {
      join->joinCond() = parseExpression();
    } else if (at(tkUsing)) {
      parseUsingColumns(join->joinUsing());
    }
    tree = join;
  }
  while (accept(tkComma)) {
    SqlNode* right = parseFromItem();
    tree = newJoin(*this, jkCross, tree, right);
  }
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

namespace {

// ( query ) [alias], one nesting level; `(` is current.
[[gnu::noinline]] SqlNode* parseDerivedTable(Parser& p, bool lateral) {
  return nested(p, [&]() -> SqlNode* {
    SqlNode* derived = newNode(p.arena, nkFromDerived, p.current.span());
    derived->lateral = lateral;
    p.skip(tkLParen);
    SqlNode* query;
    if (p.at(tkSelect) || p.at(tkValues)) {
      query = p.parseQueryExpression();
    } else if (p.at(tkWith)) {
      query = p.parseWithQuery();
    } else {
      p.error("expected SELECT, VALUES, or WITH in FROM derived table");
    }
    p.skip(tkRParen);
    derived->children().push_back(p.arena, query);
    return p.parseTableAlias(derived);
  });
}

// name [. name] | name ( args ) [WITH ORDINALITY]; then the alias.
[[gnu::noinline]] SqlNode* parseNamedItem(Parser& p, bool lateral) {
  Token name = p.expectIdent("table name");
  SqlNode* item;
  if (p.at(tkLParen)) {
    item = p.parseTableFunction(name, lateral);
  } else if (p.accept(tkDot)) {
    Token second = p.expectIdent("qualified table name");
    item = newIdentifier(p.arena, joinQualifiedName(p.arena, name.text, second.text), Parser::spanFrom(name, second));
  } else {
    item = newIdentifier(p.arena, name.text, name.span());
  }
  // Most tables have no alias: the rule is entered only when one follows.
  if (!p.at(tkAs) && !isImplicitAliasToken(p.current.kind)) return item;
  return p.parseTableAlias(item);
}

// WITH ORDINALITY after a table function, when WITH is followed by an
// identifier; the word is read before it is checked.
[[gnu::noinline]] void parseOrdinality(Parser& p, SqlNode* function) {
  p.advance();
  bool ordinality = p.isWord("ordinality");
  p.expectIdent("ORDINALITY");
  if (!ordinality) p.error("expected ORDINALITY after WITH");
  function->withOrdinality = true;
}

}  // namespace

// item := [LATERAL] ( query ) [alias] | [LATERAL] name ( args ) [WITH ORDINALITY] [alias]
//       | name [. name] [alias]
SqlNode* Parser::parseFromItem() {
  bool lateral = startsLateral(*this);
  if (lateral) accept(tkIdent);
  if (at(tkLParen)) return parseDerivedTable(*this, lateral);
  return parseNamedItem(*this, lateral);
}

// ( [expression {, expression}] ) [WITH ORDINALITY]; the name has been
// consumed and `(` is current. A WITH not followed by an identifier is left
// for the caller.
SqlNode* Parser::parseTableFunction(const Token& name, bool lateral) {
  return nested(*this, [&]() -> SqlNode* {
    skip(tkLParen);
    SqlNode* function = newNode(arena, nkFromFunction, name.span());
    function->lateral = lateral;
    function->children().push_back(arena, newIdentifier(arena, name.text, name.span()));
    if (!at(tkRParen)) {
      do {
        SqlNode* argument = parseExpression();
        function->children().push_back(arena, argument);
      } while (accept(tkComma));
    }
    skip(tkRParen);
    if (at(tkWith) && peekKind() == tkIdent) parseOrdinality(*this, function);
    return function;
  });
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
