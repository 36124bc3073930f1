// What vellum-parse prints: a document as indented JSON, and the source line
// an error points at with a caret under its column. Header-only, so that the
// tests can check the formatting without running the tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vellum_cli {

// The document as JSON indented by two spaces, keys in their written order.
// Strings that are not UTF-8 get U+FFFD instead of stopping the output.
// Raises nlohmann::json::exception if the bytes are not one MessagePack value.
inline std::string documentToJson(const std::uint8_t* data, std::size_t size) {
  nlohmann::ordered_json document = nlohmann::ordered_json::from_msgpack(data, data + size);
  return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

struct SourcePosition {
  std::size_t line;
  std::size_t column;
};

// The first "at line L, col C" in an error text (both front ends use that
// form for syntax errors); nothing when the text carries no position.
inline std::optional<SourcePosition> errorPosition(std::string_view error) {
  auto readNumber = [](std::string_view text, std::size_t& at, std::size_t& value) {
    std::size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 12) {
      value = value * 10 + static_cast<std::size_t>(text[at] - '0');
      ++at;
    }
    return at > start;
  };
  constexpr std::string_view kLine = "at line ";
  constexpr std::string_view kColumn = ", col ";
  for (std::size_t from = error.find(kLine); from != std::string_view::npos; from = error.find(kLine, from + 1)) {
    std::size_t at = from + kLine.size();
    SourcePosition position{};
    if (!readNumber(error, at, position.line)) continue;
    if (error.substr(at, kColumn.size()) != kColumn) continue;
    at += kColumn.size();
    if (!readNumber(error, at, position.column)) continue;
    if (position.line == 0 || position.column == 0) continue;
    return position;
  }
  return std::nullopt;
}

// Two lines: the source line `line` (lines end at a line feed) and a caret
// under byte column `column`. Tabs are repeated in the caret line and UTF-8
// continuation bytes take no room, so the caret lines up on a terminal. A
// very long line is cut to a window around the column. Empty when the text
// has no such line.
inline std::string sourceExcerpt(std::string_view text, std::size_t line, std::size_t column) {
  constexpr std::size_t kWindow = 160;
  std::size_t begin = 0;
  for (std::size_t n = 1; n < line; ++n) {
    std::size_t feed = text.find('\n', begin);
    if (feed == std::string_view::npos) return {};
    begin = feed + 1;
  }
  std::size_t end = text.find('\n', begin);
  if (end == std::string_view::npos) end = text.size();
  std::string_view source = text.substr(begin, end - begin);
  if (!source.empty() && source.back() == '\r') source.remove_suffix(1);

  std::size_t offset = column - 1;  // bytes before the caret
  std::string prefix;
  std::string suffix;
  if (source.size() > kWindow) {
    std::size_t start = offset > kWindow / 2 ? offset - kWindow / 2 : 0;
    if (start > source.size()) start = source.size() > kWindow ? source.size() - kWindow : 0;
    auto isContinuation = [&](std::size_t i) {
      return i < source.size() && (static_cast<unsigned char>(source[i]) & 0xc0) == 0x80;
    };
    while (start > 0 && isContinuation(start)) --start;
    std::size_t stop = start + kWindow < source.size() ? start + kWindow : source.size();
    while (stop < source.size() && isContinuation(stop)) ++stop;
    if (start > 0) prefix = "...";
    if (stop < source.size()) suffix = "...";
    offset -= start;
    source = source.substr(start, stop - start);
  }

  std::string out = prefix;
  out.append(source.data(), source.size());
  out += suffix;
  out += '\n';
  out.append(prefix.size(), ' ');
  for (std::size_t i = 0; i < offset; ++i) {
    if (i >= source.size()) {
      out += ' ';  // the column may lie just past the line's end
    } else if (source[i] == '\t') {
      out += '\t';
    } else if ((static_cast<unsigned char>(source[i]) & 0xc0) != 0x80) {
      out += ' ';
    }
  }
  out += "^\n";
  return out;
}

}  // namespace vellum_cli
