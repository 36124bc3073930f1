#include "promql/promql_writer.h"

#include <string_view>
#include <vector>

#include "msgpack/encoder.h"

namespace vellum::promql {
namespace {

constexpr std::string_view kMatchOpNames[] = {"Equal", "NotEqual", "Regex", "NotRegex"};
constexpr std::string_view kBinaryOpNames[] = {"Add", "Sub", "Mul", "Div", "Mod", "Pow"};

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
      writeMapHeader(out_, 2);
      writeStr(out_, "kind");
      writeMapHeader(out_, 4);
      writeStr(out_, "variant");
      writeStr(out_, "BinaryOp");
      writeStr(out_, "left");
      spine_.push_back(&binary);
      n = binary.left;
    }
    writeMapHeader(out_, 2);
    writeStr(out_, "kind");
    writePromNode(*n);
    writeStr(out_, "span");
    writePromSpan(n->span);
    while (spine_.size() > base) {
      const PromBinaryExpr& binary = *spine_.back();
      spine_.pop_back();
      writeBinaryTail(binary);
      writeStr(out_, "span");
      writePromSpan(binary.span);
    }
  }

  // The node map of one expression.
  void writePromNode(const PromNode& node) {
    switch (node.kind) {
      case PromNodeKind::VectorSelector: {
        const auto& selector = node.as<PromVectorSelector>();
        writeMapHeader(out_, 4);
        writeStr(out_, "variant");
        writeStr(out_, "VectorSelector");
        writeStr(out_, "metric");
        if (selector.metric.empty()) {
          writeNil(out_);
        } else {
          writeStr(out_, selector.metric);
        }
        writeStr(out_, "matchers");
        writeArrayHeader(out_, static_cast<std::uint32_t>(selector.matchers.size()));
        for (const PromMatcher& matcher : selector.matchers) writePromMatcher(matcher);
        writeStr(out_, "offset");
        writeOptionalDuration(selector.hasOffset, selector.offset);
        return;
      }
      case PromNodeKind::MatrixSelector: {
        const auto& matrix = node.as<PromMatrixSelector>();
        writeMapHeader(out_, 4);
        writeStr(out_, "variant");
        writeStr(out_, "MatrixSelector");
        writeStr(out_, "selector");
        writeEnvelope(*matrix.child);
        writeStr(out_, "range");
        writePromDuration(matrix.range);
        writeStr(out_, "offset");
        writeOptionalDuration(matrix.hasOffset, matrix.offset);
        return;
      }
      case PromNodeKind::NumberLiteral:
        writeMapHeader(out_, 2);
        writeStr(out_, "variant");
        writeStr(out_, "NumberLiteral");
        writeStr(out_, "value");
        writeStr(out_, node.as<PromNumberLiteral>().raw);
        return;
      case PromNodeKind::StringLiteral:
        writeMapHeader(out_, 2);
        writeStr(out_, "variant");
        writeStr(out_, "StringLiteral");
        writeStr(out_, "value");
        writeStr(out_, node.as<PromStringLiteral>().value);
        return;
      case PromNodeKind::FunctionCall: {
        const auto& call = node.as<PromFunctionCall>();
        writeMapHeader(out_, 3);
        writeStr(out_, "variant");
        writeStr(out_, "FunctionCall");
        writeStr(out_, "name");
        writeStr(out_, call.name);
        writeStr(out_, "args");
        writeArrayHeader(out_, static_cast<std::uint32_t>(call.args.size()));
        for (const PromNode* arg : call.args) writeEnvelope(*arg);
        return;
      }
      case PromNodeKind::Aggregate: {
        const auto& aggregate = node.as<PromAggregate>();
        writeMapHeader(out_, 5);
        writeStr(out_, "variant");
        writeStr(out_, "Aggregate");
        writeStr(out_, "op");
        writeStr(out_, aggregate.name);
        writeStr(out_, "expr");
        writeEnvelope(*aggregate.args[0]);
        writeStr(out_, "grouping");
        if (aggregate.grouping == PromGrouping::None) {
          writeNil(out_);
        } else {
          writeArrayHeader(out_, static_cast<std::uint32_t>(aggregate.groupingLabels.size()));
          for (std::string_view label : aggregate.groupingLabels) writeStr(out_, label);
        }
        writeStr(out_, "without");
        writeBool(out_, aggregate.grouping == PromGrouping::Without);
        return;
      }
      case PromNodeKind::BinaryOp: {
        const auto& binary = node.as<PromBinaryExpr>();
        writeMapHeader(out_, 4);
        writeStr(out_, "variant");
        writeStr(out_, "BinaryOp");
        writeStr(out_, "left");
        writeEnvelope(*binary.left);
        writeBinaryTail(binary);
        return;
      }
      case PromNodeKind::UnaryOp: {
        const auto& unary = node.as<PromUnaryExpr>();
        writeMapHeader(out_, 3);
        writeStr(out_, "variant");
        writeStr(out_, "UnaryOp");
        writeStr(out_, "op");
        writeStr(out_, unary.negate ? "Minus" : "Plus");
        writeStr(out_, "expr");
        writeEnvelope(*unary.operand);
        return;
      }
      case PromNodeKind::Paren:
        writeMapHeader(out_, 2);
        writeStr(out_, "variant");
        writeStr(out_, "Paren");
        writeStr(out_, "expr");
        writeEnvelope(*node.as<PromParen>().child);
        return;
    }
    raiseDefect("PromQL node of unknown kind");
  }

  void writePromSpan(const PromSpan& span) {
    writeMapHeader(out_, 2);
    writeStr(out_, "start");
    writePromPos(span.start);
    writeStr(out_, "end");
    writePromPos(span.end);
  }

  void writePromPos(const PromPos& pos) {
    writeMapHeader(out_, 3);
    writeStr(out_, "line");
    writeInt(out_, pos.line);
    writeStr(out_, "column");
    writeInt(out_, pos.column);
    writeStr(out_, "offset");
    writeInt(out_, pos.offset);
  }

  void writePromDuration(const PromDuration& duration) {
    writeMapHeader(out_, 2);
    writeStr(out_, "raw");
    writeStr(out_, duration.raw);
    writeStr(out_, "milliseconds");
    writeInt(out_, duration.milliseconds);
  }

  void writePromMatcher(const PromMatcher& matcher) {
    writeMapHeader(out_, 4);
    writeStr(out_, "name");
    writeStr(out_, matcher.name);
    writeStr(out_, "op");
    writeStr(out_, kMatchOpNames[static_cast<int>(matcher.op)]);
    writeStr(out_, "value");
    writeStr(out_, matcher.value);
    writeStr(out_, "span");
    writePromSpan(matcher.span);
  }

 private:
  // Everything of a BinaryOp node map after its left operand.
  void writeBinaryTail(const PromBinaryExpr& binary) {
    writeStr(out_, "op");
    writeStr(out_, kBinaryOpNames[static_cast<int>(binary.op)]);
    writeStr(out_, "right");
    writeEnvelope(*binary.right);
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
  std::vector<const PromBinaryExpr*> spine_;
};

}  // namespace

void writePromEnvelope(OutputStream& out, const PromNode& node) { PromWriter(out).writeEnvelope(node); }

DocumentBytes writePromDocument(const PromNode& root, std::size_t expectedBytes) {
  if (expectedBytes > kPromMaxDocumentBytes) expectedBytes = kPromMaxDocumentBytes;
  BufferStream out(expectedBytes, kPromMaxDocumentBytes, kPromDocumentTooLarge);
  writePromEnvelope(out, root);
  DocumentBytes document;
  document.size = out.size();
  document.data.reset(out.release());
  return document;
}

}  // namespace vellum::promql
