// What a parse result must look like, checked from the outside: the record's
// invariants, and the documents decoded with msgpack-c (never with the
// library's own encoder) and walked for their shape and spans. Shared by the
// fuzz targets and the corpus and limit tests. Every check returns an empty
// string when it holds, else a short description of what is wrong.
//
// The walks keep an explicit stack: documents of long expression chains are
// as deep as the input is long.
#pragma once

#ifndef MSGPACK_NO_BOOST
#define MSGPACK_NO_BOOST 1
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <msgpack.hpp>

#include "vellum_sql_parser.h"

namespace vellum_oracle {

inline constexpr char kDefectPrefix[] = "internal parser defect (this is a parser bug, not invalid SQL): ";

// Status 0: a document and no error text; status 1: an error text with its
// NUL and no document.
inline std::string checkRecord(const ParseResult& r) {
  if (r.status == 0) {
    if (r.data == nullptr) return "success without a document";
    if (r.data_len <= 0) return "success with data_len " + std::to_string(r.data_len);
    if (r.error != nullptr || r.error_len != 0) return "success with an error text";
    return {};
  }
  if (r.status != 1) return "status " + std::to_string(r.status);
  if (r.data != nullptr || r.data_len != 0) return "error with a document";
  if (r.error == nullptr) return "error without a text";
  if (r.error_len < 0) return "error_len " + std::to_string(r.error_len);
  if (r.error[r.error_len] != '\0') return "error text not NUL-terminated at error_len";
  if (std::strlen(r.error) != static_cast<std::size_t>(r.error_len)) return "error text shorter than error_len";
  return {};
}

inline bool isDefect(const ParseResult& r) {
  return r.status == 1 && r.error != nullptr && std::strncmp(r.error, kDefectPrefix, sizeof kDefectPrefix - 1) == 0;
}

namespace detail {

inline bool isStr(const msgpack::object& o, std::string_view s) {
  return o.type == msgpack::type::STR && std::string_view(o.via.str.ptr, o.via.str.size) == s;
}

inline std::string_view strOf(const msgpack::object& o) {
  return o.type == msgpack::type::STR ? std::string_view(o.via.str.ptr, o.via.str.size) : std::string_view();
}

// The map's value under `key`, or null.
inline const msgpack::object* field(const msgpack::object& map, std::string_view key) {
  if (map.type != msgpack::type::MAP) return nullptr;
  for (std::uint32_t i = 0; i < map.via.map.size; ++i) {
    if (isStr(map.via.map.ptr[i].key, key)) return &map.via.map.ptr[i].val;
  }
  return nullptr;
}

// A map whose keys are exactly `keys`, in that order, with non-negative
// integer values read into `values`.
inline bool readIntMap(const msgpack::object& o, std::initializer_list<std::string_view> keys, std::int64_t* values) {
  if (o.type != msgpack::type::MAP || o.via.map.size != keys.size()) return false;
  std::size_t i = 0;
  for (std::string_view key : keys) {
    const msgpack::object_kv& kv = o.via.map.ptr[i];
    if (!isStr(kv.key, key) || kv.val.type != msgpack::type::POSITIVE_INTEGER) return false;
    if (kv.val.via.u64 > 0x7fffffffffffffffULL) return false;
    values[i++] = static_cast<std::int64_t>(kv.val.via.u64);
  }
  return true;
}

// Decodes exactly one value filling all `size` bytes.
inline std::string decodeOne(const std::uint8_t* data, std::size_t size, msgpack::object_handle& handle) {
  std::size_t offset = 0;
  try {
    msgpack::unpack(handle, reinterpret_cast<const char*>(data), size, offset);
  } catch (const std::exception& e) {
    return std::string("msgpack-c cannot decode the document: ") + e.what();
  }
  if (offset != size) return "document holds more than one value (" + std::to_string(size - offset) + " bytes left)";
  return {};
}

// Where lines start, to place spans inside the text.
struct LineTable {
  explicit LineTable(std::string_view text) : size(text.size()) {
    starts.push_back(0);
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') starts.push_back(i + 1);
    }
  }
  std::int64_t lines() const { return static_cast<std::int64_t>(starts.size()); }
  // Bytes on `line` (1-based), its line feed not counted.
  std::int64_t length(std::int64_t line) const {
    std::size_t begin = starts[static_cast<std::size_t>(line - 1)];
    std::size_t end = static_cast<std::size_t>(line) < starts.size() ? starts[static_cast<std::size_t>(line)] - 1 : size;
    return static_cast<std::int64_t>(end - begin);
  }
  std::vector<std::size_t> starts;
  std::size_t size;
};

inline std::string sqlSpanProblem(const msgpack::object& span, bool zeroAllowed, const LineTable* lines) {
  if (span.type != msgpack::type::MAP || span.via.map.size != 2 || !isStr(span.via.map.ptr[0].key, "start") ||
      !isStr(span.via.map.ptr[1].key, "end")) {
    return "span is not a {start, end} map";
  }
  std::int64_t start[2];
  std::int64_t end[2];
  if (!readIntMap(span.via.map.ptr[0].val, {"line", "column"}, start) ||
      !readIntMap(span.via.map.ptr[1].val, {"line", "column"}, end)) {
    return "span position is not a {line, column} map of non-negative integers";
  }
  if (zeroAllowed && start[0] == 0 && start[1] == 0 && end[0] == 0 && end[1] == 0) return {};
  std::string where = " (" + std::to_string(start[0]) + ":" + std::to_string(start[1]) + " to " +
                      std::to_string(end[0]) + ":" + std::to_string(end[1]) + ")";
  if (start[0] < 1 || start[1] < 1 || end[0] < 1 || end[1] < 1) return "span position below 1" + where;
  if (end[0] < start[0] || (end[0] == start[0] && end[1] < start[1])) return "span ends before it starts" + where;
  if (lines != nullptr) {
    for (const std::int64_t* p : {start, end}) {
      // A column one past the line's end is the end of the text.
      if (p[0] > lines->lines() || p[1] > lines->length(p[0]) + 1) return "span outside the text" + where;
    }
  }
  return {};
}

}  // namespace detail

