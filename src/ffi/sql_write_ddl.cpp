// Schema statements: CREATE TABLE with its column definitions and
// constraints, CREATE INDEX, CREATE VIEW, CREATE and ALTER SEQUENCE with
// the sequence options map, DROP and TRUNCATE.
//
// Keyword flags ("IF NOT EXISTS", "TEMPORARY", "IF EXISTS") are identifier
// children in front of the name. A quoted name may spell a flag's text, so a
// flag is only taken as one where the children leave room for it beside the
// name (and, where the count cannot tell, as CREATE INDEX's can't, only when
// the parser marked it): a name is never lost to a flag, and a missing name
// never reads past the children.
#include <charconv>
#include <string>
#include <type_traits>

#include "ffi/sql_writer.h"
#include "ffi/sql_write_bytes.h"
#include "msgpack/encoder.h"
#include "support/errors.h"

namespace vellum::sql {
namespace {

bool isFlag(const SqlNode* node, std::string_view text) {
  return node != nullptr && node->kind == nkIdentifier && node->strVal() == text;
}

// 1 when child 0 is the flag and at least `rest` children follow it.
std::size_t flagCount(const SqlNode* node, std::string_view flag, std::size_t rest) {
  const NodeList& children = node->children();
  return children.size() > rest && isFlag(children[0], flag) ? 1 : 0;
}

std::string upperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  }
  return out;
}

// A constraint's form: its subKind, else the text of its first child;
// upper-cased.
std::string constraintForm(const SqlNode* constraint) {
  check(constraint != nullptr && constraint->kind == nkConstraint, "constraint node expected");
  std::string_view form = constraint->extra().subKind;
  if (form.empty() && !constraint->children().empty()) form = nameText(constraint->children()[0]);
  return upperAscii(form);
}

std::string_view actionName(std::string_view action) {
  std::string upper = upperAscii(action);
  if (upper == "RESTRICT") return "Restrict";
  if (upper == "CASCADE") return "Cascade";
  if (upper == "SET NULL") return "SetNull";
  return "NoAction";
}

// The rest of the first option text that starts with `prefix` ("START="),
// or null.
const std::string_view* findOption(const TextList& options, std::string_view prefix, std::string_view& value) {
  for (const std::string_view& text : options) {
    if (text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix) {
      value = text.substr(prefix.size());
      return &text;
    }
  }
  return nullptr;
}

bool hasOption(const TextList& options, std::string_view text) {
  for (std::string_view option : options) {
    if (option == text) return true;
  }
  return false;
}

template <class Integer>
Integer parseOptionValue(std::string_view text, const char* invalid) {
  Integer value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if constexpr (std::is_unsigned_v<Integer>) {
    // The unsigned conversion takes no sign, but a negative integer is a
    // number outside the range, not a text that is no number; minus zero
    // is zero.
    if (ec == std::errc::invalid_argument && text.size() >= 2 && text[0] == '-') {
      auto [digitsEnd, digitsError] = std::from_chars(text.data() + 1, end, value);
      if (digitsEnd == end) {
        if (digitsError == std::errc() && value == 0) return 0;
        throw ValueError("Parsed integer outside of valid range");
      }
    }
  }
  if (ptr != end || ec == std::errc::invalid_argument) throw ValueError(invalid + std::string(text));
  if (ec == std::errc::result_out_of_range) throw ValueError("Parsed integer outside of valid range");
  return value;
}

void writeSignedOption(OutputStream& out, const TextList& options, std::string_view prefix) {
  std::string_view value;
  if (findOption(options, prefix, value) == nullptr) {
    writeNil(out);
  } else {
    writeInt(out, parseOptionValue<std::int64_t>(value, "invalid integer: "));
  }
}

// The column constraint forms with their own maps.
struct ColumnForm {
  std::string_view form;
  std::string_view variant;
  std::uint32_t entries;
};

constexpr ColumnForm kColumnForms[] = {
    {"NOT NULL", "NotNull", 3}, {"PRIMARY KEY", "PrimaryKey", 3}, {"UNIQUE", "Unique", 3},
    {"DEFAULT", "Default", 4},  {"CHECK", "Check", 4},            {"REFERENCES", "References", 9},
    {"IDENTITY", "Identity", 5},
};

}  // namespace

// ---------------------------------------------------------------------------
// CREATE TABLE.

