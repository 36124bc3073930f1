// The input rules of both parse exports, through the shared library only:
// the SQL checks in their order, the PromQL length rules, and that neither
// export reads a byte it was not given (texts placed right before an
// inaccessible page).
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/msgpack_json.h"
#include "vellum_sql_parser.h"

namespace {

constexpr char kNegative[] = "SQL input length must not be negative";
constexpr char kTooLong[] = "SQL input exceeds 1048576-byte limit";
constexpr char kNullPointer[] = "SQL input pointer must not be null";
constexpr char kHasNul[] = "SQL input contains an interior NUL byte";
constexpr char kDefectPrefix[] = "internal parser defect (this is a parser bug, not invalid SQL): ";
static_assert(sizeof(kDefectPrefix) - 1 == 64);
constexpr int32_t kLimit = 1048576;

// A result, copied out and released.
struct Outcome {
  int status = -1;
  std::vector<uint8_t> data;
  std::string error;

  bool operator==(const Outcome& other) const {
    return status == other.status && data == other.data && error == other.error;
  }
};

// Checks the record's invariants, copies it and releases its buffers.
Outcome take(const ParseResult& r) {
  Outcome out;
  out.status = r.status;
  if (r.status == 0) {
    EXPECT_NE(r.data, nullptr);
    EXPECT_GT(r.data_len, 0);
    EXPECT_EQ(r.error, nullptr);
    EXPECT_EQ(r.error_len, 0);
    if (r.data != nullptr && r.data_len > 0) out.data.assign(r.data, r.data + r.data_len);
  } else {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.data, nullptr);
    EXPECT_EQ(r.data_len, 0);
    EXPECT_NE(r.error, nullptr);
    EXPECT_GE(r.error_len, 0);
    if (r.error != nullptr) {
      EXPECT_EQ(r.error[r.error_len], '\0');
      EXPECT_EQ(std::strlen(r.error), static_cast<size_t>(r.error_len));
      out.error.assign(r.error, static_cast<size_t>(r.error_len));
    }
  }
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return out;
}

void expectError(const ParseResult& r, const std::string& message) {
  Outcome out = take(r);
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.error, message);
}

// The input was accepted by the checks: the result is a document or an
// error from further on, never an input-check error.
void expectPassesSqlInputChecks(const ParseResult& r) {
  Outcome out = take(r);
  for (const char* check : {kNegative, kTooLong, kNullPointer, kHasNul}) EXPECT_NE(out.error, check);
}

void expectDefect(const ParseResult& r) {
  Outcome out = take(r);
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.error.substr(0, 64), kDefectPrefix) << out.error;
  EXPECT_GT(out.error.size(), 64u) << "the defect's own message follows the prefix";
}

// `size` bytes that end exactly where an inaccessible page begins: reading
// one byte past them faults.
class GuardedBytes {
 public:
  explicit GuardedBytes(size_t size) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    usable_ = (size + page - 1) / page * page;
    if (usable_ == 0) usable_ = page;
    mapping_ = static_cast<char*>(
        mmap(nullptr, usable_ + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    EXPECT_NE(mapping_, MAP_FAILED);
    EXPECT_EQ(mprotect(mapping_ + usable_, page, PROT_NONE), 0);
    length_ = usable_ + page;
    data_ = mapping_ + usable_ - size;
  }
  ~GuardedBytes() { munmap(mapping_, length_); }
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;

  char* data() { return data_; }

 private:
  char* mapping_ = nullptr;
  char* data_ = nullptr;
  size_t usable_ = 0;
  size_t length_ = 0;
};

// ---------------------------------------------------------------------------
// SQL

TEST(ApiSqlInputTest, ChecksRunInTheirOrder) {
  std::string big(kLimit + 1, ' ');
  const char nul[] = {'a', '\0'};
  struct Case {
    const char* src;
    int32_t len;
    const char* message;
  } cases[] = {
      // Length sign first, before the pointer is looked at.
      {nullptr, -1, kNegative},
      {nullptr, INT32_MIN, kNegative},
      {"x", -1, kNegative},
      {nul, -2, kNegative},
      // Then the size limit, still before the pointer.
      {nullptr, kLimit + 1, kTooLong},
      {nullptr, INT32_MAX, kTooLong},
      {big.data(), kLimit + 1, kTooLong},
      // Then the pointer, also for an empty text.
      {nullptr, 0, kNullPointer},
      {nullptr, 5, kNullPointer},
      {nullptr, kLimit, kNullPointer},
      // Then the bytes.
      {nul, 2, kHasNul},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.len));
    expectError(vellum_parse_sql(c.src, c.len), c.message);
  }
}

