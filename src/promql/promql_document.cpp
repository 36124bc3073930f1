#include "promql/promql_document.h"

#include "support/errors.h"

namespace vellum {

DocumentBytes parsePromQlDocument(std::string_view) {
  throw PromQlParseError("PromQL parsing is not available yet");
}

}  // namespace vellum
