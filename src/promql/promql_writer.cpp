#include "promql/promql_writer.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "msgpack/constant_runs.h"
#include "msgpack/encoder.h"
#include "support/small_stack.h"
#include "support/scratch.h"

namespace vellum::promql {
namespace {

constexpr std::string_view kBinaryOpNames[] = {"Add", "Sub", "Mul", "Div", "Mod", "Pow"};

// The runs between the six numbers of a "span" entry (line, column and
// offset of each end).
constexpr Run kSpanToStartLine{str("span"), map(2), str("start"), map(3), str("line")};
constexpr Run kColumnKey{str("column")};
constexpr Run kOffsetKey{str("offset")};
constexpr Run kEndToLine{str("end"), map(3), str("line")};

// The whole entry when the six numbers are all 0 to 127 (positive fixints),
// as for every node of a short query: the numbers stand as 0, at kSpanNumberAt.
constexpr Run kNumber{Piece{0x00, {}}};
constexpr Run kSmallSpanEntry = joinRuns<kSpanToStartLine, kNumber, kColumnKey, kNumber, kOffsetKey, kNumber,
                                         kEndToLine, kNumber, kColumnKey, kNumber, kOffsetKey, kNumber>();
constexpr auto kSpanNumberAt = [] {
  // Each number follows the run before it in the join above.
  const std::size_t runBefore[6] = {kSpanToStartLine.size, kColumnKey.size, kOffsetKey.size,
                                    kEndToLine.size,       kColumnKey.size, kOffsetKey.size};
  std::array<std::size_t, 6> at{};
  std::size_t offset = 0;
  for (int i = 0; i < 6; ++i) {
    offset += runBefore[i];
    at[i] = offset++;
  }
  return at;
}();
static_assert(kSmallSpanEntry.size == 62 && kSpanNumberAt[5] == 61);

class PromWriter {
 public:
  explicit PromWriter(OutputStream& out) : out_(out) {}

  // {"kind": node, "span": span}. An operator chain a+b+c+... is a left-deep
  // tree; its left spine is walked down in a loop, writing each envelope's
  // head up to "left", and then back up, writing the rest of each.
  void writeEnvelope(const PromNode& node) {
    const std::size_t base = spine_.size();
    const PromNode* n = &node;
    while (n->kind == PromNodeKind::BinaryOp) {
      const auto& binary = n->as<PromBinaryExpr>();
      writeRun<Run{map(2), str("kind"), map(4), str("variant"), str("BinaryOp"), str("left")}>(out_);
      spine_.push_back(&binary);
      n = binary.left;
    }
    writeRun<Run{map(2), str("kind")}>(out_);
    writePromNode(*n);
    writeSpanEntry(n->span);
    while (spine_.size() > base) {
      const PromBinaryExpr& binary = *spine_.back();
      spine_.pop_back();
      writeBinaryTail(binary);
      writeSpanEntry(binary.span);
    }
  }

  // The node map of one expression.
  void writePromNode(const PromNode& node) {
    switch (node.kind) {
      case PromNodeKind::VectorSelector: {
        const auto& selector = node.as<PromVectorSelector>();
        writeRun<Run{map(4), str("variant"), str("VectorSelector"), str("metric")}>(out_);
        if (selector.metric.empty()) {
          writeNil(out_);
        } else {
          writeStr(out_, selector.metric);
        }
        writeLit<"matchers">(out_);
        writeArrayHeader(out_, static_cast<std::uint32_t>(selector.matchers.size()));
        for (const PromMatcher& matcher : selector.matchers) writePromMatcher(matcher);
        writeLit<"offset">(out_);
        writeOptionalDuration(selector.hasOffset, selector.offset);
        return;
      }
      case PromNodeKind::MatrixSelector: {
        const auto& matrix = node.as<PromMatrixSelector>();
        writeRun<Run{map(4), str("variant"), str("MatrixSelector"), str("selector")}>(out_);
        writeEnvelope(*matrix.child);
        writeLit<"range">(out_);
        writePromDuration(matrix.range);
        writeLit<"offset">(out_);
        writeOptionalDuration(matrix.hasOffset, matrix.offset);
        return;
      }
      case PromNodeKind::NumberLiteral:
        writeRun<Run{map(2), str("variant"), str("NumberLiteral"), str("value")}>(out_);
        writeStr(out_, node.as<PromNumberLiteral>().raw);
        return;
      case PromNodeKind::StringLiteral:
        writeRun<Run{map(2), str("variant"), str("StringLiteral"), str("value")}>(out_);
        writeStr(out_, node.as<PromStringLiteral>().value);
        return;
      case PromNodeKind::FunctionCall: {
        const auto& call = node.as<PromFunctionCall>();
        writeRun<Run{map(3), str("variant"), str("FunctionCall"), str("name")}>(out_);
        writeStr(out_, call.name);
        writeLit<"args">(out_);
        writeArrayHeader(out_, static_cast<std::uint32_t>(call.args.size()));
        for (const PromNode* arg : call.args) writeEnvelope(*arg);
        return;
      }
      case PromNodeKind::Aggregate: {
        const auto& aggregate = node.as<PromAggregate>();
        writeRun<Run{map(5), str("variant"), str("Aggregate"), str("op")}>(out_);
        writeStr(out_, aggregate.name);
        writeLit<"expr">(out_);
        writeEnvelope(*aggregate.args[0]);
        writeLit<"grouping">(out_);
        if (aggregate.grouping == PromGrouping::None) {
          writeNil(out_);
        } else {
          writeArrayHeader(out_, static_cast<std::uint32_t>(aggregate.groupingLabels.size()));
          for (std::string_view label : aggregate.groupingLabels) writeStr(out_, label);
        }
        writeLit<"without">(out_);
        writeBool(out_, aggregate.grouping == PromGrouping::Without);
        return;
      }
      case PromNodeKind::BinaryOp: {
        const auto& binary = node.as<PromBinaryExpr>();
        writeRun<Run{map(4), str("variant"), str("BinaryOp"), str("left")}>(out_);
        writeEnvelope(*binary.left);
        writeBinaryTail(binary);
        return;
      }
      case PromNodeKind::UnaryOp: {
        const auto& unary = node.as<PromUnaryExpr>();
        if (unary.negate) {
          writeRun<Run{map(3), str("variant"), str("UnaryOp"), str("op"), str("Minus"), str("expr")}>(out_);
        } else {
          writeRun<Run{map(3), str("variant"), str("UnaryOp"), str("op"), str("Plus"), str("expr")}>(out_);
        }
        writeEnvelope(*unary.operand);
        return;
      }
      case PromNodeKind::Paren:
        writeRun<Run{map(2), str("variant"), str("Paren"), str("expr")}>(out_);
        writeEnvelope(*node.as<PromParen>().child);
        return;
    }
    raiseDefect("PromQL node of unknown kind");
  }