// A SQL document: one array of {"kind", "span"} statement envelopes whose
// kind maps start with "variant"; every span map (under "span" or a key
// ending in "_span") has lines and columns from 1 and does not end before it
// starts. Nodes under a CHECK expression or a MERGE branch condition keep
// the spans they were built with, so all-zero spans are accepted there.
// With `text`, spans must also lie inside it.
inline std::string checkSqlDocument(const std::uint8_t* data, std::size_t size, const std::string_view* text = nullptr) {
  using namespace detail;
  msgpack::object_handle handle;
  std::string problem = decodeOne(data, size, handle);
  if (!problem.empty()) return problem;
  const msgpack::object& root = handle.get();
  if (root.type != msgpack::type::ARRAY) return "document is not an array";
  for (std::uint32_t i = 0; i < root.via.array.size; ++i) {
    const msgpack::object& statement = root.via.array.ptr[i];
    if (statement.type != msgpack::type::MAP || statement.via.map.size != 2 ||
        !isStr(statement.via.map.ptr[0].key, "kind") || !isStr(statement.via.map.ptr[1].key, "span")) {
      return "statement " + std::to_string(i) + " is not a {kind, span} map";
    }
    const msgpack::object& kind = statement.via.map.ptr[0].val;
    if (kind.type != msgpack::type::MAP || kind.via.map.size == 0 || !isStr(kind.via.map.ptr[0].key, "variant") ||
        kind.via.map.ptr[0].val.type != msgpack::type::STR) {
      return "statement " + std::to_string(i) + " kind does not start with a variant";
    }
  }
  LineTable lineTable(text != nullptr ? *text : std::string_view());
  const LineTable* lines = text != nullptr ? &lineTable : nullptr;
  // (value, whether all-zero spans are accepted below it)
  std::vector<std::pair<const msgpack::object*, bool>> stack{{&root, false}};
  while (!stack.empty()) {
    auto [o, zeroAllowed] = stack.back();
    stack.pop_back();
    if (o->type == msgpack::type::ARRAY) {
      for (std::uint32_t i = 0; i < o->via.array.size; ++i) stack.push_back({&o->via.array.ptr[i], zeroAllowed});
      continue;
    }
    if (o->type != msgpack::type::MAP) continue;
    const msgpack::object* variant = field(*o, "variant");
    bool isCheck = variant != nullptr && isStr(*variant, "Check");
    // A MERGE branch: {"matched", "condition", "action", "span"}.
    bool isMergeWhen = field(*o, "matched") != nullptr && field(*o, "action") != nullptr;
    for (std::uint32_t i = 0; i < o->via.map.size; ++i) {
      const msgpack::object_kv& kv = o->via.map.ptr[i];
      if (kv.key.type != msgpack::type::STR) return "map key is not a string";
      std::string_view key = strOf(kv.key);
      if (key == "span" || (key.size() > 5 && key.substr(key.size() - 5) == "_span")) {
        problem = sqlSpanProblem(kv.val, zeroAllowed, lines);
        if (!problem.empty()) return std::string(key) + ": " + problem;
        continue;
      }
      bool below = zeroAllowed || (isCheck && key == "expression") || (isMergeWhen && key == "condition");
      stack.push_back({&kv.val, below});
    }
  }
  return {};
}

