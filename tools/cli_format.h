// What vellum-parse prints: a document as JSON (indented or on one line,
// with or without its spans), and the source line an error points at with a
// caret under its column. Header-only, so that the
// tests can check the formatting without running the tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace vellum_cli {

struct JsonFormat {
  bool indent = true;  // two spaces per level; false: everything on one line
  bool spans = true;   // false: map entries "span" and "..._span" are left out
};

// Reads one MessagePack value after another from a byte range.
class MsgpackReader {
 public:
  enum class Kind { Scalar, Array, Map };
  struct Item {
    Kind kind;
    std::uint32_t count;           // Array and Map: number of elements or entries
    nlohmann::ordered_json value;  // Scalar
  };

  MsgpackReader(const std::uint8_t* data, std::size_t size) : at_(data), end_(data + size) {}
  bool atEnd() const { return at_ == end_; }

  // The next value, or the header of the next array or map. Raises
  // std::runtime_error on truncated bytes and on the forms documents never
  // hold (binary and extension values, unused codes).
  Item next() {
    std::uint8_t code = take(1)[0];
    if (code <= 0x7f) return scalar(code);
    if (code <= 0x8f) return {Kind::Map, code & 0x0fu, {}};
    if (code <= 0x9f) return {Kind::Array, code & 0x0fu, {}};
    if (code <= 0xbf) return text(code & 0x1fu);
    if (code >= 0xe0) return scalar(static_cast<std::int8_t>(code));
    switch (code) {
      case 0xc0: return scalar(nullptr);
      case 0xc2: return scalar(false);
      case 0xc3: return scalar(true);
      case 0xca: {
        std::uint32_t bits = static_cast<std::uint32_t>(number(4));
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return scalar(static_cast<double>(f));
      }
      case 0xcb: {
        std::uint64_t bits = number(8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return scalar(d);
      }
      case 0xcc: return scalar(number(1));
      case 0xcd: return scalar(number(2));
      case 0xce: return scalar(number(4));
      case 0xcf: return scalar(number(8));
      case 0xd0: return scalar(static_cast<std::int8_t>(number(1)));
      case 0xd1: return scalar(static_cast<std::int16_t>(number(2)));
      case 0xd2: return scalar(static_cast<std::int32_t>(number(4)));
      case 0xd3: return scalar(static_cast<std::int64_t>(number(8)));
      case 0xd9: return text(number(1));
      case 0xda: return text(number(2));
      case 0xdb: return text(number(4));
      case 0xdc: return {Kind::Array, static_cast<std::uint32_t>(number(2)), {}};
      case 0xdd: return {Kind::Array, static_cast<std::uint32_t>(number(4)), {}};
      case 0xde: return {Kind::Map, static_cast<std::uint32_t>(number(2)), {}};
      case 0xdf: return {Kind::Map, static_cast<std::uint32_t>(number(4)), {}};
      default: throw std::runtime_error("unsupported MessagePack code " + std::to_string(code));
    }
  }

  // Skips one whole value, however deeply nested, without recursion.
  void skip() {
    std::uint64_t pending = 1;
    while (pending > 0) {
      --pending;
      Item item = next();
      if (item.kind == Kind::Array) pending += item.count;
      if (item.kind == Kind::Map) pending += 2ull * item.count;
    }
  }

 private:
  template <typename T>
  static Item scalar(T value) {
    return {Kind::Scalar, 0, nlohmann::ordered_json(value)};
  }
  const std::uint8_t* take(std::size_t n) {
    if (static_cast<std::size_t>(end_ - at_) < n) throw std::runtime_error("truncated MessagePack document");
    const std::uint8_t* from = at_;
    at_ += n;
    return from;
  }
  std::uint64_t number(std::size_t bytes) {
    const std::uint8_t* p = take(bytes);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value = value << 8 | p[i];
    return value;
  }
  Item text(std::uint64_t length) {
    const std::uint8_t* p = take(static_cast<std::size_t>(length));
    return scalar(std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length)));
  }

  const std::uint8_t* at_;
  const std::uint8_t* end_;
};

// "span" and the keys that end in "_span" ("name_span", ...).
inline bool isSpanKey(const nlohmann::ordered_json& key) {
  if (!key.is_string()) return false;
  const std::string& text = key.get_ref<const std::string&>();
  constexpr std::string_view kSuffix = "_span";
  return text == "span" ||
         (text.size() > kSuffix.size() && std::string_view(text).substr(text.size() - kSuffix.size()) == kSuffix);
}

// The document as JSON, keys in their written order, laid out as
// nlohmann::json's dump lays it out (indented by two spaces, or compact).
// Strings that are not UTF-8 get U+FFFD instead of stopping the output. The
// walk keeps its own stack, so documents of any depth are printed. Raises
// std::runtime_error if the bytes are not exactly one MessagePack value.
inline std::string documentToJson(const std::uint8_t* data, std::size_t size, JsonFormat format = {}) {
  struct Open {
    bool map;
    std::uint32_t remaining;  // elements, or entries of a map
    bool empty;               // nothing printed inside yet
  };
  MsgpackReader reader(data, size);
  std::vector<Open> open;
  std::string out;
  auto scalarText = [](const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  };
  auto newline = [&](std::size_t depth) {
    if (!format.indent) return;
    out += '\n';
    out.append(2 * depth, ' ');
  };
  // Opens the next element of the innermost container: its separator and line.
  auto startElement = [&] {
    if (open.empty()) return;
    Open& top = open.back();
    out += top.empty ? (top.map ? "{" : "[") : ",";
    top.empty = false;
    newline(open.size());
  };
  bool first = true;
  while (first || !open.empty()) {
    first = false;
    if (!open.empty()) {
      Open& top = open.back();
      if (top.remaining == 0) {
        if (top.empty) {
          out += top.map ? "{}" : "[]";
        } else {
          newline(open.size() - 1);
          out += top.map ? '}' : ']';
        }
        open.pop_back();
        continue;
      }
      --top.remaining;
      if (top.map) {
        MsgpackReader::Item key = reader.next();
        if (key.kind != MsgpackReader::Kind::Scalar) throw std::runtime_error("MessagePack map key is not a scalar");
        if (!format.spans && isSpanKey(key.value)) {
          reader.skip();
          continue;
        }
        startElement();
        out += scalarText(key.value.is_string() ? key.value : nlohmann::ordered_json(scalarText(key.value)));
        out += format.indent ? ": " : ":";
      } else {
        startElement();
      }
    }
    MsgpackReader::Item item = reader.next();
    if (item.kind == MsgpackReader::Kind::Scalar) {
      out += scalarText(item.value);
    } else {
      open.push_back({item.kind == MsgpackReader::Kind::Map, item.count, true});
    }
  }
  if (!reader.atEnd()) throw std::runtime_error("bytes after the MessagePack document");
  return out;
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
