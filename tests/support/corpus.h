// The real-world texts of the shared corpus: JSON Lines files, one JSON
// string per line.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vellum_test {

// The texts of one corpus file (lines that are no JSON string are skipped).
inline std::vector<std::string> readCorpusFile(const std::filesystem::path& path) {
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

}  // namespace vellum_test
