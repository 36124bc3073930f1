// Type names take any expression as a parameter, and ARRAY and MAP may be
// written without their angle brackets. Such types still give a document:
// a missing element, key or value is nil and a parameter that names nothing
// reads as the empty name; none of them is reported as a broken tree.
#include <string>

#include <gtest/gtest.h>

#include "support/msgpack_json.h"
#include "vellum_sql_parser.h"

namespace {

// The "target_type" value of the first CAST in the statement's document.
std::string castTargetType(const std::string& sql) {
  ParseResult r = vellum_parse_sql(sql.data(), static_cast<int32_t>(sql.size()));
  std::string out;
  if (r.status != 0) {
    out = "error: " + std::string(r.error, static_cast<std::size_t>(r.error_len));
  } else {
    std::string json = vellum_test::msgpackToJson(r.data, static_cast<std::size_t>(r.data_len), {{"span"}});
    std::size_t at = json.find("\"target_type\":");
    if (at == std::string::npos) {
      out = "no target_type in " + json;
    } else {
      // The value runs to the matching closing brace.
      std::size_t start = at + 14;
      int level = 0;
      std::size_t i = start;
      for (; i < json.size(); ++i) {
        if (json[i] == '{') ++level;
        if (json[i] == '}' && --level == 0) break;
      }
      out = json.substr(start, i + 1 - start);
    }
  }
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return out;
}

struct Case {
  const char* sql;
  const char* targetType;
};

TEST(DocTypeParamsTest, ContainerTypesWithoutTheirParameters) {
  const Case cases[] = {
      {"SELECT CAST(x AS ARRAY)", R"({"variant":"Array","element":null})"},
      {"SELECT CAST(x AS list)", R"({"variant":"Array","element":null})"},
      {"SELECT CAST(x AS MAP)", R"({"variant":"Map","key":null,"value":null})"},
      {"SELECT CAST(x AS STRUCT)", R"({"variant":"Struct","fields":[]})"},
      {"SELECT CAST(x AS MAP(array, struct))",
       R"({"variant":"Map","key":{"variant":"Array","element":null},"value":{"variant":"Struct","fields":[]}})"},
  };
  for (const auto& c : cases) EXPECT_EQ(castTargetType(c.sql), c.targetType) << c.sql;
}

TEST(DocTypeParamsTest, ParametersThatNameNothing) {
  const Case cases[] = {
      {"SELECT CAST(x AS ARRAY(1 + 1))", R"({"variant":"Array","element":{"variant":""}})"},
      {"SELECT CAST(x AS ARRAY(3))", R"({"variant":"Array","element":{"variant":""}})"},
      {"SELECT CAST(x AS VECTOR(3, 1 + 1))", R"({"variant":"Vector","dimension":3,"metric":""})"},
      {"SELECT CAST(x AS VECTOR(3, 'cosine'))", R"({"variant":"Vector","dimension":3,"metric":"Cosine"})"},
      {"SELECT CAST(x AS STRUCT(-1, y))", R"({"variant":"Struct","fields":[{"name":"","data_type":{"variant":"y"}}]})"},
  };
  for (const auto& c : cases) EXPECT_EQ(castTargetType(c.sql), c.targetType) << c.sql;
}

}  // namespace
