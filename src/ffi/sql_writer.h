// The SQL statement-list document: every statement, clause and expression of
// a parsed SQL text written as MessagePack maps straight into an output
// stream, without an intermediate document object.
//
// Trees may be as deep as the input is long along left-deep chains
// (a+b+c..., a->'k'->'k'..., a[1][1]..., t JOIN u JOIN v...). The writer never
// recurses along such a chain: writeExpr and writeFromItem walk down the
// "lead" child (the first sub-tree a map writes: a binary operator's left
// operand, a call's first argument, a join's left side) with an explicit
// stack and finish the maps on the way back. The remaining recursion goes
// through non-lead children only, which the parser's nesting limit bounds.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "ffi/sql_write_bytes.h"
#include "msgpack/output_stream.h"
#include "sql/parser.h"
#include "sql/tree.h"
#include "support/bytes.h"

namespace vellum::sql {

struct CallClauses;
struct QueryParts;

// nodeText, with the common case, an identifier, read in place.
inline std::string_view nameText(const SqlNode* node) {
  if (node != nullptr && node->kind == nkIdentifier) return node->strVal();
  return nodeText(node);
}

// The stack of nodes whose maps are open below their lead child. Most
// documents need a few entries, which stay inside the writer; only long
// chains move it to the heap.
class OpenMaps {
 public:
  OpenMaps() = default;
  OpenMaps(const OpenMaps&) = delete;
  OpenMaps& operator=(const OpenMaps&) = delete;
  ~OpenMaps() {
    if (data_ != inline_) std::free(data_);
  }

  std::size_t size() const { return size_; }
  const SqlNode* back() const { return data_[size_ - 1]; }
  void pop_back() { --size_; }
  void push_back(const SqlNode* node) {
    if (size_ == capacity_) grow();
    data_[size_++] = node;
  }

 private:
  // Doubles the capacity on the heap (a plain malloc'd block: a writer that
  // never grows has nothing to set up or tear down).
  [[gnu::noinline]] void grow() {
    const std::size_t capacity = capacity_ * 2;
    auto fresh = static_cast<const SqlNode**>(std::malloc(capacity * sizeof(const SqlNode*)));
    if (fresh == nullptr) throw std::bad_alloc();
    std::memcpy(fresh, data_, size_ * sizeof(const SqlNode*));
    if (data_ != inline_) std::free(data_);
    data_ = fresh;
    capacity_ = capacity;
  }

  static constexpr std::size_t kInline = 32;
  const SqlNode* inline_[kInline];
  const SqlNode** data_ = inline_;
  std::size_t size_ = 0;
  std::size_t capacity_ = kInline;
};

// Full FROM items carry "columns" (and "lateral" on derived tables); the
// restricted form of continuous aggregate queries leaves them out.
enum class FromMode : std::uint8_t { Full, Restricted };

// A join of a FROM clause (of a query, or of an UPDATE or MERGE source).
inline bool isJoin(const SqlNode* node) {
  return node != nullptr && (node->kind == nkJoin || node->kind == nkFromJoin);
}

class SqlWriter {
 public:
  explicit SqlWriter(OutputStream& out);
  SqlWriter(const SqlWriter&) = delete;
  SqlWriter& operator=(const SqlWriter&) = delete;

  // Statements (sql_write_statements.cpp).
  // The whole document: an array of {"kind", "span"} envelopes.
  void writeStatementList(const NodeList& statements);
  // One element of the statement list: {"kind": ..., "span": ...}.
  void writeStatement(const SqlNode* statement);
  // The statement map of one statement (the "kind" of its envelope).
  void writeStatementKind(const SqlNode* node);

  // DML statement maps (sql_write_dml.cpp).
  void writeInsert(const SqlNode* node);
  void writeUpdate(const SqlNode* node);
  void writeDelete(const SqlNode* node);
  void writeMerge(const SqlNode* node);
  void writeCopy(const SqlNode* node);

