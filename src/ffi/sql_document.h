// SQL text to the statement-list document.
#pragma once

#include <string_view>

#include "support/bytes.h"

namespace vellum {

// Parses the whole SQL text and writes its document. Raises on any error.
DocumentBytes parseSqlDocument(std::string_view text);

}  // namespace vellum
