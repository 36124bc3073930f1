#include "ffi/sql_document.h"

#include "support/errors.h"

namespace vellum {

DocumentBytes parseSqlDocument(std::string_view) {
  throw ParseError("SQL parsing is not available yet");
}

}  // namespace vellum
