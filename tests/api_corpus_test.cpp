// Every real-world SQL text of the shared corpus goes through the C
// interface: whatever the dialect accepts must come back as one well-formed
// document whose spans are valid and lie inside the text, everything else as
// a proper error record with a position inside the text (or one of the few
// unpositioned limit and value messages); never a defect, never a crash.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "../fuzz/document_oracle.h"
#include "support/corpus.h"
#include "vellum_sql_parser.h"

namespace {

using vellum_test::readCorpusFile;

// Errors that carry no position: limits and values the grammar accepted.
const char* const kUnpositioned[] = {
    "maximum SQL syntactic nesting depth of 128 exceeded",
    "Parsed integer outside of valid range",
    "VECTOR dimension must be between 0 and 4294967295",
    "DECIMAL requires 1 <= precision <= 38 and 0 <= scale <= precision",
};

// Empty when `message` is a syntax error placed inside `text`, or one of the
// unpositioned messages; else what is wrong with it.
std::string errorProblem(const std::string& message, const std::string& text) {
  for (const char* m : kUnpositioned) {
    if (message == m) return {};
  }
  long long line = 0;
  long long column = 0;
  int consumed = 0;
  if (std::sscanf(message.c_str(), "Parse error at line %lld, col %lld: %n", &line, &column, &consumed) != 2 ||
      consumed == 0) {
    return "error without a position";
  }
  // A token's position, or one past the last byte for the end of the text.
  vellum_oracle::detail::LineTable lines(text);
  if (line < 1 || column < 1 || line > lines.lines()) return "error line outside the text";
  if (column > lines.length(line) + 1) return "error column outside the text";
  return {};
}

TEST(ApiCorpusTest, EverySqlCorpusTextGivesADocumentOrAnError) {
  std::filesystem::path dir = std::filesystem::path(VELLUM_CORPUS_DIR) / "sql";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no corpus at " << dir;
  std::size_t total = 0;
  std::size_t accepted = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".jsonl") continue;
    std::size_t fileTotal = 0;
    std::size_t fileAccepted = 0;
    for (const std::string& text : readCorpusFile(entry.path())) {
      ParseResult r = vellum_parse_sql(text.data(), static_cast<int32_t>(text.size()));
      ++fileTotal;
      ASSERT_EQ(vellum_oracle::checkRecord(r), "") << text;
      if (r.status == 0) {
        ++fileAccepted;
        std::string_view view(text);
        EXPECT_EQ(vellum_oracle::checkSqlDocument(r.data, static_cast<std::size_t>(r.data_len), &view), "") << text;
      } else {
        std::string message(r.error, static_cast<std::size_t>(r.error_len));
        EXPECT_FALSE(vellum_oracle::isDefect(r)) << text << "\n" << message;
        EXPECT_EQ(errorProblem(message, text), "") << text << "\n" << message;
      }
      vellum_free_buffer(r.data);
      vellum_free_buffer(r.error);
    }
    std::printf("%-32s %5zu of %5zu accepted\n", entry.path().filename().c_str(), fileAccepted, fileTotal);
    total += fileTotal;
    accepted += fileAccepted;
  }
  std::printf("%-32s %5zu of %5zu accepted\n", "all", accepted, total);
  EXPECT_GT(total, 0u);
}

TEST(ApiCorpusTest, EveryPromQlCorpusTextGivesADocumentOrAPositionedError) {
  std::filesystem::path dir = std::filesystem::path(VELLUM_CORPUS_DIR) / "promql";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no corpus at " << dir;
  std::size_t total = 0;
  std::size_t accepted = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".jsonl") continue;
    // Records that are not JSON strings (base64 forms) are left out.
    for (const std::string& text : readCorpusFile(entry.path())) {
      ParseResult r = vellum_parse_promql(text.c_str(), 0);
      ++total;
      ASSERT_EQ(vellum_oracle::checkRecord(r), "") << text;
      if (r.status == 0) {
        ++accepted;
        EXPECT_EQ(vellum_oracle::checkPromDocument(r.data, static_cast<std::size_t>(r.data_len), text), "") << text;
      } else {
        EXPECT_EQ(std::string(r.error).rfind("PromQL parse error at line ", 0), 0u) << text << "\n" << r.error;
      }
      vellum_free_buffer(r.data);
      vellum_free_buffer(r.error);
    }
  }
  std::printf("%-32s %5zu of %5zu accepted\n", "promql", accepted, total);
  EXPECT_GT(total, 0u);
}

}  // namespace