  // "span": {"start": {"line", "column", "offset"}, "end": {...}}, built on
  // the stack and written at once (at most 113 bytes).
  void writeSpanEntry(const PromSpan& span) {
    constexpr std::size_t kMaxBytes = 128;
    if (std::uint8_t* p = out_.reserve(kMaxBytes)) {
      out_.commit(putSpanEntry(p, span));
      return;
    }
    std::uint8_t bytes[kMaxBytes];
    std::uint8_t* end = putSpanEntry(bytes, span);
    out_.writeData(bytes, static_cast<std::size_t>(end - bytes));
  }

  static std::uint8_t* putSpanEntry(std::uint8_t* p, const PromSpan& span) {
    const std::int64_t numbers[6] = {span.start.line, span.start.column, span.start.offset,
                                     span.end.line,   span.end.column,   span.end.offset};
    if (((numbers[0] | numbers[1] | numbers[2] | numbers[3] | numbers[4] | numbers[5]) & ~std::int64_t{127}) == 0) [[likely]] {
      std::memcpy(p, kSmallSpanEntry.bytes, 64);  // the 62 bytes in one fixed-size copy
      for (int i = 0; i < 6; ++i) p[kSpanNumberAt[i]] = static_cast<std::uint8_t>(numbers[i]);
      return p + kSmallSpanEntry.size;
    }
    p = putRun<kSpanToStartLine>(p);
    p = putPos(p, span.start);
    p = putRun<kEndToLine>(p);
    return putPos(p, span.end);
  }

  void writePromDuration(const PromDuration& duration) {
    writeRun<Run{map(2), str("raw")}>(out_);
    writeStr(out_, duration.raw);
    writeLit<"milliseconds">(out_);
    writeInt(out_, duration.milliseconds);
  }

  void writePromMatcher(const PromMatcher& matcher) {
    writeRun<Run{map(4), str("name")}>(out_);
    writeStr(out_, matcher.name);
    switch (matcher.op) {
      case PromMatchOp::Equal: writeRun<Run{str("op"), str("Equal"), str("value")}>(out_); break;
      case PromMatchOp::NotEqual: writeRun<Run{str("op"), str("NotEqual"), str("value")}>(out_); break;
      case PromMatchOp::Regex: writeRun<Run{str("op"), str("Regex"), str("value")}>(out_); break;
      case PromMatchOp::NotRegex: writeRun<Run{str("op"), str("NotRegex"), str("value")}>(out_); break;
      default: raiseDefect("PromQL matcher of unknown operator");
    }
    writeStr(out_, matcher.value);
    writeSpanEntry(matcher.span);
  }

 private:
  // Everything of a BinaryOp node map after its left operand.
  void writeBinaryTail(const PromBinaryExpr& binary) {
    writeLit<"op">(out_);
    writeStr(out_, kBinaryOpNames[static_cast<int>(binary.op)]);
    writeLit<"right">(out_);
    writeEnvelope(*binary.right);
  }

  // The line number (its "line" key already written), then "column" and
  // "offset" with theirs.
  static std::uint8_t* putPos(std::uint8_t* p, const PromPos& pos) {
    p = putInt64(p, pos.line);
    p = putRun<kColumnKey>(p);
    p = putInt64(p, pos.column);
    p = putRun<kOffsetKey>(p);
    return putInt64(p, pos.offset);
  }

  void writeOptionalDuration(bool present, const PromDuration& duration) {
    if (present) {
      writePromDuration(duration);
    } else {
      writeNil(out_);
    }
  }

  OutputStream& out_;
  // The operator chains being written, innermost last.
  SmallStack<const PromBinaryExpr*, 32> spine_;
};

}  // namespace

void writePromEnvelope(OutputStream& out, const PromNode& node) { PromWriter(out).writeEnvelope(node); }

DocumentBytes writePromDocument(const PromNode& root, std::size_t expectedBytes) {
  if (expectedBytes > kPromMaxDocumentBytes) expectedBytes = kPromMaxDocumentBytes;
  std::uint8_t* scratch = expectedBytes <= kScratchBytes ? threadScratch() : nullptr;
  BufferStream out = scratch != nullptr ? BufferStream(scratch, kScratchBytes, kPromMaxDocumentBytes, kPromDocumentTooLarge)
                                        : BufferStream(expectedBytes, kPromMaxDocumentBytes, kPromDocumentTooLarge);
  writePromEnvelope(out, root);
  DocumentBytes document;
  document.size = out.size();
  document.data.reset(out.release());
  return document;
}

}  // namespace vellum::promql