void SqlWriter::writeCreateTable(const SqlNode* node) {
  fillPartSpans(node);
  const NodeList& children = node->children();
  // The name is the first identifier that is not a flag; when every
  // identifier spells a flag, the name is the last of them.
  const SqlNode* name = nullptr;
  const SqlNode* lastFlag = nullptr;
  const SqlNode* with = nullptr;
  std::size_t columns = 0;
  std::size_t constraints = 0;
  for (const SqlNode* child : children) {
    if (child == nullptr) continue;
    switch (child->kind) {
      case nkIdentifier:
        if (isFlag(child, "IF NOT EXISTS") || isFlag(child, "TEMPORARY")) {
          lastFlag = child;
        } else if (name == nullptr) {
          name = child;
        }
        break;
      case nkColumnDef: ++columns; break;
      case nkConstraint: ++constraints; break;
      case nkWithOptions: with = child; break;
      default: break;
    }
  }
  if (name == nullptr) name = lastFlag;
  bool ifNotExists = false;
  bool temporary = false;
  for (const SqlNode* child : children) {
    if (child == name) continue;
    ifNotExists = ifNotExists || isFlag(child, "IF NOT EXISTS");
    temporary = temporary || isFlag(child, "TEMPORARY");
  }
  writeRun<Run{map(8), str("variant"), str("CreateTable"), str("if_not_exists")}>(out_);
  writeBool(out_, ifNotExists);
  writeLit<"temporary">(out_);
  writeBool(out_, temporary);
  writeLit<"name">(out_);
  writeStr(out_, name != nullptr ? name->strVal() : std::string_view());
  writeLit<"columns">(out_);
  writeArrayHeader(out_, static_cast<std::uint32_t>(columns));
  for (const SqlNode* child : children) {
    if (child != nullptr && child->kind == nkColumnDef) writeColumnDef(child);
  }
  writeLit<"constraints">(out_);
  writeArrayHeader(out_, static_cast<std::uint32_t>(constraints));
  for (const SqlNode* child : children) {
    if (child != nullptr && child->kind == nkConstraint) writeTableConstraint(child);
  }
  writeLit<"with_options">(out_);
  writeWithOptions(with);
  writeSpanEntry(node->span);
}

void SqlWriter::writeColumnDef(const SqlNode* column) {
  check(column != nullptr && column->kind == nkColumnDef, "column definition expected");
  fillPartSpans(column);
  writeRun<Run{map(4), str("name")}>(out_);
  writeStr(out_, column->colName());
  writeLit<"data_type">(out_);
  writeDataType(column->colType());
  writeLit<"constraints">(out_);
  const NodeList& constraints = column->colConstraints();
  writeArrayHeader(out_, static_cast<std::uint32_t>(constraints.size()));
  for (const SqlNode* constraint : constraints) writeColumnConstraint(constraint);
  writeSpanEntry(column->span);
}

void SqlWriter::writeColumnConstraint(const SqlNode* constraint) {
  std::string form = constraintForm(constraint);
  const SqlNodeExtra& extra = constraint->extra();
  const ColumnForm* known = nullptr;
  for (const ColumnForm& f : kColumnForms) {
    if (form == f.form) known = &f;
  }
  if (known == nullptr) {
    writeRun<Run{map(2), str("variant")}>(out_);
    writeStr(out_, form);
    writeSpanEntry(constraint->span);
    return;
  }
  std::string_view variant = known->variant;
  writeMapHeader(out_, known->entries);
  writeLit<"variant">(out_);
  writeStr(out_, variant);
  writeLit<"name">(out_);
  writeTextOrNil(extra.constraintName);
  if (variant == "Default") {
    fillPartSpans(constraint);
    writeLit<"value">(out_);
    const NodeList& children = constraint->children();
    if (children.size() < 2) {
      writeNil(out_);
    } else {
      writeExpr(children[1]);
    }
  } else if (variant == "Check") {
    writeLit<"expression">(out_);
    writeUnfilledExpr(extra.extraExpr);
  } else if (variant == "References") {
    writeLit<"table">(out_);
    writeStr(out_, extra.refTable);
    writeLit<"columns">(out_);
    writeTextArray(extra.refColumns);
    writeReferenceEntries(extra);
  } else if (variant == "Identity") {
    writeLit<"generation">(out_);
    writeStr(out_, extra.detailText == "ALWAYS" ? "Always" : "ByDefault");
    writeLit<"options">(out_);
    writeSequenceOptions(extra.sequenceOptions);
  }
  writeSpanEntry(constraint->span);
}

