// PromQL text to the expression document.
#pragma once

#include <string_view>

#include "support/bytes.h"

namespace vellum {

// Parses one PromQL expression and writes its document. A syntax error comes
// back as the result's `failure`, without unwinding; other errors raise.
DocumentBytes readPromQlDocument(std::string_view text);

// The same, raising PromQlParseError on a syntax error too.
DocumentBytes parsePromQlDocument(std::string_view text);

}  // namespace vellum
