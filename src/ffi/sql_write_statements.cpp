// The statement-list document, the statement dispatch and the maps of the
// utility statements (EXPLAIN, PRAGMA, transactions, savepoints).
#include <string>

#include "ffi/sql_writer.h"
#include "msgpack/encoder.h"
#include "support/errors.h"

namespace vellum::sql {

void SqlWriter::writeStatementList(const NodeList& statements) {
  writeArrayHeader(out_, static_cast<std::uint32_t>(statements.size()));
  for (const SqlNode* statement : statements) {
    check(statement != nullptr, "statement is nil");
    writeMapHeader(out_, 2);
    writeStr(out_, "kind");
    writeStatementKind(statement);
    writeStr(out_, "span");
    writeSpan(statement->span);
  }
}

void SqlWriter::writeStatementKind(const SqlNode* node) {
  check(node != nullptr, "statement is nil");
  switch (node->kind) {
    case nkSelect:
      writeQuery(node);
      return;
    case nkValues:
      writeValues(node);
      return;
    case nkExplain: {
      const SqlNode* statement = node->child(0);
      check(statement != nullptr, "EXPLAIN without a statement");
      writeMapHeader(out_, 4);
      writeStr(out_, "variant");
      writeStr(out_, "Explain");
      writeStr(out_, "analyze");
      writeBool(out_, node->analyze);
      writeStr(out_, "format");
      writeStr(out_, node->extra().explainFormat);
      writeStr(out_, "statement");
      writeMapHeader(out_, 2);
      writeStr(out_, "kind");
      writeStatementKind(statement);
      writeStr(out_, "span");
      writeSpan(statement->span);
      return;
    }
    case nkPragma: {
      const NodeList& children = node->children();
      writeMapHeader(out_, 4);
      writeStr(out_, "variant");
      writeStr(out_, "Pragma");
      writeStr(out_, "name");
      writeStr(out_, nodeText(node->child(0)));
      writeStr(out_, "value");
      if (children.size() < 2) {
        writeNil(out_);
      } else {
        const SqlNode* value = children[1];
        if (value != nullptr && value->kind == nkStringLit) {
          writeStr(out_, value->strVal());
        } else if (value != nullptr && value->kind == nkIntLit) {
          writeInt(out_, value->intVal());
        } else {
          throw ParseError("invalid PRAGMA value node");
        }
      }
      writeStr(out_, "span");
      writeSpan(node->span);
      return;
    }
    case nkBegin:
    case nkSetTransaction:
      writeMapHeader(out_, 3);
      writeStr(out_, "variant");
      writeStr(out_, node->kind == nkBegin ? "Begin" : "SetTransaction");
      writeStr(out_, "isolation_level");
      writeTextOrNil(node->isolationLevel());
      writeStr(out_, "access_mode");
      writeTextOrNil(node->accessMode());
      return;
    case nkCommit:
      writeMapHeader(out_, 1);
      writeStr(out_, "variant");
      writeStr(out_, "Commit");
      return;
    case nkRollback:
      writeMapHeader(out_, 1);
      writeStr(out_, "variant");
      writeStr(out_, "Rollback");
      return;
    case nkSavepoint:
    case nkRollbackToSavepoint:
    case nkReleaseSavepoint:
      writeMapHeader(out_, 2);
      writeStr(out_, "variant");
      writeStr(out_, node->kind == nkSavepoint             ? "Savepoint"
                     : node->kind == nkRollbackToSavepoint ? "RollbackToSavepoint"
                                                           : "ReleaseSavepoint");
      writeStr(out_, "name");
      writeStr(out_, nodeText(node->child(0)));
      return;
    default:
      // DML and DDL statements join this dispatch with their writers.
      throw ParseError("unsupported statement node for MessagePack: " + std::string(kindName(node->kind)));
  }
}

DocumentBytes writeSqlDocument(const NodeList& statements) {
  BufferStream out(0);
  SqlWriter writer(out);
  writer.writeStatementList(statements);
  DocumentBytes document;
  document.size = out.size();
  document.data.reset(out.release());
  return document;
}

}  // namespace vellum::sql
