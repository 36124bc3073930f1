// Data types: a name as written, then either an angle-bracket list (ARRAY,
// LIST, MAP, STRUCT) or up to two parenthesised parameters. Purely
// syntactic: what the names mean and the ranges of the parameters are
// checked when the type is written out.
#include "sql/parser.h"

namespace vellum::sql {
namespace {

bool isTypeNameToken(TokenKind kind) {
  switch (kind) {
    case tkIdent: case tkInt: case tkBigint: case tkSmallint: case tkFloatType: case tkReal:
    case tkDouble: case tkDecimal: case tkVarchar: case tkChar: case tkText: case tkBlob:
    case tkBoolean: case tkBool: case tkTimestamp: case tkDate: case tkTime: case tkVector:
    case tkInterval: case tkJson: case tkJsonb:
      return true;
    default:
      return false;
  }
}

enum class Container { None, Array, Map, Struct };

Container containerOf(std::string_view name) {
  char upper[7];
  if (name.size() > sizeof upper) return Container::None;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
  }
  std::string_view word(upper, name.size());
  if (word == "ARRAY" || word == "LIST") return Container::Array;
  if (word == "MAP") return Container::Map;
  if (word == "STRUCT") return Container::Struct;
  return Container::None;
}

// Consumes the first byte of the two-byte current token as a token of kind
// `first`, and leaves its second byte current as a ">" token. The lexer has
// already moved past both bytes and is not touched.
void splitBeforeGt(Parser& p, TokenKind first) {
  Token consumed = p.current;
  consumed.kind = first;
  consumed.text = p.current.text.substr(0, 1);
  consumed.endLine = consumed.line;
  consumed.endColumn = consumed.column;
  p.previous = consumed;
  p.current.kind = tkGt;
  p.current.text = p.current.text.substr(1, 1);
  p.current.column += 1;
}

// "<" or, for an empty list, the "<>" token; the latter is split so that
// the list fails on its ">" with the message of the missing element.
bool atAngleOpen(const Parser& p) { return p.at(tkLt) || (p.at(tkNeq) && p.current.text == "<>"); }

// Closes an angle-bracket list. A ">>" token closes two lists: it is split
// into two ">" tokens, the first consumed and the second left current.
void closeAngle(Parser& p) {
  if (p.at(tkGt)) {
    p.advance();
    return;
  }
  if (!p.at(tkShiftRight)) p.error("expected tkGt");
  splitBeforeGt(p, tkGt);
}

// "<" element ">", "<" key "," value ">" or "<" name type ("," name type)* ">";
// the current token is "<" or "<>".
void parseAngleList(Parser& p, SqlNode* type, Container container) {
  return nested(p, [&] {
    if (p.at(tkNeq)) {
      splitBeforeGt(p, tkLt);
    } else {
      p.advance();
    }
    switch (container) {
      case Container::Array:
        p.addChild(type, p.parseDataType());
        break;
      case Container::Map:
        p.addChild(type, p.parseDataType());
        p.expect(tkComma);
        p.addChild(type, p.parseDataType());
        break;
      case Container::Struct:
        do {
          Token field = p.expectIdent("struct field name");
          p.addChild(type, newIdentifier(p.arena, field.text, field.span()));
          p.addChild(type, p.parseDataType());
        } while (p.accept(tkComma));
        break;
      case Container::None:
        raiseDefect("angle-bracket list on a plain type name");
    }
    closeAngle(p);
  });
}

// "(" expr ["," (metric name | expr)] ")"; the current token is "(".
void parseTypeParameters(Parser& p, SqlNode* type) {
  return nested(p, [&] {
    p.advance();
    p.addChild(type, p.parseExpression());
    if (p.accept(tkComma)) {
      if (p.at(tkIdent) || p.at(tkInner) || p.at(tkCosine) || p.at(tkL2)) {
        Token metric = p.advance();
        p.addChild(type, newIdentifier(p.arena, metric.text, metric.span()));
      } else {
        p.addChild(type, p.parseExpression());
      }
    }
    p.expect(tkRParen);
  });
}

}  // namespace

// type: name [ "<" ... ">" | "(" param ["," param] ")" ]
SqlNode* Parser::parseDataType() {
  if (!isTypeNameToken(current.kind)) error("expected type name");
  Token name = advance();
  SqlNode* type = newNode(arena, nkTypeName, name.span());
  addChild(type, newIdentifier(arena, name.text, name.span()));
  Container container = containerOf(name.text);
  if (container != Container::None && atAngleOpen(*this)) {
    parseAngleList(*this, type, container);
  } else if (at(tkLParen)) {
    parseTypeParameters(*this, type);
  }
  return type;
}

}  // namespace vellum::sql