// A PromQL document: one {"kind", "span"} envelope; every span map (of each
// envelope and matcher) holds {line, column, offset} positions from 1 (lines
// and columns) and 0 (offsets) whose offsets lie inside `text`, the start
// not after the end, and whose line and column are those of the offset.
inline std::string checkPromDocument(const std::uint8_t* data, std::size_t size, std::string_view text) {
  using namespace detail;
  msgpack::object_handle handle;
  std::string problem = decodeOne(data, size, handle);
  if (!problem.empty()) return problem;
  const msgpack::object& root = handle.get();
  if (root.type != msgpack::type::MAP || root.via.map.size != 2 || !isStr(root.via.map.ptr[0].key, "kind") ||
      !isStr(root.via.map.ptr[1].key, "span")) {
    return "document is not a {kind, span} map";
  }
  LineTable lines(text);
  std::vector<const msgpack::object*> stack{&root};
  while (!stack.empty()) {
    const msgpack::object* o = stack.back();
    stack.pop_back();
    if (o->type == msgpack::type::ARRAY) {
      for (std::uint32_t i = 0; i < o->via.array.size; ++i) stack.push_back(&o->via.array.ptr[i]);
      continue;
    }
    if (o->type != msgpack::type::MAP) continue;
    for (std::uint32_t i = 0; i < o->via.map.size; ++i) {
      const msgpack::object_kv& kv = o->via.map.ptr[i];
      if (kv.key.type != msgpack::type::STR) return "map key is not a string";
      if (!isStr(kv.key, "span")) {
        stack.push_back(&kv.val);
        continue;
      }
      const msgpack::object& span = kv.val;
      if (span.type != msgpack::type::MAP || span.via.map.size != 2 || !isStr(span.via.map.ptr[0].key, "start") ||
          !isStr(span.via.map.ptr[1].key, "end")) {
        return "span is not a {start, end} map";
      }
      std::int64_t pos[2][3];
      for (int k = 0; k < 2; ++k) {
        if (!readIntMap(span.via.map.ptr[k].val, {"line", "column", "offset"}, pos[k])) {
          return "span position is not a {line, column, offset} map of non-negative integers";
        }
      }
      std::string where = " (offsets " + std::to_string(pos[0][2]) + " to " + std::to_string(pos[1][2]) + " of " +
                          std::to_string(text.size()) + ")";
      if (pos[0][2] > pos[1][2]) return "span starts after it ends" + where;
      if (pos[1][2] > static_cast<std::int64_t>(text.size())) return "span outside the text" + where;
      for (const std::int64_t* p : pos) {
        std::size_t offset = static_cast<std::size_t>(p[2]);
        std::int64_t line = 1 + static_cast<std::int64_t>(
                                    std::upper_bound(lines.starts.begin(), lines.starts.end(), offset) -
                                    lines.starts.begin() - 1);
        std::int64_t column = static_cast<std::int64_t>(offset - lines.starts[static_cast<std::size_t>(line - 1)]) + 1;
        if (p[0] != line || p[1] != column) {
          return "span position " + std::to_string(p[0]) + ":" + std::to_string(p[1]) + " is not that of offset " +
                 std::to_string(offset) + " (" + std::to_string(line) + ":" + std::to_string(column) + ")";
        }
      }
    }
  }
  return {};
}

}  // namespace vellum_oracle