  // DDL statement maps (sql_write_ddl.cpp).
  void writeCreateTable(const SqlNode* node);
  void writeCreateIndex(const SqlNode* node);
  void writeCreateView(const SqlNode* node);
  void writeSequenceStatement(const SqlNode* node);  // CREATE and ALTER SEQUENCE
  void writeDrop(const SqlNode* node);
  void writeTruncate(const SqlNode* node);
  void writeColumnDef(const SqlNode* column);
  void writeSequenceOptions(const TextList& options);

  // ALTER TABLE and continuous aggregate maps (sql_write_alter.cpp).
  void writeAlterTable(const SqlNode* node);
  void writeCreateContinuousAggregate(const SqlNode* node);

  // Queries (sql_write_query.cpp).
  void writeQuery(const SqlNode* select);            // the full SELECT map
  void writeQueryBody(const SqlNode* node);          // SELECT or VALUES map
  void writeRestrictedSelect(const SqlNode* select); // the 12-entry SELECT map
  // One FROM item: a join chain (writeJoin) or, most often, a leaf.
  void writeFromItem(const SqlNode* item, FromMode mode) {
    if (isJoin(item)) return writeJoin(item, mode);
    writeFromLeaf(item, mode);
  }
  void writeProjectionAndFrom(const SqlNode* projection, const SqlNode* from, FromMode mode);
  void writeQueryTail(const SqlNode* body, std::size_t setOperations, const SqlNode* orderBy,
                      const SqlNode* limit, const SqlNode* offset);

  // Expressions and their parts (sql_write_expr.cpp).
  void writeExpr(const SqlNode* node);
  void writeSpan(const SqlSpan& span);
  void writeSelectItem(const SqlNode* item);
  void writeOrderByItem(const SqlNode* item);
  void writeWindowSpec(const SqlNode* window);
  void writeWindowFrame(const SqlNode* frame);
  void writeDataType(const SqlNode* type);

 private:
  // Expression maps, split at the lead child (sql_write_expr.cpp).
  void writeNumberExpr(const SqlNode* node);
  [[gnu::noinline]] void writeExprTree(const SqlNode* node);
  [[gnu::always_inline]] inline bool writeExprHead(const SqlNode* node, const SqlNode** lead);
  void writeExprTail(const SqlNode* node);
  void writeLiteral(const SqlNode* node);
  void writeCallAfterArgs(const SqlNode* node, const CallClauses& clauses);
  void writeCase(const SqlNode* node);
  void writeSubquery(const SqlNode* query);
  void writeExprArray(const NodeList& nodes, std::size_t from, std::size_t to);
  // The children of a list node as an expression array, after the list's
  // span has been given to those without one.
  void writeChildExprs(const SqlNode* list) {
    fillPartSpans(list);
    const NodeList& exprs = list->children();
    writeExprArray(exprs, 0, exprs.size());
  }
  void writeOrderByArray(const SqlNode* clause);
  void writeFrameBound(const SqlNode* bound);

  // Query parts (sql_write_query.cpp).
  void writeQueryHead(const SqlNode* with, const SqlNode* distinctOn, bool distinct);
  void writeSelectionAndConstantRest(const SqlNode* where);
  void writeQueryRest(const SqlNode* select, const QueryParts& q);
  void writeValues(const SqlNode* values);
  void writeWith(const SqlNode* with);
  void writeCte(const SqlNode* cte);
  void writeSetOperations(const SqlNode* body, std::size_t count);
  void writeGroupingElement(const SqlNode* element);
  void writeNamedWindow(const SqlNode* window);
  void writeJoin(const SqlNode* join, FromMode mode);
  void writeFromLeaf(const SqlNode* item, FromMode mode);
  void writeFunctionItem(const SqlNode* function, const SqlNode* alias);
  void writeClauseExpr(const SqlNode* clause);

  // DML parts (sql_write_dml.cpp): WHERE conditions, SET lists, RETURNING
  // lists, the ON CONFLICT map and the WHEN maps of MERGE.
  void writeCondition(const SqlNode* where);
  void writeAssignments(const SqlNode* list);
  void writeReturning(const SqlNode* returning);
  void writeFromItems(const SqlNode* from);
  void writeOnConflict(const SqlNode* conflict);
  void writeMergeWhen(const SqlNode* when);