void SqlWriter::writeTableConstraint(const SqlNode* constraint) {
  std::string form = constraintForm(constraint);
  const SqlNodeExtra& extra = constraint->extra();
  if (form == "PRIMARY KEY" || form == "UNIQUE") {
    writeRun<Run{map(4), str("variant")}>(out_);
    writeStr(out_, form == "UNIQUE" ? "Unique" : "PrimaryKey");
    writeLit<"name">(out_);
    writeTextOrNil(extra.constraintName);
    writeLit<"columns">(out_);
    writeTextArray(extra.columnNames);
  } else if (form == "FOREIGN KEY") {
    writeRun<Run{map(10), str("variant"), str("ForeignKey"), str("name")}>(out_);
    writeTextOrNil(extra.constraintName);
    writeLit<"columns">(out_);
    writeTextArray(extra.columnNames);
    writeLit<"referenced_table">(out_);
    writeStr(out_, extra.refTable);
    writeLit<"referenced_columns">(out_);
    writeTextArray(extra.refColumns);
    writeReferenceEntries(extra);
  } else if (form == "CHECK") {
    writeRun<Run{map(4), str("variant"), str("Check"), str("name")}>(out_);
    writeTextOrNil(extra.constraintName);
    writeLit<"expression">(out_);
    writeUnfilledExpr(extra.extraExpr);
  } else {
    throw ValueError("unsupported table constraint " + form);
  }
  writeSpanEntry(constraint->span);
}

// "on_delete", "on_update", "deferrable", "initially_deferred".
void SqlWriter::writeReferenceEntries(const SqlNodeExtra& extra) {
  writeLit<"on_delete">(out_);
  writeStr(out_, actionName(extra.onDelete));
  writeLit<"on_update">(out_);
  writeStr(out_, actionName(extra.onUpdate));
  writeLit<"deferrable">(out_);
  writeBool(out_, extra.deferrable);
  writeLit<"initially_deferred">(out_);
  writeBool(out_, extra.initiallyDeferred);
}

// The options array of a WITH list; empty without one.
void SqlWriter::writeWithOptions(const SqlNode* options) {
  if (options == nullptr) {
    writeArrayHeader(out_, 0);
    return;
  }
  fillPartSpans(options);
  const NodeList& list = options->children();
  writeArrayHeader(out_, static_cast<std::uint32_t>(list.size()));
  for (const SqlNode* option : list) {
    check(option != nullptr, "WITH option is nil");
    const NodeList& parts = option->children();
    writeRun<Run{map(3), str("key")}>(out_);
    writeStr(out_, nameText(option->child(0)));
    writeLit<"value">(out_);
    writeStr(out_, parts.size() < 2 ? std::string_view() : nameText(parts[1]));
    writeSpanEntry(option->span);
  }
}

// ---------------------------------------------------------------------------
// CREATE INDEX and CREATE VIEW.

void SqlWriter::writeCreateIndex(const SqlNode* node) {
  fillPartSpans(node);
  const NodeList& children = node->children();
  const SqlNode* with = !children.empty() && children.back() != nullptr && children.back()->kind == nkWithOptions
                            ? children.back()
                            : nullptr;
  std::size_t parts = children.size() - (with != nullptr ? 1 : 0);
  // Without the flag: name, table, column and an optional method. Four
  // parts are a flag and three names, or a name spelling the flag, two names
  // and a method: only the parser knows which.
  std::size_t first =
      parts >= 4 && isFlag(children[0], "IF NOT EXISTS") && (parts >= 5 || children[0]->extra().keywordFlag) ? 1 : 0;
  const SqlNode* method = first + 3 < parts && children[first + 3] != nullptr &&
                                  children[first + 3]->kind == nkIdentifier
                              ? children[first + 3]
                              : nullptr;
  writeRun<Run{map(8), str("variant"), str("CreateIndex"), str("if_not_exists")}>(out_);
  writeBool(out_, first == 1);
  writeLit<"name">(out_);
  writeStr(out_, nameText(node->child(first)));
  writeLit<"table">(out_);
  writeStr(out_, nameText(node->child(first + 1)));
  writeLit<"column">(out_);
  writeStr(out_, nameText(node->child(first + 2)));
  writeLit<"method">(out_);
  std::string_view methodText = method != nullptr ? method->strVal() : std::string_view();
  std::string upper = upperAscii(methodText);
  if (upper == "BTREE") {
    writeLit<"BTree">(out_);
  } else if (upper == "HNSW") {
    writeLit<"Hnsw">(out_);
  } else if (upper == "FTS") {
    writeLit<"Fts">(out_);
  } else {
    writeTextOrNil(methodText);
  }
  writeLit<"options">(out_);
  writeWithOptions(with);
  writeSpanEntry(node->span);
}

