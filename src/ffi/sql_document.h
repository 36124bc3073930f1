// SQL text to the statement-list document.
#pragma once

#include <cstdint>
#include <string_view>

#include "support/bytes.h"

namespace vellum {

// Parses the whole SQL text and writes its document. A syntax error comes
// back as the result's `failure`, without unwinding; other errors raise.
// `padding` zero bytes after the text may be read (see sql::Lexer).
DocumentBytes readSqlDocument(std::string_view text, std::int32_t padding = 0);

// The same, raising ParseError on a syntax error too.
DocumentBytes parseSqlDocument(std::string_view text, std::int32_t padding = 0);

}  // namespace vellum
