// Test helpers: MessagePack documents decoded with msgpack-c (never with the
// library's own encoder) and printed as compact JSON with the keys in their
// written order, so that expected documents can be written as JSON text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace vellum_test {

struct JsonOptions {
  // Map entries whose key is in this set are left out (e.g. {"span"}).
  std::set<std::string> dropKeys;
};

// Decodes exactly one MessagePack value filling all `size` bytes; trailing or
// missing bytes make it fail the current test and return "<invalid>".
std::string msgpackToJson(const std::uint8_t* data, std::size_t size, const JsonOptions& options = {});

// Removes the white space outside string literals, so that expected JSON may
// be written readably.
std::string compactJson(std::string_view json);

}  // namespace vellum_test
