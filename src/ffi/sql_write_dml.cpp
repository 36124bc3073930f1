// The DML statement maps: INSERT (with ON CONFLICT), UPDATE, DELETE, MERGE
// (with its WHEN maps) and COPY, and the SET and RETURNING lists they share.
//
// Leading children sit at fixed positions (the table, the SET list, MERGE's
// target, source and condition); clauses after them are found by kind, the
// last of a kind winning. A fixed position that is missing is a defect: the
// parser never builds such a node.
#include <string>

#include "ffi/sql_writer.h"
#include "ffi/sql_write_bytes.h"
#include "msgpack/encoder.h"
#include "support/errors.h"

namespace vellum::sql {
namespace {

// Child `i`, which the layout requires.
const SqlNode* required(const SqlNode* node, std::size_t i, const char* what) {
  check(i < node->children().size() && node->children()[i] != nullptr, what);
  return node->children()[i];
}

// The last child of the kind at index `from` or later, or null.
const SqlNode* lastOfKind(const SqlNode* node, SqlNodeKind kind, std::size_t from) {
  const NodeList& children = node->children();
  for (std::size_t i = children.size(); i-- > from;) {
    if (children[i] != nullptr && children[i]->kind == kind) return children[i];
  }
  return nullptr;
}

std::size_t countOfKind(const SqlNode* node, SqlNodeKind kind, std::size_t from) {
  std::size_t count = 0;
  const NodeList& children = node->children();
  for (std::size_t i = from; i < children.size(); ++i) {
    if (children[i] != nullptr && children[i]->kind == kind) ++count;
  }
  return count;
}

}  // namespace

// The condition of a WHERE clause (child 0), or nil without the clause.
void SqlWriter::writeCondition(const SqlNode* where) {
  if (where == nullptr) return writeNil(out_);
  fillPartSpans(where);
  writeExpr(required(where, 0, "WHERE clause without a condition"));
}

// [{"column", "value", "span"}, ...], one map per assignment of the SET list.
void SqlWriter::writeAssignments(const SqlNode* list) {
  fillPartSpans(list);
  const NodeList& assignments = list->children();
  writeArrayHeader(out_, static_cast<std::uint32_t>(assignments.size()));
  for (const SqlNode* assignment : assignments) {
    check(assignment != nullptr && assignment->kind == nkBinaryOp, "assignment is not a binary operation");
    fillPartSpans(assignment);
    writeRun<Run{map(3), str("column")}>(out_);
    writeStr(out_, nameText(assignment->binLeft()));
    writeLit<"value">(out_);
    writeExpr(assignment->binRight());
    writeSpanEntry(assignment->span);
  }
}

// The items of a FROM (or USING) clause, or an empty array without one.
void SqlWriter::writeFromItems(const SqlNode* from) {
  if (from == nullptr) {
    writeArrayHeader(out_, 0);
    return;
  }
  fillPartSpans(from);
  const NodeList& items = from->children();
  writeArrayHeader(out_, static_cast<std::uint32_t>(items.size()));
  for (const SqlNode* item : items) writeFromItem(item, FromMode::Full);
}

// The "returning" value: the select items, or an empty array.
void SqlWriter::writeReturning(const SqlNode* returning) {
  writeLit<"returning">(out_);
  if (returning == nullptr) {
    writeArrayHeader(out_, 0);
    return;
  }
  fillPartSpans(returning);
  const NodeList& items = returning->children();
  writeArrayHeader(out_, static_cast<std::uint32_t>(items.size()));
  for (const SqlNode* item : items) writeSelectItem(item);
}

void SqlWriter::writeInsert(const SqlNode* node) {
  fillPartSpans(node);
  const SqlNode* table = required(node, 0, "INSERT without a table name");
  const NodeList& children = node->children();
  const SqlNode* columns = children.size() > 1 && children[1] != nullptr && children[1]->kind == nkColumnList
                               ? children[1]
                               : nullptr;
  // The clauses after the table, by kind in one pass (the last of a kind
  // wins), and the number of VALUES rows.
  const SqlNode* select = nullptr;
  const SqlNode* values = nullptr;
  const SqlNode* conflict = nullptr;
  const SqlNode* returning = nullptr;
  std::size_t rows = 0;
  for (std::size_t i = 1; i < children.size(); ++i) {
    const SqlNode* child = children.data()[i];
    if (child == nullptr) continue;
    switch (child->kind) {
      case nkSelect: select = child; break;
      case nkValues: values = child; break;
      case nkOnConflict: conflict = child; break;
      case nkReturningClause: returning = child; break;
      case nkExprList: ++rows; break;
      default: break;
    }
  }

  writeRun<Run{map(7), str("variant"), str("Insert"), str("table")}>(out_);
  writeStr(out_, nameText(table));
  writeLit<"columns">(out_);
  if (columns != nullptr) {
    writeNameArray(columns);
  } else {
    writeNil(out_);
  }
  writeLit<"source">(out_);
  if (select != nullptr) {
    writeRun<Run{map(2), str("variant"), str("Select"), str("select")}>(out_);
    writeQuery(select);
  } else if (values != nullptr) {
    writeRun<Run{map(2), str("variant"), str("Query"), str("query")}>(out_);
    writeQueryBody(values);
  } else {
    writeRun<Run{map(2), str("variant"), str("Values"), str("values")}>(out_);
    writeArrayHeader(out_, static_cast<std::uint32_t>(rows));
    for (std::size_t i = 1; i < children.size(); ++i) {
      const SqlNode* row = children.data()[i];
      if (row == nullptr || row->kind != nkExprList) continue;
      writeChildExprs(row);
    }
  }
  writeLit<"on_conflict">(out_);
  if (conflict != nullptr) {
    writeOnConflict(conflict);
  } else {
    writeNil(out_);
  }
  writeReturning(returning);
  writeSpanEntry(node->span);
}

// {"columns", "constraint", "action", "span"}
void SqlWriter::writeOnConflict(const SqlNode* conflict) {
  fillPartSpans(conflict);
  const SqlNodeExtra& extra = conflict->extra();
  writeRun<Run{map(4), str("columns")}>(out_);
  writeTextArray(extra.columnNames);
  writeLit<"constraint">(out_);
  writeTextOrNil(extra.constraintName);
  writeLit<"action">(out_);
  if (extra.detailText == "NOTHING") {
    writeRun<Run{map(1), str("variant"), str("DoNothing")}>(out_);
  } else {
    writeRun<Run{map(3), str("variant"), str("DoUpdate"), str("assignments")}>(out_);
    writeAssignments(required(conflict, 0, "ON CONFLICT DO UPDATE without a SET list"));
    writeLit<"selection">(out_);
    const NodeList& children = conflict->children();
    writeCondition(children.size() >= 2 ? required(conflict, 1, "ON CONFLICT WHERE clause is nil") : nullptr);
  }
  writeSpanEntry(conflict->span);
}

void SqlWriter::writeUpdate(const SqlNode* node) {
  fillPartSpans(node);
  const SqlNode* table = required(node, 0, "UPDATE without a table name");
  const SqlNode* assignments = required(node, 1, "UPDATE without a SET list");
  const SqlNode* from = lastOfKind(node, nkFromClause, 2);
  writeRun<Run{map(7), str("variant"), str("Update"), str("table")}>(out_);
  writeStr(out_, nameText(table));
  writeLit<"assignments">(out_);
  writeAssignments(assignments);
  writeLit<"from">(out_);
  writeFromItems(from);
  writeLit<"selection">(out_);
  writeCondition(lastOfKind(node, nkWhereClause, 2));
  writeReturning(lastOfKind(node, nkReturningClause, 2));
  writeSpanEntry(node->span);
}

void SqlWriter::writeDelete(const SqlNode* node) {
  fillPartSpans(node);
  const SqlNode* table = required(node, 0, "DELETE without a table name");
  const SqlNode* from = lastOfKind(node, nkFromClause, 1);
  writeRun<Run{map(6), str("variant"), str("Delete"), str("table")}>(out_);
  writeStr(out_, nameText(table));
  writeLit<"using">(out_);
  writeFromItems(from);
  writeLit<"selection">(out_);
  writeCondition(lastOfKind(node, nkWhereClause, 1));
  writeReturning(lastOfKind(node, nkReturningClause, 1));
  writeSpanEntry(node->span);
}

void SqlWriter::writeMerge(const SqlNode* node) {
  fillPartSpans(node);
  const SqlNode* target = required(node, 0, "MERGE without a target");
  const SqlNode* source = required(node, 1, "MERGE without a source");
  const SqlNode* on = required(node, 2, "MERGE without an ON condition");
  writeRun<Run{map(7), str("variant"), str("Merge"), str("target")}>(out_);
  writeFromItem(target, FromMode::Full);
  writeLit<"source">(out_);
  writeFromItem(source, FromMode::Full);
  writeLit<"on">(out_);
  writeExpr(on);
  writeLit<"clauses">(out_);
  const NodeList& children = node->children();
  writeArrayHeader(out_, static_cast<std::uint32_t>(countOfKind(node, nkMergeWhen, 3)));
  for (std::size_t i = 3; i < children.size(); ++i) {
    if (children[i] != nullptr && children[i]->kind == nkMergeWhen) writeMergeWhen(children[i]);
  }
  writeReturning(lastOfKind(node, nkReturningClause, 3));
  writeSpanEntry(node->span);
}

// {"matched", "condition", "action", "span"}
void SqlWriter::writeMergeWhen(const SqlNode* when) {
  fillPartSpans(when);
  const SqlNodeExtra& extra = when->extra();
  writeRun<Run{map(4), str("matched")}>(out_);
  writeBool(out_, extra.subKind == "MATCHED");
  writeLit<"condition">(out_);
  writeUnfilledExpr(extra.extraExpr);
  writeLit<"action">(out_);
  if (extra.detailText == "UPDATE") {
    writeRun<Run{map(2), str("variant"), str("Update"), str("assignments")}>(out_);
    writeAssignments(required(when, 0, "MERGE UPDATE without a SET list"));
  } else if (extra.detailText == "DELETE") {
    writeRun<Run{map(1), str("variant"), str("Delete")}>(out_);
  } else if (extra.detailText == "INSERT") {
    const SqlNode* first = required(when, 0, "MERGE INSERT without values");
    const bool hasColumns = first->kind == nkColumnList;
    const SqlNode* values = hasColumns ? required(when, 1, "MERGE INSERT without values") : first;
    writeRun<Run{map(3), str("variant"), str("Insert"), str("columns")}>(out_);
    writeNameArray(hasColumns ? first : nullptr);
    writeLit<"values">(out_);
    writeChildExprs(values);
  } else {
    writeRun<Run{map(1), str("variant"), str("DoNothing")}>(out_);
  }
  writeSpanEntry(when->span);
}

void SqlWriter::writeCopy(const SqlNode* node) {
  fillPartSpans(node);
  const SqlNode* source = required(node, 0, "COPY without a source");
  const SqlNodeExtra& extra = node->extra();
  writeRun<Run{map(6), str("variant"), str("Copy"), str("source")}>(out_);
  if (source->kind == nkSelect || source->kind == nkValues) {
    writeRun<Run{map(2), str("variant"), str("Query"), str("query")}>(out_);
    writeQueryBody(source);
  } else {
    writeRun<Run{map(3), str("variant"), str("Table"), str("name")}>(out_);
    writeStr(out_, nameText(source));
    writeLit<"columns">(out_);
    writeTextArray(extra.columnNames);
  }
  writeLit<"direction">(out_);
  writeStr(out_, extra.copyDirection == "FROM" ? "From" : "To");
  writeLit<"target">(out_);
  if (extra.copyTarget == "FILE") {
    writeRun<Run{map(2), str("variant"), str("File"), str("path")}>(out_);
    writeStr(out_, extra.detailText);
  } else if (extra.copyTarget == "STDIN") {
    writeRun<Run{map(1), str("variant"), str("Stdin")}>(out_);
  } else {
    writeRun<Run{map(1), str("variant"), str("Stdout")}>(out_);
  }
  writeLit<"options">(out_);
  writeArrayHeader(out_, static_cast<std::uint32_t>(extra.copyOptions.size()));
  for (std::string_view option : extra.copyOptions) {
    std::size_t equals = option.find('=');
    writeRun<Run{map(2), str("name")}>(out_);
    if (equals == std::string_view::npos) {
      writeStr(out_, option);
      writeRun<Run{str("value"), str("TRUE")}>(out_);
    } else {
      writeStr(out_, option.substr(0, equals));
      writeLit<"value">(out_);
      writeStr(out_, option.substr(equals + 1));
    }
  }
  writeSpanEntry(node->span);
}

}  // namespace vellum::sql
