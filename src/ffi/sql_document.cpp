#include "ffi/sql_document.h"

#include <cstring>
#include <utility>

#include "ffi/sql_writer.h"
#include "sql/parser.h"
#include "support/arena.h"
#include "support/errors.h"

namespace vellum {
namespace {

std::size_t countSemicolons(std::string_view text) {
  std::size_t count = 0;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p != end) {
    const void* hit = std::memchr(p, ';', static_cast<std::size_t>(end - p));
    if (hit == nullptr) break;
    ++count;
    p = static_cast<const char*>(hit) + 1;
  }
  return count;
}

}  // namespace

DocumentBytes readSqlDocument(std::string_view text, std::int32_t padding) {
  // Each statement is written right after it is parsed, straight into one
  // growable buffer sized from the text, whose bytes are handed over; its
  // tree's memory then serves the next statement. Most statements end in
  // ";", so counting those bytes guesses the number of statements (and with
  // it the size of the list's header) nearly always. A short text is taken
  // for fewer than 16 statements without reading it: when it holds more,
  // its short document is moved once, which costs less than the count.
  constexpr std::size_t kCountedText = 4096;
  Arena arena;
  // The writer fills the spans on its way down each tree.
  sql::StatementReader reader(text, arena, padding, sql::Backfill::No);
  const std::size_t expected = text.size() < kCountedText ? 1 : countSemicolons(text) + 1;
  return sql::writeSqlDocument(reader, sql::documentCapacityHint(text.size()), expected);
}

DocumentBytes parseSqlDocument(std::string_view text, std::int32_t padding) {
  DocumentBytes document = readSqlDocument(text, padding);
  if (!document.failure.empty()) throw ParseError(std::move(document.failure));
  return document;
}

}  // namespace vellum