TEST(ApiSqlInputTest, NulByteAnywhereInTheText) {
  const std::string text = "SELECT a FROM t";
  for (size_t position : {size_t{0}, size_t{1}, size_t{7}, text.size() - 1}) {
    std::string withNul = text;
    withNul[position] = '\0';
    SCOPED_TRACE(position);
    expectError(vellum_parse_sql(withNul.data(), static_cast<int32_t>(withNul.size())), kHasNul);
  }
  const char onlyNul[] = {'\0'};
  expectError(vellum_parse_sql(onlyNul, 1), kHasNul);
  // A NUL right after the given bytes is not part of the text.
  const char terminated[] = "SELECT 1";
  expectPassesSqlInputChecks(vellum_parse_sql(terminated, 8));
}

// Texts around the sizes at which the copy changes its way (sixteen-byte
// steps, the last one overlapping; the call's own buffer up to 1024 bytes,
// the heap beyond): a NUL is found wherever it is, and a NUL right after the
// text is not part of it.
TEST(ApiSqlInputTest, NulByteFoundAtEverySizeOfCopy) {
  for (size_t size : {size_t{1}, size_t{2}, size_t{15}, size_t{16}, size_t{17}, size_t{31}, size_t{32},
                      size_t{33}, size_t{1007}, size_t{1008}, size_t{1023}, size_t{1024}, size_t{1025}, size_t{4000}}) {
    std::string text = "SELECT 1" + std::string(size, ' ');
    text.resize(size);
    std::string terminated = text + '\0';
    SCOPED_TRACE(size);
    expectPassesSqlInputChecks(vellum_parse_sql(terminated.data(), static_cast<int32_t>(size)));
    for (size_t position : {size_t{0}, size / 2, size - 1, size >= 16 ? size - 16 : 0, size >= 17 ? size - 17 : 0}) {
      std::string withNul = text;
      withNul[position] = '\0';
      SCOPED_TRACE(position);
      expectError(vellum_parse_sql(withNul.data(), static_cast<int32_t>(size)), kHasNul);
    }
  }
}

TEST(ApiSqlInputTest, SizeLimitBoundary) {
  std::string text(kLimit, ' ');
  std::memcpy(text.data(), "SELECT 1", 8);
  expectPassesSqlInputChecks(vellum_parse_sql(text.data(), kLimit));

  text.push_back(' ');
  expectError(vellum_parse_sql(text.data(), kLimit + 1), kTooLong);

  // At the limit the NUL check still runs, up to the very last byte.
  text.resize(kLimit);
  text[kLimit - 1] = '\0';
  expectError(vellum_parse_sql(text.data(), kLimit), kHasNul);
}

TEST(ApiSqlInputTest, EmptyTextIsHandedOn) {
  ParseResult r = vellum_parse_sql("", 0);
  if (r.status == 0) {
    ASSERT_NE(r.data, nullptr);
    EXPECT_EQ(vellum_test::msgpackToJson(r.data, static_cast<size_t>(r.data_len)), "[]");
  }
  expectPassesSqlInputChecks(r);
}

