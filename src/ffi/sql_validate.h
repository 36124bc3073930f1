// Checks run on a CREATE CONTINUOUS AGGREGATE statement before the staged
// writer writes the document that holds it.
#pragma once

#include "sql/tree.h"

namespace vellum::sql {

// The limit of the node walk: the statement is at depth 1, and a node at
// depth 129 fails.
inline constexpr int kMaxValidatedDepth = 128;

// Proves that the statement is safe to write (no nil node, no cycle, no
// depth beyond the limit, valid spans, the child layouts the writers expect)
// and that its query and options respect the rules of continuous aggregates.
// Raises ValueError (through stagedValidationError) on the first failure;
// reads the tree and changes nothing.
void validateContinuousAggregate(const SqlNode* statement);

}  // namespace vellum::sql
