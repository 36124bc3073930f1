// Every real-world SQL text of the shared corpus goes through the C
// interface: whatever the dialect accepts must come back as one well-formed
// document, everything else as a proper error record; nothing may crash.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/msgpack_json.h"
#include "vellum_sql_parser.h"

namespace {

std::vector<std::string> readCorpusFile(const std::filesystem::path& path) {
  std::vector<std::string> texts;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    nlohmann::json record = nlohmann::json::parse(line);
    if (record.is_string()) texts.push_back(record.get<std::string>());
  }
  return texts;
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
      if (r.status == 0) {
        ++fileAccepted;
        EXPECT_EQ(r.error, nullptr);
        EXPECT_EQ(r.error_len, 0);
        ASSERT_NE(r.data, nullptr) << text;
        std::string json = vellum_test::msgpackToJson(r.data, static_cast<std::size_t>(r.data_len));
        EXPECT_EQ(json.front(), '[') << text;
      } else {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.data, nullptr);
        EXPECT_EQ(r.data_len, 0);
        ASSERT_NE(r.error, nullptr) << text;
        EXPECT_GT(r.error_len, 0) << text;
        EXPECT_EQ(r.error[r.error_len], '\0');
        std::string message(r.error, static_cast<std::size_t>(r.error_len));
        EXPECT_EQ(message.find("internal parser defect"), std::string::npos) << text << "\n" << message;
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

}  // namespace
