// Select and ORDER BY items, window definitions and frames, data types,
// and the text of float literals.
#include <charconv>
#include <cmath>
#include <cstring>

#include "ffi/sql_write_bytes.h"
#include "ffi/sql_writer.h"
#include "msgpack/encoder.h"
#include "support/errors.h"
#include "support/float_environment.h"

namespace vellum::sql {
namespace {

const SqlNode* need(const SqlNode* node, const char* what) {
  check(node != nullptr, what);
  return node;
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

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

// kCanonicalTypes grouped by the length of the written name (the written
// names differ, so the order they are tried in does not matter).
constexpr std::size_t kTypeCount = sizeof kCanonicalTypes / sizeof kCanonicalTypes[0];
constexpr std::size_t kLongestTypeName = 11;

struct TypesByLength {
  CanonicalType types[kTypeCount] = {};
  std::uint8_t first[kLongestTypeName + 2] = {};  // types of length n: [first[n], first[n + 1])
};

constexpr TypesByLength kTypesByLength = [] {
  TypesByLength t;
  std::size_t k = 0;
  for (std::size_t n = 0; n <= kLongestTypeName; ++n) {
    t.first[n] = static_cast<std::uint8_t>(k);
    for (const CanonicalType& type : kCanonicalTypes) {
      if (type.written.size() > kLongestTypeName) throw "type name longer than kLongestTypeName";
      if (type.written.size() == n) t.types[k++] = type;
    }
  }
  t.first[kLongestTypeName + 1] = static_cast<std::uint8_t>(k);
  if (k != kTypeCount) throw "type names not all grouped";
  return t;
}();

// The canonical name of a type, or the name as written when it is not listed.
std::string_view canonicalTypeName(std::string_view written) {
  if (written.size() > kLongestTypeName) return written;
  for (std::size_t i = kTypesByLength.first[written.size()]; i < kTypesByLength.first[written.size() + 1]; ++i) {
    if (equalsUpper(written, kTypesByLength.types[i].written)) return kTypesByLength.types[i].name;
  }
  return written;
}

std::string_view metricName(std::string_view written) {
  if (equalsUpper(written, "COSINE")) return "Cosine";
  if (equalsUpper(written, "L2")) return "L2";
  if (equalsUpper(written, "INNER")) return "Inner";
  return written;
}

// The name a type parameter stands for. The parser takes any expression as
// a type parameter ("ARRAY(1 + 1)", "VECTOR(3, f(x))"); one that names
// nothing reads as the empty name instead of failing the document as if the
// tree were broken.
std::string_view parameterText(const SqlNode* node) {
  if (node == nullptr) return {};
  if (node->hasChildren()) {
    // A type node named by an identifier, the usual case, read in place.
    const NodeList& children = node->children();
    if (!children.empty() && children[0] != nullptr && children[0]->kind == nkIdentifier) {
      return children[0]->strVal();
    }
    return nameText(node);
  }
  switch (node->kind) {
    case nkIdentifier: case nkStringLit: case nkIntLit: case nkFloatLit: case nkBoolLit: case nkNull:
      return nameText(node);
    default:
      return {};
  }
}

// Child `i` of a type node, or null when the type was written without it
// ("ARRAY" or "MAP" without angle brackets).
const SqlNode* typeParameter(const SqlNode* type, std::size_t i) {
  if (!type->hasChildren()) return nullptr;  // a bare name used as a parameter: "MAP(array, 1)"
  const NodeList& children = type->children();
  return i < children.size() ? children[i] : nullptr;
}

// The children of a type node; none for a bare name used as a parameter.
const NodeList& typeChildren(const SqlNode* type) {
  static const NodeList kNone;
  return type->hasChildren() ? type->children() : kNone;
}

}  // namespace

// ---------------------------------------------------------------------------
// Float text.

namespace {

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The shortest round-trip digits of a positive finite `value` (as
// formatFloatText wants them) without the general algorithm, when the value
// is that of a decimal with at most 15 significant digits and at most 22
// after the point: most float literals. Such a decimal is the only one of
// at most 15 digits that gives the value, so the one with the fewest digits
// after the point is the shortest. For each count k of digits after the
// point, the integer nearest to value * 10^k, divided by the exact 10^k,
// gives the value exactly when that decimal does (the division rounds
// correctly); below 10^15 the rounding of the product cannot pick the wrong
// integer. All of this holds when rounding to nearest, the mode the host
// almost always keeps; in another one the general algorithm, which does not
// depend on it, is taken.
bool shortDecimalDigits(double value, char* digits, int& n, int& point) {
  if (!roundsToNearest()) return false;
  for (int k = 0; k < static_cast<int>(std::size(kPowersOfTen)); ++k) {
    const double scaled = value * kPowersOfTen[k];
    if (!(scaled < 1e15)) return false;
    const auto integer = static_cast<std::uint64_t>(scaled + 0.5);
    if (static_cast<double>(integer) / kPowersOfTen[k] != value) continue;
    char text[24];
    const int length = static_cast<int>(std::to_chars(text, text + sizeof text, integer).ptr - text);
    n = length;
    while (n > 1 && text[n - 1] == '0') --n;
    std::memcpy(digits, text, static_cast<std::size_t>(n));
    point = length - k;
    return true;
  }
  return false;
}

}  // namespace

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