  // DDL parts (sql_write_ddl.cpp).
  void writeColumnConstraint(const SqlNode* constraint);
  void writeTableConstraint(const SqlNode* constraint);
  void writeReferenceEntries(const SqlNodeExtra& extra);
  void writeWithOptions(const SqlNode* options);

  // Gives the parts of `node` that have the empty span the node's span,
  // before they are read: a node's span is final once its parent's parts
  // were filled, so a document written from a tree read without the
  // back-fill has the spans of one written after it. Every function that
  // reads the parts of a node fills them first (again is harmless). Off
  // under a CHECK expression or a MERGE condition, whose nodes keep the
  // spans they were built with.
  void fillPartSpans(const SqlNode* node) {
    if (filling_ && node != nullptr) fillParts(const_cast<SqlNode*>(node));
  }
  // writeExpr for an expression whose nodes keep the spans they were built
  // with (extraExpr).
  void writeUnfilledExpr(const SqlNode* node);

  // The "span" key and the span map, the last entry of most maps: written
  // in place when the span is templated and the window has room.
  void writeSpanEntry(const SqlSpan& span) {
    SpanWords words(span);
    std::uint8_t* p = out_.reserve(kTemplateSpanEntryRoom);
    if (p != nullptr && words.templated()) {
      out_.commit(putTemplateSpanEntry(p, words));
      return;
    }
    writeAnySpanEntry(span);
  }
  void writeAnySpanEntry(const SqlSpan& span);
  // writeRun<R> and then writeSpanEntry(span), with one window check when
  // the window has room and the span is templated.
  template <Run R>
  void writeRunAndSpanEntry(const SqlSpan& span) {
    SpanWords words(span);
    std::uint8_t* p = out_.reserve(R.size + kTemplateSpanEntryRoom);
    if (p != nullptr && words.templated()) {
      out_.commit(putTemplateSpanEntry(putRun<R>(p), words));
      return;
    }
    writeRun<R>(out_);
    writeSpanEntry(span);
  }
  void writeTextArray(const TextList& texts);
  // The texts of a list node's children (column lists); [] for no list.
  void writeNameArray(const SqlNode* list);
  void writeTextOrNil(std::string_view text);

  OutputStream& out_;
  // Nodes whose maps are open below their lead child, innermost last. One
  // stack serves the whole document: every walk pops back to where it began.
  OpenMaps chain_;
  bool filling_ = true;
};

// Writes the statement list into a growable buffer and hands the bytes over
// (the plain path; SqlWriter::writeStatementList over any stream is the whole
// document, e.g. as the staged writer's callback).
// `capacityHint` is the buffer's first size: a good guess spares the copies
// that growing a buffer of many megabytes makes; pages of it that are never
// written cost address space only, and the final shrink is done in place.
DocumentBytes writeSqlDocument(const NodeList& statements, std::size_t capacityHint = 0);

// The same document for the statements `reader` gives, each written as soon
// as it is read, while its tree is still in the cache, and then released
// (see StatementReader::releaseStatements). The bytes and the error are those
// of parseStatements followed by writeSqlDocument: a syntax error anywhere
// comes before any error of the writer, and a text with a continuous
// aggregate takes the validated, staged path. A syntax error comes back in
// the result's `failure`; other errors raise.
// `expectedStatements` is a guess of the number of statements, which spares
// moving the bytes when it is right.
DocumentBytes writeSqlDocument(StatementReader& reader, std::size_t capacityHint, std::size_t expectedStatements);

// The first buffer size for the document of a SQL text: realistic queries
// give documents of about 13 to 15 times their text.
inline std::size_t documentCapacityHint(std::size_t textBytes) { return textBytes * 16 + 64; }

// The text of a float literal: shortest round-trip digits, laid out in plain
// notation for decimal exponents -6 to 17 and in scientific notation beyond.
// `buffer` needs kFloatTextCapacity bytes; returns the length.
inline constexpr std::size_t kFloatTextCapacity = 40;
std::size_t formatFloatText(double value, char* buffer);

}  // namespace vellum::sql
