// MessagePack encoder: one function per wire type, each choosing the shortest
// format that holds the value. Only nil, bool, int, float64, str, array and
// map are ever produced.
#pragma once

#include <cstdint>
#include <string_view>

#include "msgpack/output_stream.h"

namespace vellum {

void writeNil(OutputStream& out);
void writeBool(OutputStream& out, bool value);
void writeInt(OutputStream& out, std::int64_t value);
void writeUInt(OutputStream& out, std::uint64_t value);
void writeFloat64(OutputStream& out, double value);
void writeStr(OutputStream& out, std::string_view value);
void writeArrayHeader(OutputStream& out, std::uint32_t count);
void writeMapHeader(OutputStream& out, std::uint32_t count);

}  // namespace vellum
