// PromQL text to the expression document.
#pragma once

#include <string_view>

#include "support/bytes.h"

namespace vellum {

// Parses one PromQL expression and writes its document. Raises on any error.
DocumentBytes parsePromQlDocument(std::string_view text);

}  // namespace vellum
