// Expressions, literals, select and ORDER BY items, window specifications and
// data types.
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "ffi/sql_writer.h"
#include "ffi/sql_write_bytes.h"
#include "msgpack/encoder.h"
#include "support/errors.h"

namespace vellum::sql {

// The trailing clauses of a function call, found by scanning its children
// backwards; the arguments are children 1 up to argEnd.
struct CallClauses {
  std::size_t argEnd = 1;
  const SqlNode* orderBy = nullptr;
  const SqlNode* withinGroup = nullptr;
  const SqlNode* filter = nullptr;
  const SqlNode* over = nullptr;

  bool extended() const { return orderBy != nullptr || withinGroup != nullptr || filter != nullptr; }
};

namespace {

const SqlNode* skipAlias(const SqlNode* node) {
  while (node != nullptr && node->kind == nkAlias) node = node->aliasExpr();
  return node;
}

const SqlNode* need(const SqlNode* node, const char* what) {
  check(node != nullptr, what);
  return node;
}

CallClauses callClauses(const SqlNode* call) {
  const NodeList& children = call->children();
  check(!children.empty(), "function call without a name child");
  CallClauses c;
  std::size_t i = children.size();
  // Scanning from the end, the first clause of a kind met is its last
  // occurrence, which is the one that counts.
  for (; i > 1; --i) {
    const SqlNode* child = children[i - 1];
    if (child == nullptr) break;
    const SqlNode** slot = nullptr;
    switch (child->kind) {
      case nkOrderByClause: slot = &c.orderBy; break;
      case nkWithinGroupClause: slot = &c.withinGroup; break;
      case nkAggFilterClause: slot = &c.filter; break;
      case nkWindowSpec: slot = &c.over; break;
      default: break;
    }
    if (slot == nullptr) break;
    if (*slot == nullptr) *slot = child;
  }
  c.argEnd = i;
  return c;
}

bool isLikeOp(SqlBinaryOp op) { return op >= opLike && op <= opNotSimilarTo; }

std::string_view likeKind(SqlBinaryOp op) {
  switch (op) {
    case opLike: case opNotLike: return "Like";
    case opILike: case opNotILike: return "ILike";
    case opGlob: case opNotGlob: return "Glob";
    default: return "SimilarTo";
  }
}

// "op" of a BinaryOp map; operators routed to other maps never get here
// except opIs, which keeps its enumeration name.
std::string_view binaryOpText(SqlBinaryOp op) {
  switch (op) {
    case opEq: return "Eq";
    case opNeq: return "Neq";
    case opLt: return "Lt";
    case opLe: return "LtEq";
    case opGt: return "Gt";
    case opGe: return "GtEq";
    case opAdd: return "Add";
    case opSub: return "Sub";
    case opMul: return "Mul";
    case opDiv: return "Div";
    case opMod: return "Mod";
    case opStringConcat: return "StringConcat";
    case opAnd: return "And";
    case opOr: return "Or";
    case opBitAnd: return "BitAnd";
    case opBitOr: return "BitOr";
    case opBitXor: return "BitXor";
    case opShiftLeft: return "ShiftLeft";
    case opShiftRight: return "ShiftRight";
    default: return binaryOpName(op);
  }
}

// A quantified comparison stores its operator as the enumeration name.
std::string_view quantifiedOpText(std::string_view name) {
  for (int op = opEq; op <= opShiftRight; ++op) {
    auto bop = static_cast<SqlBinaryOp>(op);
    if ((op < opLike || op > opIs) && binaryOpName(bop) == name) return binaryOpText(bop);
  }
  return name;
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsUpper(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (asciiUpper(text[i]) != upper[i]) return false;
  }
  return true;
}

struct CanonicalType {
  std::string_view written;  // upper case
  std::string_view name;
};

constexpr CanonicalType kCanonicalTypes[] = {
    {"TEXT", "Text"}, {"VARCHAR", "Text"}, {"CHAR", "Text"}, {"JSON", "Json"}, {"JSONB", "Json"},
    {"SMALLINT", "Int"}, {"INT", "Int"}, {"INTEGER", "Integer"}, {"BIGINT", "BigInt"},
    {"SMALLSERIAL", "SmallSerial"}, {"SERIAL", "Serial"}, {"BIGSERIAL", "BigSerial"},
    {"REAL", "Float"}, {"FLOAT", "Float"}, {"DOUBLE", "Double"}, {"NUMERIC", "Decimal"},
    {"DECIMAL", "Decimal"}, {"BOOLEAN", "Boolean"}, {"BOOL", "Bool"}, {"DATE", "Date"},
    {"TIME", "Time"}, {"TIMESTAMP", "Timestamp"}, {"INTERVAL", "Interval"}, {"BLOB", "Blob"},
    {"STRUCT", "Struct"}, {"MAP", "Map"}, {"LIST", "Array"}, {"ARRAY", "Array"},
    {"VECTOR", "Vector"},
};

// The canonical name of a type, or the name as written when it is not listed.
std::string_view canonicalTypeName(std::string_view written) {
  for (const CanonicalType& t : kCanonicalTypes) {
    if (equalsUpper(written, t.written)) return t.name;
  }
  return written;
}

std::string_view metricName(std::string_view written) {
  if (equalsUpper(written, "COSINE")) return "Cosine";
  if (equalsUpper(written, "L2")) return "L2";
  if (equalsUpper(written, "INNER")) return "Inner";
  return written;
}

}  // namespace

// ---------------------------------------------------------------------------
// Float text.

std::size_t formatFloatText(double value, char* buffer) {
  char* p = buffer;
  if (std::isnan(value)) {
    std::memcpy(p, "nan", 3);
    return 3;
  }
  if (std::signbit(value)) {
    *p++ = '-';
    value = -value;
  }
  if (std::isinf(value)) {
    std::memcpy(p, "inf", 3);
    return static_cast<std::size_t>(p + 3 - buffer);
  }
  if (value == 0) {
    std::memcpy(p, "0.0", 3);
    return static_cast<std::size_t>(p + 3 - buffer);
  }

  // Shortest round-trip digits in scientific form: d[.ddd]e(+|-)xx.
  char sci[32];
  char* sciEnd = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
  char digits[24];
  int n = 0;
  const char* s = sci;
  digits[n++] = *s++;
  if (*s == '.') {
    for (++s; *s != 'e'; ++s) digits[n++] = *s;
  }
  ++s;  // 'e'
  bool negativeExponent = *s == '-';
  int exponent = 0;
  for (++s; s < sciEnd; ++s) exponent = exponent * 10 + (*s - '0');
  if (negativeExponent) exponent = -exponent;
  while (n > 1 && digits[n - 1] == '0') --n;

  // The value is 0.d1...dn times ten to the point-th power.
  int point = exponent + 1;
  if (point >= -6 && point <= 17) {
    if (point <= 0) {
      *p++ = '0';
      *p++ = '.';
      for (int i = 0; i < -point; ++i) *p++ = '0';
      std::memcpy(p, digits, static_cast<std::size_t>(n));
      p += n;
    } else if (point < n) {
      std::memcpy(p, digits, static_cast<std::size_t>(point));
      p += point;
      *p++ = '.';
      std::memcpy(p, digits + point, static_cast<std::size_t>(n - point));
      p += n - point;
    } else {
      std::memcpy(p, digits, static_cast<std::size_t>(n));
      p += n;
      for (int i = 0; i < point - n; ++i) *p++ = '0';
      *p++ = '.';
      *p++ = '0';
    }
  } else {
    *p++ = digits[0];
    if (n > 1) {
      *p++ = '.';
      std::memcpy(p, digits + 1, static_cast<std::size_t>(n - 1));
      p += n - 1;
    }
    *p++ = 'e';
    int e = point - 1;
    *p++ = e < 0 ? '-' : '+';
    if (e < 0) e = -e;
    if (point - 1 > 0 && e < 10) *p++ = '0';
    p = std::to_chars(p, buffer + kFloatTextCapacity, e).ptr;
  }
  return static_cast<std::size_t>(p - buffer);
}

// ---------------------------------------------------------------------------
// Small pieces.

SqlWriter::SqlWriter(OutputStream& out) : out_(out) { chain_.reserve(64); }

namespace {

// {"start": {"line": L, "column": C}, "end": {"line": L, "column": C}}; at
// most 57 bytes.
std::uint8_t* putSpan(std::uint8_t* p, const SqlSpan& span) {
  p = putRun<Run{map(2), str("start"), map(2), str("line")}>(p);
  p = putInt32(p, span.startLine);
  p = putRun<Run{str("column")}>(p);
  p = putInt32(p, span.startColumn);
  p = putRun<Run{str("end"), map(2), str("line")}>(p);
  p = putInt32(p, span.endLine);
  p = putRun<Run{str("column")}>(p);
  return putInt32(p, span.endColumn);
}

}  // namespace

void SqlWriter::writeSpan(const SqlSpan& span) {
  std::uint8_t bytes[64];
  std::uint8_t* end = putSpan(bytes, span);
  out_.writeData(bytes, static_cast<std::size_t>(end - bytes));
}

void SqlWriter::writeSpanEntry(const SqlSpan& span) {
  std::uint8_t bytes[64];
  std::uint8_t* end = putSpan(putRun<Run{str("span")}>(bytes), span);
  out_.writeData(bytes, static_cast<std::size_t>(end - bytes));
}

void SqlWriter::writeTextArray(const TextList& texts) {
  writeArrayHeader(out_, static_cast<std::uint32_t>(texts.size()));
  for (std::string_view t : texts) writeStr(out_, t);
}

void SqlWriter::writeTextOrNil(std::string_view text) {
  if (text.empty()) {
    writeNil(out_);
  } else {
    writeStr(out_, text);
  }
}

void SqlWriter::writeExprArray(const NodeList& nodes, std::size_t from, std::size_t to) {
  writeArrayHeader(out_, static_cast<std::uint32_t>(to - from));
  for (std::size_t i = from; i < to; ++i) writeExpr(nodes[i]);
}

void SqlWriter::writeSubquery(const SqlNode* query) {
  need(query, "subquery without a query node");
  writeRun<Run{map(2), str("kind")}>(out_);
  writeStatementKind(query);
  writeSpanEntry(query->span);
}

void SqlWriter::writeLiteral(const SqlNode* node) {
  switch (node->kind) {
    case nkStringLit:
      writeRun<Run{map(2), str("variant"), str("String"), str("value")}>(out_);
      writeStr(out_, node->strVal());
      return;
    case nkIntervalLit:
      writeRun<Run{map(2), str("variant"), str("Interval"), str("value")}>(out_);
      writeStr(out_, node->strVal());
      return;
    case nkIntLit: {
      char text[24];
      char* end = std::to_chars(text, text + sizeof text, node->intVal()).ptr;
      writeRun<Run{map(2), str("variant"), str("Number"), str("value")}>(out_);
      writeStr(out_, std::string_view(text, static_cast<std::size_t>(end - text)));
      return;
    }
    case nkFloatLit: {
      char text[kFloatTextCapacity];
      std::size_t length = formatFloatText(node->floatVal(), text);
      writeRun<Run{map(2), str("variant"), str("Number"), str("value")}>(out_);
      writeStr(out_, std::string_view(text, length));
      return;
    }
    case nkBoolLit:
      writeRun<Run{map(2), str("variant"), str("Boolean"), str("value")}>(out_);
      writeBool(out_, node->boolVal());
      return;
    default:  // nkNull
      writeRun<Run{map(1), str("variant"), str("Null")}>(out_);
      return;
  }
}

// ---------------------------------------------------------------------------
// Expressions.

void SqlWriter::writeExpr(const SqlNode* node) {
  const std::size_t base = chain_.size();
  // Down the lead children: each map is written up to its lead child's value.
  for (;;) {
    node = skipAlias(node);
    if (node == nullptr) {
      writeNil(out_);
      break;
    }
    const SqlNode* lead = nullptr;
    if (!writeExprHead(node, &lead)) {
      writeSpanEntry(node->span);
      break;
    }
    chain_.push_back(node);
    node = lead;
  }
  // Back up: the rest of each open map, innermost first.
  while (chain_.size() > base) {
    const SqlNode* open = chain_.back();
    chain_.pop_back();
    writeExprTail(open);
    writeSpanEntry(open->span);
  }
}

// Writes the envelope and the variant map of `node` up to the value of its
// lead child and stores that child in *lead; returns false when the kind has
// no lead child, in which case the whole variant map has been written.
bool SqlWriter::writeExprHead(const SqlNode* node, const SqlNode** lead) {
  // Every case starts with the envelope: {"kind": <variant map>...
  switch (node->kind) {
    case nkIdentifier:
      writeRun<Run{map(2), str("kind"), map(3), str("variant"), str("ColumnRef"), str("table"), nil, str("column")}>(out_);
      writeStr(out_, node->strVal());
      return false;
    case nkColumnRef:
      writeRun<Run{map(2), str("kind"), map(3), str("variant"), str("ColumnRef"), str("table")}>(out_);
      writeStr(out_, nodeText(node->child(0)));
      writeLit<"column">(out_);
      writeStr(out_, nodeText(node->child(1)));
      return false;
    case nkStar:
      writeRun<Run{map(2), str("kind"), map(3), str("variant"), str("ColumnRef"), str("table"), nil, str("column"), str("*")}>(out_);
      return false;
    case nkStringLit:
    case nkIntervalLit:
    case nkIntLit:
    case nkFloatLit:
    case nkBoolLit:
    case nkNull:
      writeRun<Run{map(2), str("kind"), map(2), str("variant"), str("Literal"), str("literal")}>(out_);
      writeLiteral(node);
      return false;
    case nkParameter:
      writeRun<Run{map(2), str("kind"), map(2), str("variant"), str("Parameter"), str("index")}>(out_);
      writeInt(out_, node->paramIndex);
      return false;
    case nkBinaryOp: {
      writeRun<Run{map(2), str("kind")}>(out_);
      SqlBinaryOp op = node->binOp();
      if (op == opBetween || op == opNotBetween) {
        writeRun<Run{map(5), str("variant"), str("Between"), str("expr")}>(out_);
      } else if (isLikeOp(op)) {
        writeRun<Run{map(6), str("variant"), str("Like"), str("expr")}>(out_);
      } else if (op == opIn || op == opNotIn) {
        writeRun<Run{map(4), str("variant"), str("InList"), str("expr")}>(out_);
      } else {
        writeRun<Run{map(4), str("variant"), str("BinaryOp"), str("left")}>(out_);
      }
      *lead = node->binLeft();
      return true;
    }
    case nkUnaryOp: {
      writeRun<Run{map(2), str("kind")}>(out_);
      SqlUnaryOp op = node->unOp();
      writeRun<Run{map(3), str("variant")}>(out_);
      if (op == opIsNull || op == opIsNotNull) {
        writeRun<Run{str("IsNull"), str("expr")}>(out_);
      } else {
        writeRun<Run{str("UnaryOp"), str("op")}>(out_);
        writeStr(out_, op == opNot ? "Not" : op == opNeg ? "Minus" : op == opBitNot ? "BitNot" : unaryOpName(op));
        writeLit<"operand">(out_);
      }
      *lead = node->unOperand();
      return true;
    }
    case nkRowConstructor: {
      writeRun<Run{map(2), str("kind")}>(out_);
      const NodeList& items = node->children();
      writeRun<Run{map(2), str("variant"), str("Row"), str("items")}>(out_);
      writeArrayHeader(out_, static_cast<std::uint32_t>(items.size()));
      if (items.empty()) return false;
      *lead = items[0];
      return true;
    }
    case nkTruthPredicate:
      writeRun<Run{map(2), str("kind"), map(4), str("variant"), str("TruthPredicate"), str("expr")}>(out_);
      *lead = node->child(0);
      return true;
    case nkIsDistinctFrom:
      writeRun<Run{map(2), str("kind"), map(4), str("variant"), str("IsDistinctFrom"), str("left")}>(out_);
      *lead = node->child(0);
      return true;
    case nkCase:
      writeRun<Run{map(2), str("kind")}>(out_);
      writeCase(node);
      return false;
    case nkFunctionCall: {
      writeRun<Run{map(2), str("kind")}>(out_);
      CallClauses clauses = callClauses(node);
      writeMapHeader(out_, clauses.extended() ? 9 : 6);
      writeRun<Run{str("variant"), str("FunctionCall"), str("name")}>(out_);
      writeStr(out_, nodeText(node->child(0)));
      writeLit<"args">(out_);
      if (node->star || clauses.argEnd <= 1) {
        writeArrayHeader(out_, 0);
        writeCallAfterArgs(node, clauses);
        return false;
      }
      writeArrayHeader(out_, static_cast<std::uint32_t>(clauses.argEnd - 1));
      *lead = node->child(1);
      return true;
    }
    case nkCast:
    case nkTryCast:
      writeRun<Run{map(2), str("kind"), map(3), str("variant")}>(out_);
      writeStr(out_, node->kind == nkCast ? "Cast" : "TryCast");
      writeLit<"expr">(out_);
      *lead = node->child(0);
      return true;
    case nkVectorLiteral: {
      writeRun<Run{map(2), str("kind")}>(out_);
      const NodeList& values = node->children();
      writeRun<Run{map(2), str("variant"), str("VectorLiteral"), str("values")}>(out_);
      writeArrayHeader(out_, static_cast<std::uint32_t>(values.size()));
      for (const SqlNode* v : values) writeFloat64(out_, need(v, "vector literal element is nil")->floatVal());
      return false;
    }
    case nkScalarSubquery:
      writeRun<Run{map(2), str("kind"), map(2), str("variant"), str("ScalarSubquery"), str("subquery")}>(out_);
      writeSubquery(node->child(0));
      return false;
    case nkInSubquery:
      writeRun<Run{map(2), str("kind"), map(4), str("variant"), str("InSubquery"), str("expr")}>(out_);
      *lead = node->child(0);
      return true;
    case nkExists:
      writeRun<Run{map(2), str("kind"), map(3), str("variant"), str("Exists"), str("subquery")}>(out_);
      writeSubquery(node->child(0));
      writeLit<"negated">(out_);
      writeBool(out_, node->negated);
      return false;
    case nkQuantified:
      writeRun<Run{map(2), str("kind"), map(5), str("variant"), str("Quantified"), str("expr")}>(out_);
      *lead = node->child(0);
      return true;
    default:
      // Qualified stars and any other kind in expression position.
      writeRun<Run{map(2), str("kind"), map(2), str("variant"), str("ColumnRef"), str("column")}>(out_);
      writeStr(out_, nodeText(node));
      return false;
  }
}

// The entries after the lead child's value (the "span" is the caller's).
void SqlWriter::writeExprTail(const SqlNode* node) {
  switch (node->kind) {
    case nkBinaryOp: {
      SqlBinaryOp op = node->binOp();
      const SqlNode* right = node->binRight();
      if (op == opBetween || op == opNotBetween) {
        need(right, "BETWEEN without bounds");
        writeLit<"low">(out_);
        writeExpr(right->child(0));
        writeLit<"high">(out_);
        writeExpr(right->child(1));
        writeLit<"negated">(out_);
        writeBool(out_, op == opNotBetween);
      } else if (isLikeOp(op)) {
        bool withEscape = right != nullptr && right->kind == nkExprList;
        writeLit<"pattern">(out_);
        writeExpr(withEscape ? right->child(0) : right);
        writeLit<"escape">(out_);
        if (withEscape && right->children().size() >= 2) {
          writeExpr(right->child(1));
        } else {
          writeNil(out_);
        }
        writeLit<"negated">(out_);
        writeBool(out_, op == opNotLike || op == opNotILike || op == opNotGlob || op == opNotSimilarTo);
        writeLit<"kind">(out_);
        writeStr(out_, likeKind(op));
      } else if (op == opIn || op == opNotIn) {
        const NodeList& list = need(right, "IN without a list")->children();
        writeLit<"list">(out_);
        writeExprArray(list, 0, list.size());
        writeLit<"negated">(out_);
        writeBool(out_, op == opNotIn);
      } else {
        writeLit<"op">(out_);
        writeStr(out_, binaryOpText(op));
        writeLit<"right">(out_);
        writeExpr(right);
      }
      return;
    }
    case nkUnaryOp: {
      SqlUnaryOp op = node->unOp();
      if (op == opIsNull || op == opIsNotNull) {
        writeLit<"negated">(out_);
        writeBool(out_, op == opIsNotNull);
      }
      return;
    }
    case nkRowConstructor: {
      const NodeList& items = node->children();
      for (std::size_t i = 1; i < items.size(); ++i) writeExpr(items[i]);
      return;
    }
    case nkTruthPredicate: {
      std::string_view text = nodeText(node->child(1));
      // "value": lower case, then the first character upper case.
      char small[16];
      std::string large;
      char* buffer = small;
      if (text.size() > sizeof small) {
        large.resize(text.size());
        buffer = large.data();
      }
      for (std::size_t i = 0; i < text.size(); ++i) buffer[i] = asciiLower(text[i]);
      if (!text.empty()) buffer[0] = asciiUpper(buffer[0]);
      writeLit<"value">(out_);
      writeStr(out_, std::string_view(buffer, text.size()));
      writeLit<"negated">(out_);
      writeBool(out_, node->negated);
      return;
    }
    case nkIsDistinctFrom:
      writeLit<"right">(out_);
      writeExpr(node->child(1));
      writeLit<"negated">(out_);
      writeBool(out_, node->negated);
      return;
    case nkFunctionCall: {
      CallClauses clauses = callClauses(node);
      const NodeList& children = node->children();
      for (std::size_t i = 2; i < clauses.argEnd; ++i) writeExpr(children[i]);
      writeCallAfterArgs(node, clauses);
      return;
    }
    case nkCast:
    case nkTryCast:
      writeLit<"target_type">(out_);
      writeDataType(node->child(1));
      return;
    case nkInSubquery:
      writeLit<"subquery">(out_);
      writeSubquery(node->child(1));
      writeLit<"negated">(out_);
      writeBool(out_, node->negated);
      return;
    case nkQuantified:
      writeLit<"op">(out_);
      writeStr(out_, quantifiedOpText(nodeText(node->child(1))));
      writeLit<"quantifier">(out_);
      writeStr(out_, node->quantifierAll ? "All" : "Any");
      writeLit<"subquery">(out_);
      writeSubquery(node->child(2));
      return;
    default:
      raiseDefect("expression tail asked of a node of kind " + std::string(kindName(node->kind)));
  }
}

void SqlWriter::writeCallAfterArgs(const SqlNode* node, const CallClauses& clauses) {
  writeLit<"distinct">(out_);
  writeBool(out_, node->distinct);
  writeLit<"star">(out_);
  writeBool(out_, node->star);
  if (clauses.extended()) {
    writeLit<"order_by">(out_);
    writeOrderByArray(clauses.orderBy);
    writeLit<"within_group">(out_);
    writeOrderByArray(clauses.withinGroup);
    writeLit<"filter">(out_);
    if (clauses.filter != nullptr) {
      writeExpr(clauses.filter->child(0));
    } else {
      writeNil(out_);
    }
  }
  writeLit<"over">(out_);
  if (clauses.over != nullptr) {
    writeWindowSpec(clauses.over);
  } else {
    writeNil(out_);
  }
}

void SqlWriter::writeCase(const SqlNode* node) {
  writeRun<Run{map(4), str("variant"), str("Case"), str("operand")}>(out_);
  writeExpr(node->caseOperand());
  const NodeList& branches = node->caseBranches();
  writeLit<"branches">(out_);
  writeArrayHeader(out_, static_cast<std::uint32_t>(branches.size()));
  for (const SqlNode* branch : branches) {
    need(branch, "CASE branch is nil");
    writeRun<Run{map(2), str("when")}>(out_);
    writeExpr(branch->caseWhen());
    writeLit<"then">(out_);
    writeExpr(branch->caseThen());
  }
  writeLit<"else_expr">(out_);
  writeExpr(node->caseElse());
}

// ---------------------------------------------------------------------------
// Items, windows and types.

void SqlWriter::writeSelectItem(const SqlNode* item) {
  need(item, "select item is nil");
  switch (item->kind) {
    case nkStar:
      writeRun<Run{map(2), str("variant"), str("Wildcard")}>(out_);
      break;
    case nkQualifiedStar:
      writeRun<Run{map(3), str("variant"), str("QualifiedWildcard"), str("table")}>(out_);
      writeStr(out_, nodeText(item->child(0)));
      break;
    case nkAlias:
      writeRun<Run{map(4), str("variant"), str("Expr"), str("expr")}>(out_);
      writeExpr(item->aliasExpr());
      writeLit<"alias">(out_);
      writeStr(out_, item->aliasName());
      break;
    default:
      writeRun<Run{map(4), str("variant"), str("Expr"), str("expr")}>(out_);
      writeExpr(item);
      writeRun<Run{str("alias"), nil}>(out_);
      break;
  }
  writeSpanEntry(item->span);
}

void SqlWriter::writeOrderByItem(const SqlNode* item) {
  need(item, "ORDER BY item is nil");
  writeRun<Run{map(4), str("expr")}>(out_);
  writeExpr(item);  // an ASC/DESC wrapper is an alias, which writeExpr skips
  writeLit<"asc">(out_);
  if (item->ascending == -1) {
    writeNil(out_);
  } else {
    writeBool(out_, item->ascending != 0);
  }
  writeLit<"nulls_first">(out_);
  if (item->nullsFirst == -1) {
    writeNil(out_);
  } else {
    writeBool(out_, item->nullsFirst != 0);
  }
  writeSpanEntry(item->span);
}

void SqlWriter::writeOrderByArray(const SqlNode* clause) {
  if (clause == nullptr) {
    writeArrayHeader(out_, 0);
    return;
  }
  const NodeList& items = clause->children();
  writeArrayHeader(out_, static_cast<std::uint32_t>(items.size()));
  for (const SqlNode* item : items) writeOrderByItem(item);
}

void SqlWriter::writeWindowSpec(const SqlNode* spec) {
  const SqlNode* base = nullptr;
  const SqlNode* partition = nullptr;
  const SqlNode* order = nullptr;
  const SqlNode* frame = nullptr;
  for (const SqlNode* child : need(spec, "window specification is nil")->children()) {
    if (child == nullptr) continue;
    switch (child->kind) {
      case nkIdentifier: base = child; break;
      case nkPartitionByClause: partition = child; break;
      case nkOrderByClause: order = child; break;
      case nkWindowFrame: frame = child; break;
      default: break;
    }
  }
  writeRun<Run{map(4), str("base")}>(out_);
  if (base != nullptr) {
    writeStr(out_, base->strVal());
  } else {
    writeNil(out_);
  }
  writeLit<"partition_by">(out_);
  if (partition != nullptr) {
    const NodeList& exprs = partition->children();
    writeExprArray(exprs, 0, exprs.size());
  } else {
    writeArrayHeader(out_, 0);
  }
  writeLit<"order_by">(out_);
  writeOrderByArray(order);
  writeLit<"frame">(out_);
  if (frame != nullptr) {
    writeWindowFrame(frame);
  } else {
    writeNil(out_);
  }
}

void SqlWriter::writeWindowFrame(const SqlNode* frame) {
  writeRun<Run{map(3), str("units")}>(out_);
  writeStr(out_, frame->frameUnit() == fuRows ? "Rows" : "Range");
  writeLit<"start_bound">(out_);
  writeFrameBound(frame->frameStart());
  writeLit<"end_bound">(out_);
  writeFrameBound(frame->frameEnd());
}

void SqlWriter::writeFrameBound(const SqlNode* bound) {
  need(bound, "window frame bound is nil");
  switch (bound->frameBoundKind()) {
    case fbUnboundedPreceding:
      writeRun<Run{map(1), str("variant"), str("UnboundedPreceding")}>(out_);
      return;
    case fbPreceding:
      writeRun<Run{map(2), str("variant"), str("Preceding"), str("value")}>(out_);
      writeUInt(out_, bound->frameOffset());
      return;
    case fbCurrentRow:
      writeRun<Run{map(1), str("variant"), str("CurrentRow")}>(out_);
      return;
    case fbFollowing:
      writeRun<Run{map(2), str("variant"), str("Following"), str("value")}>(out_);
      writeUInt(out_, bound->frameOffset());
      return;
    case fbUnboundedFollowing:
      writeRun<Run{map(1), str("variant"), str("UnboundedFollowing")}>(out_);
      return;
  }
  raiseDefect("window frame bound kind out of range");
}

void SqlWriter::writeDataType(const SqlNode* type) {
  std::string_view name = canonicalTypeName(nodeText(type));
  if (name == "Array") {
    writeRun<Run{map(2), str("variant"), str("Array"), str("element")}>(out_);
    writeDataType(type->child(1));
  } else if (name == "Map") {
    writeRun<Run{map(3), str("variant"), str("Map"), str("key")}>(out_);
    writeDataType(type->child(1));
    writeLit<"value">(out_);
    writeDataType(type->child(2));
  } else if (name == "Struct") {
    const NodeList& children = type->children();
    std::size_t fields = (children.size() - 1) / 2;
    writeRun<Run{map(2), str("variant"), str("Struct"), str("fields")}>(out_);
    writeArrayHeader(out_, static_cast<std::uint32_t>(fields));
    for (std::size_t i = 1; i + 1 < children.size(); i += 2) {
      writeRun<Run{map(2), str("name")}>(out_);
      writeStr(out_, nodeText(children[i]));
      writeLit<"data_type">(out_);
      writeDataType(children[i + 1]);
    }
  } else if (name == "Vector") {
    const NodeList& children = type->children();
    std::uint64_t dimension = 0;
    if (children.size() >= 2 && children[1] != nullptr && children[1]->kind == nkIntLit) {
      std::int64_t value = children[1]->intVal();
      // Wrapping a dimension into 32 bits would silently write another type.
      if (value < 0 || value > 4294967295LL) {
        throw ValueError("VECTOR dimension must be between 0 and 4294967295");
      }
      dimension = static_cast<std::uint64_t>(value);
    }
    writeRun<Run{map(3), str("variant"), str("Vector"), str("dimension")}>(out_);
    writeUInt(out_, dimension);
    writeLit<"metric">(out_);
    if (children.size() < 3) {
      writeNil(out_);
    } else {
      writeStr(out_, metricName(nodeText(children[2])));
    }
  } else if (name == "Decimal") {
    const NodeList& children = type->children();
    std::int64_t precision = 38;
    std::int64_t scale = 0;
    bool precisionGiven = children.size() >= 2 && children[1] != nullptr && children[1]->kind == nkIntLit;
    bool scaleGiven = children.size() >= 3 && children[2] != nullptr && children[2]->kind == nkIntLit;
    if (precisionGiven) precision = children[1]->intVal();
    if (scaleGiven) scale = children[2]->intVal();
    if ((precisionGiven && (precision < 1 || precision > 38)) || (scaleGiven && (scale < 0 || scale > precision))) {
      throw ValueError("DECIMAL requires 1 <= precision <= 38 and 0 <= scale <= precision");
    }
    writeRun<Run{map(3), str("variant"), str("Decimal"), str("precision")}>(out_);
    writeUInt(out_, static_cast<std::uint64_t>(precision));
    writeLit<"scale">(out_);
    writeUInt(out_, static_cast<std::uint64_t>(scale));
  } else {
    writeRun<Run{map(1), str("variant")}>(out_);
    writeStr(out_, name);
  }
}

}  // namespace vellum::sql
