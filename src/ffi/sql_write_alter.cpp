// ALTER TABLE with its action and column operation maps, and CREATE
// CONTINUOUS AGGREGATE (its query is the restricted SELECT map).
#include "ffi/sql_writer.h"
#include "ffi/sql_write_bytes.h"
#include "msgpack/encoder.h"
#include "support/errors.h"

namespace vellum::sql {
namespace {

// 1 when child 0 is the keyword flag and at least `rest` children follow it,
// so that a quoted name spelling the flag's text is never taken for it.
std::size_t leadingFlag(const SqlNode* node, std::string_view flag, std::size_t rest) {
  const NodeList& children = node->children();
  if (children.size() <= rest) return 0;
  const SqlNode* first = children[0];
  return first != nullptr && first->kind == nkIdentifier && first->strVal() == flag ? 1 : 0;
}

// A node that must hold a string (names, option keys and values).
std::string_view stringValue(const SqlNode* node) {
  check(node != nullptr && (node->kind == nkIdentifier || node->kind == nkStringLit), "string-valued node expected");
  return node->strVal();
}

}  // namespace

void SqlWriter::writeAlterTable(const SqlNode* node) {
  fillPartSpans(node);
  std::size_t first = leadingFlag(node, "IF EXISTS", 2);
  writeRun<Run{map(5), str("variant"), str("AlterTable"), str("if_exists")}>(out_);
  writeBool(out_, first == 1);
  writeLit<"name">(out_);
  writeStr(out_, nameText(node->child(first)));
  writeLit<"action">(out_);
  const SqlNode* action = node->child(first + 1);
  fillPartSpans(action);
  switch (action != nullptr ? action->kind : nkStatementList) {
    case nkAlterAddColumn: {
      std::size_t flag = leadingFlag(action, "IF NOT EXISTS", 1);
      writeRun<Run{map(3), str("variant"), str("AddColumn"), str("if_not_exists")}>(out_);
      writeBool(out_, flag == 1);
      writeLit<"column">(out_);
      writeColumnDef(action->child(flag));
      break;
    }
    case nkAlterDropColumn: {
      std::size_t flag = leadingFlag(action, "IF EXISTS", 1);
      writeRun<Run{map(3), str("variant"), str("DropColumn"), str("if_exists")}>(out_);
      writeBool(out_, flag == 1);
      writeLit<"name">(out_);
      writeStr(out_, nameText(action->child(flag)));
      break;
    }
    case nkAlterRenameColumn:
      writeRun<Run{map(3), str("variant"), str("RenameColumn"), str("old_name")}>(out_);
      writeStr(out_, nameText(action->child(0)));
      writeLit<"new_name">(out_);
      writeStr(out_, nameText(action->child(1)));
      break;
    case nkAlterRenameTable:
      writeRun<Run{map(2), str("variant"), str("RenameTable"), str("new_name")}>(out_);
      writeStr(out_, nameText(action->child(0)));
      break;
    case nkAlterColumn: {
      const SqlNode* operation = action->child(1);
      fillPartSpans(operation);
      writeRun<Run{map(3), str("variant"), str("AlterColumn"), str("name")}>(out_);
      writeStr(out_, nameText(action->child(0)));
      writeLit<"action">(out_);
      switch (operation != nullptr ? operation->kind : nkStatementList) {
        case nkAlterSetDataType:
          writeRun<Run{map(2), str("variant"), str("SetDataType"), str("data_type")}>(out_);
          writeDataType(operation->child(0));
          break;
        case nkAlterSetDefault:
          writeRun<Run{map(2), str("variant"), str("SetDefault"), str("value")}>(out_);
          writeExpr(operation->child(0));
          break;
        case nkAlterDropDefault:
          writeRun<Run{map(1), str("variant"), str("DropDefault")}>(out_);
          break;
        case nkAlterSetNotNull:
          writeRun<Run{map(1), str("variant"), str("SetNotNull")}>(out_);
          break;
        case nkAlterDropNotNull:
          writeRun<Run{map(1), str("variant"), str("DropNotNull")}>(out_);
          break;
        default:
          throw ParseError("invalid ALTER COLUMN operation");
      }
      break;
    }
    default:
      throw ParseError("invalid ALTER TABLE action");
  }
  writeSpanEntry(node->span);
}

void SqlWriter::writeCreateContinuousAggregate(const SqlNode* node) {
  fillPartSpans(node);
  const SqlNode* name = node->child(0);
  const SqlNode* query = node->child(1);
  const SqlNode* options = node->child(2);
  check(query != nullptr && query->kind == nkSelect, "continuous aggregate query must be a SELECT");
  check(options != nullptr, "continuous aggregate without options");
  writeRun<Run{map(6), str("variant"), str("CreateContinuousAggregate"), str("name")}>(out_);
  writeStr(out_, stringValue(name));
  writeLit<"name_span">(out_);
  writeSpan(name->span);
  writeLit<"query">(out_);
  writeRestrictedSelect(query);
  writeLit<"options">(out_);
  fillPartSpans(options);
  const NodeList& list = options->children();
  writeArrayHeader(out_, static_cast<std::uint32_t>(list.size()));
  for (const SqlNode* option : list) {
    check(option != nullptr, "continuous aggregate option is nil");
    fillPartSpans(option);
    const SqlNode* key = option->child(0);
    const SqlNode* value = option->child(1);
    writeRun<Run{map(5), str("key")}>(out_);
    writeStr(out_, stringValue(key));
    writeLit<"key_span">(out_);
    writeSpan(key->span);
    writeLit<"value">(out_);
    writeStr(out_, stringValue(value));
    writeLit<"value_span">(out_);
    writeSpan(value->span);
    writeSpanEntry(option->span);
  }
  writeSpanEntry(node->span);
}

}  // namespace vellum::sql
