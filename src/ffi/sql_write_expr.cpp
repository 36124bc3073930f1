// Expression envelopes: the lead-child walk, every expression variant map,
// literals and function calls.
#include <charconv>
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

const SqlNode* need(const SqlNode* node, const char* what) {
  check(node != nullptr, what);
  return node;
}

[[gnu::noinline]] CallClauses scanCallClauses(const SqlNode* call) {
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

bool isCallClause(const SqlNode* node) {
  switch (node->kind) {
    case nkOrderByClause: case nkWithinGroupClause: case nkAggFilterClause: case nkWindowSpec: return true;
    default: return false;
  }
}

// The common call ends in an argument: no clause to look for.
inline CallClauses callClauses(const SqlNode* call) {
  const NodeList& children = call->children();
  const std::size_t count = children.size();
  if (count >= 2 && children[count - 1] != nullptr && !isCallClause(children[count - 1])) {
    CallClauses c;
    c.argEnd = count;
    return c;
  }
  return scanCallClauses(call);
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
constexpr std::string_view binaryOpText(SqlBinaryOp op) {
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

// The entries of a BinaryOp map between its operands, {"op": <text>, "right"
// key}, for every operator binaryOpText names; size 0 for the others. Each
// is padded to a fixed-size copy.
struct OpEntries {
  std::uint8_t bytes[32] = {};
  std::size_t size = 0;
};

struct OpEntryTable {
  OpEntries of[opShiftRight + 1];
};

constexpr OpEntryTable kOpEntries = [] {
  OpEntryTable t;
  auto set = [&t](SqlBinaryOp op, std::string_view text) {
    OpEntries& e = t.of[op];
    auto put = [&e](std::string_view s) {
      e.bytes[e.size++] = static_cast<std::uint8_t>(0xa0 | s.size());
      for (char c : s) e.bytes[e.size++] = static_cast<std::uint8_t>(c);
    };
    put("op");
    put(text);
    put("right");
  };
  for (int op = opEq; op <= opShiftRight; ++op) {
    // binaryOpText names these; the rest come from binaryOpName at run time.
    if ((op >= opEq && op <= opOr) || (op >= opBitAnd && op <= opShiftRight)) {
      set(static_cast<SqlBinaryOp>(op), binaryOpText(static_cast<SqlBinaryOp>(op)));
    }
  }
  return t;
}();

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

}  // namespace

// ---------------------------------------------------------------------------
// Small pieces.

std::uint8_t* putWideSpanMap(std::uint8_t* p, SpanWords span) {
  if (span.midLines()) return putSpanFrom(p, kMidLineSpan, span);
  p = putRun<Run{map(2), str("start"), map(2), str("line")}>(p);
  p = putInt32(p, static_cast<std::int32_t>(span.start));
  p = putRun<Run{str("column")}>(p);
  p = putInt32(p, static_cast<std::int32_t>(span.start >> 32));
  p = putRun<Run{str("end"), map(2), str("line")}>(p);
  p = putInt32(p, static_cast<std::int32_t>(span.end));
  p = putRun<Run{str("column")}>(p);
  return putInt32(p, static_cast<std::int32_t>(span.end >> 32));
}

std::uint8_t* putWideSpanEntry(std::uint8_t* p, SpanWords span) {
  if (span.midLines()) return putSpanFrom(p, kMidLineSpanEntry, span);
  return putWideSpanMap(putRun<Run{str("span")}>(p), span);
}

SqlWriter::SqlWriter(OutputStream& out) : out_(out) {}

void SqlWriter::writeSpan(const SqlSpan& span) {
  std::uint8_t bytes[64];
  std::uint8_t* end = putSpanMap(bytes, SpanWords(span));
  out_.writeData(bytes, static_cast<std::size_t>(end - bytes));
}

void SqlWriter::writeAnySpanEntry(const SqlSpan& span) {
  // At most 62 bytes; straight into the stream when its window has room.
  if (std::uint8_t* p = out_.reserve(kSpanEntryRoom)) {
    out_.commit(putSpanEntry(p, SpanWords(span)));
    return;
  }
  std::uint8_t bytes[kSpanEntryRoom];
  std::uint8_t* end = putSpanEntry(bytes, SpanWords(span));
  out_.writeData(bytes, static_cast<std::size_t>(end - bytes));
}

void SqlWriter::writeTextArray(const TextList& texts) {
  writeArrayHeader(out_, static_cast<std::uint32_t>(texts.size()));
  for (std::string_view t : texts) writeStr(out_, t);
}

void SqlWriter::writeNameArray(const SqlNode* list) {
  if (list == nullptr) {
    writeArrayHeader(out_, 0);
    return;
  }
  const NodeList& names = list->children();
  writeArrayHeader(out_, static_cast<std::uint32_t>(names.size()));
  for (const SqlNode* name : names) writeStr(out_, nameText(name));
}

void SqlWriter::writeTextOrNil(std::string_view text) {
  if (text.empty()) {
    writeNil(out_);
  } else {
    writeStr(out_, text);
  }
}

void SqlWriter::writeUnfilledExpr(const SqlNode* node) {
  struct Restore {
    bool& filling;
    bool saved;
    ~Restore() { filling = saved; }
  } restore{filling_, filling_};
  filling_ = false;
  writeExpr(node);
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

// The most common expressions, a column named by a plain identifier, an
// integer and a string literal, go into the stream's window at once when the
// window has room, the text is short and the span small; any other
// expression, and these when they do not qualify, take the walk below, which
// writes the same bytes.
void SqlWriter::writeExpr(const SqlNode* node) {
  if (node != nullptr) {
    switch (node->kind) {
      case nkIdentifier:
      case nkStringLit: {
        std::string_view text = node->strVal();
        SpanWords span(node->span);
        std::uint8_t* p = out_.reserve(kLeafRoom);
        if (p != nullptr && text.size() < 32) {
          p = node->kind == nkIdentifier ? putLeafText<kColumnLeaf>(p, text) : putLeafText<kStringLeaf>(p, text);
          out_.commit(putSpanEntry(p, span));
          return;
        }
        break;
      }
      case nkIntLit:
        return writeNumberExpr(node);
      default:
        break;
    }
  }
  writeExprTree(node);
}

void SqlWriter::writeNumberExpr(const SqlNode* node) {
  // The digits (at most 20) are copied as the whole buffer, zeroed so that
  // no byte of it is undefined; the window has room for 32 bytes of text.
  char digits[32] = {};
  const std::size_t length = static_cast<std::size_t>(
      std::to_chars(digits, digits + sizeof digits, node->intVal()).ptr - digits);
  if (std::uint8_t* p = out_.reserve(kLeafRoom)) {
    p = putRun<kNumberLeaf>(p);
    *p++ = static_cast<std::uint8_t>(0xa0 | length);
    std::memcpy(p, digits, sizeof digits);
    out_.commit(putSpanEntry(p + length, SpanWords(node->span)));
    return;
  }
  writeExprTree(node);
}

// Any expression, walked down its lead children.
void SqlWriter::writeExprTree(const SqlNode* node) {
  const std::size_t base = chain_.size();
  // Down the lead children: each map is written up to its lead child's value.
  for (;;) {
    // An alias (ORDER BY's ASC or DESC wrapper) is passed over.
    while (node != nullptr && node->kind == nkAlias) {
      fillPartSpans(node);
      node = node->aliasExpr();
    }
    if (node == nullptr) {
      writeNil(out_);
      break;
    }
    fillPartSpans(node);
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
inline bool SqlWriter::writeExprHead(const SqlNode* node, const SqlNode** lead) {
  // Every case starts with the envelope: {"kind": <variant map>...
  switch (node->kind) {
    case nkIdentifier:
      writeRun<Run{map(2), str("kind"), map(3), str("variant"), str("ColumnRef"), str("table"), nil, str("column")}>(out_);
      writeStr(out_, node->strVal());
      return false;
    case nkColumnRef:
      writeRun<Run{map(2), str("kind"), map(3), str("variant"), str("ColumnRef"), str("table")}>(out_);
      writeStr(out_, nameText(node->child(0)));
      writeLit<"column">(out_);
      writeStr(out_, nameText(node->child(1)));
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
      writeInt(out_, node->paramIndex());
      return false;
    case nkBinaryOp: {
      // Each head is one constant run.
      SqlBinaryOp op = node->binOp();
      if (op == opBetween || op == opNotBetween) {
        writeRun<Run{map(2), str("kind"), map(5), str("variant"), str("Between"), str("expr")}>(out_);
      } else if (isLikeOp(op)) {
        writeRun<Run{map(2), str("kind"), map(6), str("variant"), str("Like"), str("expr")}>(out_);
      } else if (op == opIn || op == opNotIn) {
        writeRun<Run{map(2), str("kind"), map(4), str("variant"), str("InList"), str("expr")}>(out_);
      } else {
        writeRun<Run{map(2), str("kind"), map(4), str("variant"), str("BinaryOp"), str("left")}>(out_);
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
      constexpr Run kPlainHead{map(2), str("kind"), map(6), str("variant"), str("FunctionCall"), str("name")};
      constexpr Run kExtendedHead{map(2), str("kind"), map(9), str("variant"), str("FunctionCall"), str("name")};
      constexpr Run kArgs{str("args")};
      const CallClauses clauses = callClauses(node);
      const std::string_view name = nameText(node->child(0));
      const bool noArgs = node->star || clauses.argEnd <= 1;
      const std::size_t args = noArgs ? 0 : clauses.argEnd - 1;
      // With a short name and fewer than 16 arguments, the map up to the
      // arguments with one window check.
      std::uint8_t* p = name.size() < 32 && args < 16 ? out_.reserve(kPlainHead.size + 32 + kArgs.size + 1) : nullptr;
      if (p != nullptr) {
        p = clauses.extended() ? putRun<kExtendedHead>(p) : putRun<kPlainHead>(p);
        p = putRun<kArgs>(putShortStr(p, name));
        *p++ = static_cast<std::uint8_t>(0x90 | args);
        out_.commit(p);
      } else {
        if (clauses.extended()) {
          writeRun<kExtendedHead>(out_);
        } else {
          writeRun<kPlainHead>(out_);
        }
        writeStr(out_, name);
        writeRun<kArgs>(out_);
        writeArrayHeader(out_, static_cast<std::uint32_t>(args));
      }
      if (noArgs) {
        writeCallAfterArgs(node, clauses);
        return false;
      }
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
      writeStr(out_, nameText(node));
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
        fillPartSpans(need(right, "BETWEEN without bounds"));
        writeLit<"low">(out_);
        writeExpr(right->child(0));
        writeLit<"high">(out_);
        writeExpr(right->child(1));
        writeLit<"negated">(out_);
        writeBool(out_, op == opNotBetween);
      } else if (isLikeOp(op)) {
        bool withEscape = right != nullptr && right->kind == nkExprList;
        if (withEscape) fillPartSpans(right);
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
        writeLit<"list">(out_);
        writeChildExprs(need(right, "IN without a list"));
        writeLit<"negated">(out_);
        writeBool(out_, op == opNotIn);
      } else {
        const OpEntries& entries = kOpEntries.of[op <= opShiftRight ? op : opIs];
        std::uint8_t* p = out_.reserve(sizeof entries.bytes);
        if (p != nullptr && entries.size != 0) {
          std::memcpy(p, entries.bytes, sizeof entries.bytes);
          out_.commit(p + entries.size);
        } else {
          writeLit<"op">(out_);
          writeStr(out_, binaryOpText(op));
          writeLit<"right">(out_);
        }
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
      std::string_view text = nameText(node->child(1));
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
      writeStr(out_, quantifiedOpText(nameText(node->child(1))));
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
  if (!node->distinct && !clauses.extended() && clauses.over == nullptr) {
    // A plain call: one constant run.
    if (node->star) {
      writeRun<Run{str("distinct"), no, str("star"), yes, str("over"), nil}>(out_);
    } else {
      writeRun<Run{str("distinct"), no, str("star"), no, str("over"), nil}>(out_);
    }
    return;
  }
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
      fillPartSpans(clauses.filter);
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
    fillPartSpans(need(branch, "CASE branch is nil"));
    writeRun<Run{map(2), str("when")}>(out_);
    writeExpr(branch->caseWhen());
    writeLit<"then">(out_);
    writeExpr(branch->caseThen());
  }
  writeLit<"else_expr">(out_);
  writeExpr(node->caseElse());
}

}  // namespace vellum::sql