TEST(ApiSqlInputTest, ReadsOnlyTheGivenBytes) {
  // No terminator and nothing readable after the text.
  GuardedBytes guarded(8);
  std::memcpy(guarded.data(), "SELECT 1", 8);
  expectPassesSqlInputChecks(vellum_parse_sql(guarded.data(), 8));

  GuardedBytes withNul(4);
  std::memcpy(withNul.data(), "ab\0c", 4);
  expectError(vellum_parse_sql(withNul.data(), 4), kHasNul);

  // An oversized length is refused before any byte is read.
  GuardedBytes one(1);
  one.data()[0] = 'x';
  expectError(vellum_parse_sql(one.data(), kLimit + 1), kTooLong);
}

// ---------------------------------------------------------------------------
// PromQL

TEST(ApiPromQlInputTest, NonPositiveLengthTakesTheWholeString) {
  Outcome whole = take(vellum_parse_promql("up", 2));
  EXPECT_EQ(take(vellum_parse_promql("up", 0)), whole);
  EXPECT_EQ(take(vellum_parse_promql("up", -5)), whole);
  EXPECT_EQ(take(vellum_parse_promql("up", INT32_MIN)), whole);
  // A positive length cuts the string.
  EXPECT_EQ(take(vellum_parse_promql("up foo bar", 2)), whole);

  if (whole.status == 0) {
    // The whole string, trailing words included, is one expression.
    EXPECT_EQ(take(vellum_parse_promql("up foo bar", 0)).status, 1);
    EXPECT_EQ(take(vellum_parse_promql("up foo bar", -5)).status, 1);
  }
}

TEST(ApiPromQlInputTest, NullPointerIsTheEmptyString) {
  Outcome empty = take(vellum_parse_promql("", 0));
  EXPECT_EQ(take(vellum_parse_promql(nullptr, 0)), empty);
  EXPECT_EQ(take(vellum_parse_promql(nullptr, -1)), empty);
  expectDefect(vellum_parse_promql(nullptr, 1));
}

TEST(ApiPromQlInputTest, LengthBeyondTheStringIsADefect) {
  expectDefect(vellum_parse_promql("up", 10));
  expectDefect(vellum_parse_promql("up", 3));
  expectDefect(vellum_parse_promql("", 1));
  expectDefect(vellum_parse_promql("up", INT32_MAX));
  // The string ends at its first NUL, whatever follows it.
  const char cut[] = {'u', 'p', '\0', 'x', 'y', '\0'};
  expectDefect(vellum_parse_promql(cut, 4));
  EXPECT_EQ(take(vellum_parse_promql(cut, 0)), take(vellum_parse_promql("up", 0)));
}

TEST(ApiPromQlInputTest, NeverReadsPastTheNul) {
  // "up" and its NUL are the last readable bytes.
  GuardedBytes guarded(3);
  std::memcpy(guarded.data(), "up", 3);
  Outcome whole = take(vellum_parse_promql("up", 0));
  EXPECT_EQ(take(vellum_parse_promql(guarded.data(), 0)), whole);
  EXPECT_EQ(take(vellum_parse_promql(guarded.data(), -1)), whole);
  EXPECT_EQ(take(vellum_parse_promql(guarded.data(), 2)), whole);
  expectDefect(vellum_parse_promql(guarded.data(), 10));
  expectDefect(vellum_parse_promql(guarded.data(), INT32_MAX));

  // Nor past `len` bytes when those hold no NUL.
  GuardedBytes unterminated(2);
  std::memcpy(unterminated.data(), "up", 2);
  EXPECT_EQ(take(vellum_parse_promql(unterminated.data(), 2)), whole);
}

TEST(ApiPromQlInputTest, NoSizeLimit) {
  std::string text = "up" + std::string(kLimit + 10, ' ');
  Outcome padded = take(vellum_parse_promql(text.c_str(), 0));
  EXPECT_EQ(padded.error.find("limit"), std::string::npos) << padded.error;
  if (take(vellum_parse_promql("up", 0)).status == 0) {
    EXPECT_EQ(padded.status, 0);
  }
}

}  // namespace