  // The shortest round-trip digits d1...dn, and the value as 0.d1...dn
  // times ten to the point-th power.
  char digits[24];
  int n = 0;
  int point = 0;
  if (!shortDecimalDigits(value, digits, n, point)) {
    // In scientific form: d[.ddd]e(+|-)xx.
    char sci[32];
    char* sciEnd = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
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
    point = exponent + 1;
  }
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
// Items, windows and types.

void SqlWriter::writeSelectItem(const SqlNode* item) {
  need(item, "select item is nil");
  switch (item->kind) {
    case nkStar:
      writeRun<Run{map(2), str("variant"), str("Wildcard")}>(out_);
      break;
    case nkQualifiedStar:
      writeRun<Run{map(3), str("variant"), str("QualifiedWildcard"), str("table")}>(out_);
      writeStr(out_, nameText(item->child(0)));
      break;
    case nkAlias:
      fillPartSpans(item);
      writeRun<Run{map(4), str("variant"), str("Expr"), str("expr")}>(out_);
      writeExpr(item->aliasExpr());
      writeLit<"alias">(out_);
      writeStr(out_, item->aliasName());
      break;
    default: {
      constexpr Run kHead{map(4), str("variant"), str("Expr"), str("expr")};
      constexpr Run kNoAlias{str("alias"), nil};
      // A column or string literal leaf with a short text and a templated span:
      // the item's map and the leaf's (which share the span) in place.
      if (item->kind == nkIdentifier || item->kind == nkStringLit) {
        std::string_view text = item->strVal();
        SpanWords span(item->span);
        std::uint8_t* p = out_.reserve(kHead.size + kLeafRoom + kNoAlias.size + kTemplateSpanEntryRoom);
        if (p != nullptr && text.size() < 32 && span.templated()) {
          p = putRun<kHead>(p);
          p = item->kind == nkIdentifier ? putLeafText<kColumnLeaf>(p, text) : putLeafText<kStringLeaf>(p, text);
          p = putRun<kNoAlias>(putTemplateSpanEntry(p, span));
          out_.commit(putTemplateSpanEntry(p, span));
          return;
        }
      }
      writeRun<kHead>(out_);
      writeExpr(item);
      writeRunAndSpanEntry<kNoAlias>(item->span);
      return;
    }
  }
  writeSpanEntry(item->span);
}

void SqlWriter::writeOrderByItem(const SqlNode* item) {
  need(item, "ORDER BY item is nil");
  writeRun<Run{map(4), str("expr")}>(out_);
  writeExpr(item);  // an ASC/DESC wrapper is an alias, which writeExpr skips
  // The rest of the map with one window check when the span is templated.
  constexpr Run kAsc{str("asc")};
  constexpr Run kNullsFirst{str("nulls_first")};
  SpanWords span(item->span);
  std::uint8_t* p = out_.reserve(kAsc.size + 1 + kNullsFirst.size + 1 + kTemplateSpanEntryRoom);
  if (p != nullptr && span.templated()) {
    auto flag = [](std::int8_t value) -> std::uint8_t { return value == -1 ? 0xc0 : value != 0 ? 0xc3 : 0xc2; };
    p = putRun<kAsc>(p);
    *p++ = flag(item->ascending);
    p = putRun<kNullsFirst>(p);
    *p++ = flag(item->nullsFirst);
    out_.commit(putTemplateSpanEntry(p, span));
    return;
  }
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
  fillPartSpans(clause);
  const NodeList& items = clause->children();
  writeArrayHeader(out_, static_cast<std::uint32_t>(items.size()));
  for (const SqlNode* item : items) writeOrderByItem(item);
}

void SqlWriter::writeWindowSpec(const SqlNode* window) {
  const SqlNode* base = nullptr;
  const SqlNode* partition = nullptr;
  const SqlNode* order = nullptr;
  const SqlNode* frame = nullptr;
  fillPartSpans(need(window, "window definition is nil"));
  for (const SqlNode* child : window->children()) {
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
    writeChildExprs(partition);
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
  fillPartSpans(frame);
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
  if (type == nullptr) {
    writeNil(out_);  // a container type written without its parameters
    return;
  }
  std::string_view name = canonicalTypeName(parameterText(type));
  if (name == "Array") {
    writeRun<Run{map(2), str("variant"), str("Array"), str("element")}>(out_);
    writeDataType(typeParameter(type, 1));
  } else if (name == "Map") {
    writeRun<Run{map(3), str("variant"), str("Map"), str("key")}>(out_);
    writeDataType(typeParameter(type, 1));
    writeLit<"value">(out_);
    writeDataType(typeParameter(type, 2));
  } else if (name == "Struct") {
    const NodeList& children = typeChildren(type);
    std::size_t fields = children.empty() ? 0 : (children.size() - 1) / 2;
    writeRun<Run{map(2), str("variant"), str("Struct"), str("fields")}>(out_);
    writeArrayHeader(out_, static_cast<std::uint32_t>(fields));
    for (std::size_t i = 1; i + 1 < children.size(); i += 2) {
      writeRun<Run{map(2), str("name")}>(out_);
      writeStr(out_, parameterText(children[i]));
      writeLit<"data_type">(out_);
      writeDataType(children[i + 1]);
    }
  } else if (name == "Vector") {
    const NodeList& children = typeChildren(type);
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
      writeStr(out_, metricName(parameterText(children[2])));
    }
  } else if (name == "Decimal") {
    const NodeList& children = typeChildren(type);
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
    // Most names are short: the map in one window check.
    constexpr Run kHead{map(1), str("variant")};
    std::uint8_t* p = out_.reserve(kHead.size + 32);
    if (p != nullptr && name.size() < 32) {
      out_.commit(putShortStr(putRun<kHead>(p), name));
      return;
    }
    writeRun<kHead>(out_);
    writeStr(out_, name);
  }
}

}  // namespace vellum::sql
