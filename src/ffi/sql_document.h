// SQL text to the statement-list document.
#pragma once

#include <cstdint>
#include <string_view>

#include "support/bytes.h"

namespace vellum {

// Parses the whole SQL text and writes its document. Raises on any error.
// `padding` zero bytes after the text may be read (see sql::Lexer).
DocumentBytes parseSqlDocument(std::string_view text, std::int32_t padding = 0);

}  // namespace vellum
