#include "support/msgpack_json.h"

#include <charconv>
#include <cstdio>

#include <gtest/gtest.h>
#include <msgpack.hpp>

namespace vellum_test {
namespace {

void appendString(std::string& out, std::string_view s) {
  out.push_back('"');
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out.push_back('"');
}

void appendObject(std::string& out, const msgpack::object& o, const JsonOptions& options) {
  switch (o.type) {
    case msgpack::type::NIL: out += "null"; break;
    case msgpack::type::BOOLEAN: out += o.via.boolean ? "true" : "false"; break;
    case msgpack::type::POSITIVE_INTEGER: out += std::to_string(o.via.u64); break;
    case msgpack::type::NEGATIVE_INTEGER: out += std::to_string(o.via.i64); break;
    case msgpack::type::FLOAT32:
    case msgpack::type::FLOAT64: {
      char buf[64];
      auto r = std::to_chars(buf, buf + sizeof buf, o.via.f64);
      out.append(buf, r.ptr);
      break;
    }
    case msgpack::type::STR: appendString(out, std::string_view(o.via.str.ptr, o.via.str.size)); break;
    case msgpack::type::ARRAY: {
      out.push_back('[');
      for (std::uint32_t i = 0; i < o.via.array.size; ++i) {
        if (i) out.push_back(',');
        appendObject(out, o.via.array.ptr[i], options);
      }
      out.push_back(']');
      break;
    }
    case msgpack::type::MAP: {
      out.push_back('{');
      bool first = true;
      for (std::uint32_t i = 0; i < o.via.map.size; ++i) {
        const auto& kv = o.via.map.ptr[i];
        if (kv.key.type == msgpack::type::STR &&
            options.dropKeys.count(std::string(kv.key.via.str.ptr, kv.key.via.str.size))) {
          continue;
        }
        if (!first) out.push_back(',');
        first = false;
        appendObject(out, kv.key, options);
        out.push_back(':');
        appendObject(out, kv.val, options);
      }
      out.push_back('}');
      break;
    }
    default: out += "<unexpected msgpack type>"; break;
  }
}

}  // namespace

std::string msgpackToJson(const std::uint8_t* data, std::size_t size, const JsonOptions& options) {
  try {
    std::size_t offset = 0;
    msgpack::unpack_limit limit(0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff, 0xffffffff, 100000);
    msgpack::object_handle handle =
        msgpack::unpack(reinterpret_cast<const char*>(data), size, offset, nullptr, nullptr, limit);
    if (offset != size) {
      ADD_FAILURE() << "document has " << (size - offset) << " trailing bytes";
      return "<invalid>";
    }
    std::string out;
    appendObject(out, handle.get(), options);
    return out;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "msgpack-c could not decode the document: " << e.what();
    return "<invalid>";
  }
}

std::string compactJson(std::string_view json) {
  std::string out;
  bool inString = false;
  for (std::size_t i = 0; i < json.size(); ++i) {
    char c = json[i];
    if (inString) {
      out.push_back(c);
      if (c == '\\' && i + 1 < json.size()) {
        out.push_back(json[++i]);
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
      out.push_back(c);
    } else if (c != ' ' && c != '\n' && c != '\t' && c != '\r') {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace vellum_test
