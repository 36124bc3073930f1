// PromQL documents at the byte level: map headers, the shortest integer
// forms, and the document size limit.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "promql/promql_document.h"

namespace {

std::string bytesOf(const std::string& text) {
  vellum::DocumentBytes doc = vellum::parsePromQlDocument(text);
  return std::string(reinterpret_cast<const char*>(doc.data.get()), doc.size);
}

bool contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

TEST(PromQlWriterTest, DocumentOfASelector) {
  const std::string doc = bytesOf("up");
  // {"kind": {"variant": "VectorSelector", "metric": "up", "matchers": [],
  //  "offset": nil}, "span": {"start": {...}, "end": {...}}}
  const std::string expected = std::string("\x82\xa4kind\x84\xa7variant\xaeVectorSelector\xa6metric\xa2up") +
                               "\xa8matchers\x90\xa6offset\xc0" + "\xa4span\x82\xa5start\x83\xa4line\x01" +
                               "\xa6" "column\x01\xa6offset" + std::string(1, '\0') + "\xa3" "end\x83\xa4line\x01" +
                               "\xa6" "column\x03\xa6offset\x02";
  EXPECT_EQ(doc, expected);
}

TEST(PromQlWriterTest, IntegersTakeTheirShortestForm) {
  // -60000 needs the 4-byte signed form, 300000 the 4-byte unsigned form.
  EXPECT_TRUE(contains(bytesOf("x offset -1m"), std::string("\xacmilliseconds\xd2\xff\xff\x15\xa0", 18)));
  EXPECT_TRUE(contains(bytesOf("x offset 5m"), std::string("\xacmilliseconds\xce\x00\x04\x93\xe0", 18)));
  EXPECT_TRUE(contains(bytesOf("x offset -100ms"), std::string("\xacmilliseconds\xd0\x9c", 15)));
  EXPECT_TRUE(contains(bytesOf("x offset -32ms"), std::string("\xacmilliseconds\xe0", 14)));
  EXPECT_TRUE(contains(bytesOf("x offset 1y"), std::string("\xacmilliseconds\xcf\x00\x00\x00\x07\x57\xb1\x2c\x00", 22)));
  // Offsets 127 and 128 around the one-byte boundary.
  const std::string at127 = bytesOf(std::string(127, ' ') + "x");
  EXPECT_TRUE(contains(at127, std::string("\xa6offset\x7f", 8)));
  const std::string at128 = bytesOf(std::string(128, ' ') + "x");
  EXPECT_TRUE(contains(at128, std::string("\xa6offset\xcc\x80", 9)));
  EXPECT_TRUE(contains(at128, std::string("\xa6offset\xcc\x81", 9)));
}

TEST(PromQlWriterTest, LongStringsAndWideLists) {
  const std::string name(300, 'n');
  EXPECT_TRUE(contains(bytesOf(name), "\xa6metric\xda\x01\x2c" + name));
  std::string args = "f(1";
  for (int i = 1; i < 16; ++i) args += ",1";
  EXPECT_TRUE(contains(bytesOf(args + ")"), "\xa4" "args\xdc" + std::string("\x00\x10", 2)));
  EXPECT_TRUE(contains(bytesOf("f(1)"), "\xa4" "args\x91"));
  EXPECT_TRUE(contains(bytesOf("f()"), "\xa4" "args\x90"));
}

}  // namespace
