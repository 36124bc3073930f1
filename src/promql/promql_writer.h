// The PromQL tree as a MessagePack document: every expression is an
// envelope {"kind": node map, "span": span map}.
#pragma once

#include <cstddef>

#include "msgpack/output_stream.h"
#include "promql/promql_tree.h"
#include "support/bytes.h"

namespace vellum::promql {

// The document length must fit the result record's signed 32-bit length.
inline constexpr std::size_t kPromMaxDocumentBytes = 2147483647;
inline constexpr char kPromDocumentTooLarge[] = "PromQL document exceeds 2147483647-byte limit";

// Writes the envelope of `node` and everything below it. Walks the left
// spine of operator chains in a loop, so the stack it uses is bounded by
// the parser's nesting limit, not by the length of the input.
void writePromEnvelope(OutputStream& out, const PromNode& node);

// The document of `root`. Raises ValueError with kPromDocumentTooLarge as
// soon as the document grows past kPromMaxDocumentBytes. `expectedBytes` is
// a hint for the first buffer.
DocumentBytes writePromDocument(const PromNode& root, std::size_t expectedBytes = 0);

}  // namespace vellum::promql
