// The statement-list document, the statement dispatch and the maps of the
// utility statements (EXPLAIN, PRAGMA, transactions, savepoints).
#include <cstring>
#include <exception>
#include <string>

#include "ffi/sql_writer.h"
#include "ffi/sql_validate.h"
#include "ffi/sql_write_bytes.h"
#include "ffi/staged_writer.h"
#include "msgpack/encoder.h"
#include "support/errors.h"
#include "support/scratch.h"

namespace vellum::sql {

void SqlWriter::writeStatementList(const NodeList& statements) {
  writeArrayHeader(out_, static_cast<std::uint32_t>(statements.size()));
  for (const SqlNode* statement : statements) writeStatement(statement);
}

void SqlWriter::writeStatement(const SqlNode* statement) {
  check(statement != nullptr, "statement is nil");
  writeRun<Run{map(2), str("kind")}>(out_);
  writeStatementKind(statement);
  writeSpanEntry(statement->span);
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
    case nkInsert:
      writeInsert(node);
      return;
    case nkUpdate:
      writeUpdate(node);
      return;
    case nkDelete:
      writeDelete(node);
      return;
    case nkMerge:
      writeMerge(node);
      return;
    case nkCopy:
      writeCopy(node);
      return;
    case nkCreateTable:
      writeCreateTable(node);
      return;
    case nkCreateIndex:
      writeCreateIndex(node);
      return;
    case nkCreateView:
      writeCreateView(node);
      return;
    case nkCreateSequence:
    case nkAlterSequence:
      writeSequenceStatement(node);
      return;
    case nkAlterTable:
      writeAlterTable(node);
      return;
    case nkCreateContinuousAggregate:
      writeCreateContinuousAggregate(node);
      return;
    case nkDropTable:
    case nkDropView:
    case nkDropIndex:
    case nkDropSequence:
      writeDrop(node);
      return;
    case nkTruncate:
      writeTruncate(node);
      return;
    case nkExplain: {
      fillPartSpans(node);
      const SqlNode* statement = node->child(0);
      check(statement != nullptr, "EXPLAIN without a statement");
      writeRun<Run{map(4), str("variant"), str("Explain"), str("analyze")}>(out_);
      writeBool(out_, node->analyze);
      writeLit<"format">(out_);
      writeStr(out_, node->extra().explainFormat);
      writeRun<Run{str("statement"), map(2), str("kind")}>(out_);
      writeStatementKind(statement);
      writeSpanEntry(statement->span);
      return;
    }
    case nkPragma: {
      const NodeList& children = node->children();
      writeRun<Run{map(4), str("variant"), str("Pragma"), str("name")}>(out_);
      writeStr(out_, nameText(node->child(0)));
      writeLit<"value">(out_);
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
      writeSpanEntry(node->span);
      return;
    }
    case nkBegin:
    case nkSetTransaction:
      writeRun<Run{map(3), str("variant")}>(out_);
      writeStr(out_, node->kind == nkBegin ? "Begin" : "SetTransaction");
      writeLit<"isolation_level">(out_);
      writeTextOrNil(node->isolationLevel());
      writeLit<"access_mode">(out_);
      writeTextOrNil(node->accessMode());
      return;
    case nkCommit:
      writeRun<Run{map(1), str("variant"), str("Commit")}>(out_);
      return;
    case nkRollback:
      writeRun<Run{map(1), str("variant"), str("Rollback")}>(out_);
      return;
    case nkSavepoint:
    case nkRollbackToSavepoint:
    case nkReleaseSavepoint:
      writeRun<Run{map(2), str("variant")}>(out_);
      writeStr(out_, node->kind == nkSavepoint             ? "Savepoint"
                     : node->kind == nkRollbackToSavepoint ? "RollbackToSavepoint"
                                                           : "ReleaseSavepoint");
      writeLit<"name">(out_);
      writeStr(out_, nameText(node->child(0)));
      return;
    default:
      // DML and DDL statements join this dispatch with their writers.
      throw ParseError("unsupported statement node for MessagePack: " + std::string(kindName(node->kind)));
  }
}