void SqlWriter::writeCreateView(const SqlNode* node) {
  fillPartSpans(node);
  std::size_t first = flagCount(node, "IF NOT EXISTS", 3);
  const SqlNode* columns = node->child(first + 1);
  check(columns != nullptr, "CREATE VIEW without a column list");
  writeRun<Run{map(6), str("variant"), str("CreateView"), str("if_not_exists")}>(out_);
  writeBool(out_, first == 1);
  writeLit<"name">(out_);
  writeStr(out_, nameText(node->child(first)));
  writeLit<"columns">(out_);
  writeNameArray(columns);
  writeLit<"query">(out_);
  writeSubquery(node->child(first + 2));
  writeSpanEntry(node->span);
}

// ---------------------------------------------------------------------------
// Sequences.

void SqlWriter::writeSequenceStatement(const SqlNode* node) {
  bool create = node->kind == nkCreateSequence;
  check(create || node->kind == nkAlterSequence, "sequence statement expected");
  std::size_t first = flagCount(node, create ? "IF NOT EXISTS" : "IF EXISTS", 1);
  writeRun<Run{map(5), str("variant")}>(out_);
  if (create) {
    writeRun<Run{str("CreateSequence"), str("if_not_exists")}>(out_);
  } else {
    writeRun<Run{str("AlterSequence"), str("if_exists")}>(out_);
  }
  writeBool(out_, first == 1);
  writeLit<"name">(out_);
  writeStr(out_, nameText(node->child(first)));
  writeLit<"options">(out_);
  writeSequenceOptions(node->extra().sequenceOptions);
  writeSpanEntry(node->span);
}

void SqlWriter::writeSequenceOptions(const TextList& options) {
  writeRun<Run{map(9), str("start")}>(out_);
  writeSignedOption(out_, options, "START=");
  writeLit<"increment">(out_);
  writeSignedOption(out_, options, "INCREMENT=");
  writeLit<"min_value">(out_);
  writeSignedOption(out_, options, "MINVALUE=");
  writeLit<"max_value">(out_);
  writeSignedOption(out_, options, "MAXVALUE=");
  writeLit<"cache">(out_);
  std::string_view value;
  if (findOption(options, "CACHE=", value) == nullptr) {
    writeNil(out_);
  } else {
    writeUInt(out_, parseOptionValue<std::uint64_t>(value, "invalid unsigned integer: "));
  }
  writeLit<"cycle">(out_);
  if (hasOption(options, "CYCLE")) {
    writeBool(out_, true);
  } else if (hasOption(options, "NO CYCLE")) {
    writeBool(out_, false);
  } else {
    writeNil(out_);
  }
  writeLit<"restart">(out_);
  writeSignedOption(out_, options, "RESTART=");
  writeLit<"restart_default">(out_);
  writeBool(out_, hasOption(options, "RESTART"));
  writeLit<"owned_by">(out_);
  if (findOption(options, "OWNED BY=", value) == nullptr) {
    writeNil(out_);
  } else {
    writeStr(out_, value);
  }
}

// ---------------------------------------------------------------------------
// DROP and TRUNCATE.

void SqlWriter::writeDrop(const SqlNode* node) {
  std::string_view variant;
  switch (node->kind) {
    case nkDropTable: variant = "DropTable"; break;
    case nkDropView: variant = "DropView"; break;
    case nkDropIndex: variant = "DropIndex"; break;
    case nkDropSequence: variant = "DropSequence"; break;
    default: raiseDefect("DROP statement expected");
  }
  std::size_t first = flagCount(node, "IF EXISTS", 1);
  writeRun<Run{map(4), str("variant")}>(out_);
  writeStr(out_, variant);
  writeLit<"if_exists">(out_);
  writeBool(out_, first == 1);
  writeLit<"name">(out_);
  writeStr(out_, nameText(node->child(first)));
  writeSpanEntry(node->span);
}

void SqlWriter::writeTruncate(const SqlNode* node) {
  writeRun<Run{map(3), str("variant"), str("Truncate"), str("name")}>(out_);
  writeStr(out_, nameText(node->child(0)));
  writeSpanEntry(node->span);
}

}  // namespace vellum::sql
