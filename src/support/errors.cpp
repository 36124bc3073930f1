#include "support/errors.h"

namespace vellum {

void raiseDefect(const std::string& message) { throw InternalDefect(message); }

void raiseDefect(const char* message) { throw InternalDefect(message); }

}  // namespace vellum