namespace {

// The staged writer's callback: the whole statement list, on each pass.
void writeStagedStatementList(OutputStream& stream, void* statements) {
  SqlWriter writer(stream);
  writer.writeStatementList(*static_cast<const NodeList*>(statements));
}

bool holdsContinuousAggregate(const NodeList& statements) {
  for (const SqlNode* statement : statements) {
    if (statement != nullptr && statement->kind == nkCreateContinuousAggregate) return true;
  }
  return false;
}

// Every continuous aggregate is validated, in list order, before any byte
// is written; then the staged writer counts, writes and checks.
DocumentBytes writeValidatedDocument(const NodeList& statements) {
  for (const SqlNode* statement : statements) {
    if (statement != nullptr && statement->kind == nkCreateContinuousAggregate) {
      validateContinuousAggregate(statement);
    }
  }
  return writeStaged(writeStagedStatementList, const_cast<NodeList*>(&statements));
}

// Documents expected to exceed this many bytes are written straight into a
// buffer of the hinted size, which release() shrinks in place: copying them
// out of the scratch block would cost more than the buffer's malloc.
constexpr std::size_t kScratchDocumentHint = 4096;

// The buffer of a document that will likely be long: the thread's kept
// buffer when its size suits the hint, else a fresh one of the hinted size.
// Out of line, so that the short path below stays small.
[[gnu::noinline]] BufferStream largeDocumentStream(std::size_t capacityHint) {
  std::size_t bytes = 0;
  if (std::uint8_t* kept = takeKeptDocument(capacityHint, bytes)) return BufferStream(kept, bytes, BufferStream::Adopt{});
  return BufferStream(capacityHint);
}

// The document buffer: the thread's scratch block when the document will
// likely be short, else largeDocumentStream.
BufferStream documentStream(std::size_t capacityHint) {
  static_assert(kScratchDocumentHint <= kScratchBytes);
  std::uint8_t* scratch = capacityHint <= kScratchDocumentHint ? threadScratch() : nullptr;
  return scratch != nullptr ? BufferStream(scratch, kScratchBytes) : largeDocumentStream(capacityHint);
}

DocumentBytes handOver(BufferStream& out) {
  DocumentBytes document;
  document.size = out.size();
  document.data.reset(out.release());
  return document;
}

// The bytes of the array header for `count` elements (at most 5).
std::size_t arrayHeader(std::size_t count, std::uint8_t* bytes) {
  return static_cast<std::size_t>(putArrayHeader(bytes, static_cast<std::uint32_t>(count)) - bytes);
}

}  // namespace

DocumentBytes writeSqlDocument(const NodeList& statements, std::size_t capacityHint) {
  if (holdsContinuousAggregate(statements)) return writeValidatedDocument(statements);
  BufferStream out = documentStream(capacityHint);
  SqlWriter writer(out);
  writer.writeStatementList(statements);
  return handOver(out);
}

DocumentBytes writeSqlDocument(StatementReader& reader, std::size_t capacityHint, std::size_t expectedStatements) {
  // The array header goes first but its size depends on the number of
  // statements: room for the expected count's header is left, and in the
  // rare case that the count needs another size the bytes are moved once.
  std::uint8_t header[5];
  const std::size_t room = arrayHeader(expectedStatements, header);
  std::size_t count = 0;
  std::exception_ptr writeError;
  {
    BufferStream out = documentStream(capacityHint);
    SqlWriter writer(out);
    // Nearly always one byte (a fixarray), stored without a variable-length copy.
    if (room == 1) {
      out.writeData(header, 1);
    } else {
      out.writeData(header, room);
    }
    bool staged = false;
    while (SqlNode* statement = reader.next()) {
      if (statement->kind == nkCreateContinuousAggregate) {
        staged = true;
        break;
      }
      ++count;
      // A writer error waits until every statement has been read: a syntax
      // error further on is the one to report.
      if (!writeError) {
        try {
          writer.writeStatement(statement);
        } catch (...) {
          writeError = std::current_exception();
        }
      }
      // Written: the tree's memory serves the statements that follow.
      reader.releaseStatements();
    }
    if (reader.failed()) {
      DocumentBytes rejected;
      rejected.failure = reader.failure();
      return rejected;
    }
    if (!staged) {
      if (writeError) std::rethrow_exception(writeError);
      const std::size_t length = arrayHeader(count, header);
      if (length != room) {
        std::size_t body = out.size() - room;
        if (length > room) {
          std::uint8_t pad[4] = {};
          out.writeData(pad, length - room);
        }
        std::memmove(out.data() + length, out.data() + room, body);
        out.truncate(length + body);
      }
      if (length == 1) {
        out.data()[0] = header[0];
      } else {
        std::memcpy(out.data(), header, length);
      }
      return handOver(out);
    }
  }
  // A continuous aggregate: the whole list is validated before any of it is
  // written, so every tree is needed at once. The trees before it are gone:
  // the text is read again from the start (a syntax error anywhere is still
  // raised first).
  Arena arena;
  return writeValidatedDocument(parseStatements(reader.text(), arena));
}

}  // namespace vellum::sql
