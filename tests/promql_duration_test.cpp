// Duration literals and the decimal conversion shared with numbers.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "promql/promql_duration.h"
#include "support/errors.h"

namespace {

using vellum::PromQlParseError;
using namespace vellum::promql;

// A duration token at line 2, column 5, offset 9.
const PromSpan kSpan{{2, 5, 9}, {2, 9, 13}};

// The milliseconds as text, or the error message.
std::string decode(const std::string& text) {
  try {
    PromDuration d = decodeDuration(text, kSpan);
    EXPECT_EQ(d.raw, text);
    return std::to_string(d.milliseconds);
  } catch (const PromQlParseError& e) {
    return e.message();
  }
}

std::string errorNear(const std::string& text, const std::string& message) {
  return "PromQL parse error at line 2, col 5, offset 9 near '" + text + "': " + message;
}

struct Case {
  std::string text;
  std::string expected;  // milliseconds, or the message after the position
};

void expectDurations(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    bool isNumber = !c.expected.empty() && (std::isdigit(static_cast<unsigned char>(c.expected[0])) != 0);
    EXPECT_EQ(decode(c.text), isNumber ? c.expected : errorNear(c.text, c.expected)) << "text: " << c.text;
  }
}

TEST(PromQlDurationTest, Units) {
  expectDurations({
      {"5m", "300000"},
      {"90s", "90000"},
      {"1h30m", "5400000"},
      {"1y", "31536000000"},
      {"1w2d", "777600000"},
      {"2d", "172800000"},
      {"3h", "10800000"},
      {"100ms", "100"},
      {"1m5ms", "60005"},
      {"1s1ms", "1001"},
      {"1y1w1d1h1m1s1ms", "32230861001"},
      {"0s1ms", "1"},
      {"007s", "7000"},
      {"999999999999999ms", "999999999999999"},
      {"9007199254740993ms", "9007199254740992"},
  });
}

TEST(PromQlDurationTest, FractionsRoundOnlyTheTotal) {
  expectDurations({
      {"1.5h", "5400000"},
      {".5m", "30000"},
      {"5.m", "300000"},
      {"0.5ms", "1"},
      {"1.5ms", "2"},
      {"2.5ms", "3"},
      {"0.4ms", "0"},
      {"0.49ms", "0"},
      {"0.3ms0.3ms", "duration units must be unique and descending"},
      {"0.25s0.25ms", "250"},
      {"1h.5m", "3630000"},
  });
}

TEST(PromQlDurationTest, Range) {
  expectDurations({
      {"106751991167d", "9223372036828800000"},
      {"106751991168d", "duration must be positive and in range"},
      {"300000000y", "duration must be positive and in range"},
      {"9223372036854775807ms", "duration must be positive and in range"},  // a double: exactly 2^63
      {"9223372036854774784ms", "9223372036854774784"},                     // the largest double below 2^63
      {"0s", "duration must be positive and in range"},
      {"0ms0.0ms", "duration units must be unique and descending"},
      {"0h0m", "duration must be positive and in range"},
      {"", "duration must be positive and in range"},
  });
}

TEST(PromQlDurationTest, HugeSegmentsStayInRange) {
  // Hundreds of digits: a total that overflows the double range, or that
  // underflows to zero, fails the range test and never wraps.
  std::string huge = "1" + std::string(400, '0');
  std::string tiny = "0." + std::string(400, '0') + "1";
  std::string long9 = std::string(300, '9');
  expectDurations({
      {huge + "ms", "duration must be positive and in range"},
      {huge + "y", "duration must be positive and in range"},
      {long9 + "s", "duration must be positive and in range"},
      {"1h" + huge + "s", "duration must be positive and in range"},
      {tiny + "ms", "duration must be positive and in range"},
      {"1ms" + std::string(500, '0') + "." + std::string(500, '0') + "1" + "s", "duration units must be unique and descending"},
      {"1s" + std::string(500, '0') + "." + std::string(500, '0') + "1" + "ms", "1000"},
  });
}

TEST(PromQlDurationTest, Errors) {
  expectDurations({
      {"5mm", "invalid duration"},
      {"5mx", "invalid duration"},
      {"5m5", "invalid duration"},
      {"5", "invalid duration"},
      {"m", "invalid duration"},
      {"1h.m", "invalid duration"},
      {"1h..5m", "invalid duration"},
      {"1h5x", "duration units must be unique and descending"},
      {"5M", "duration units must be unique and descending"},
      {"5.5.m", "duration units must be unique and descending"},
      {"30m1h", "duration units must be unique and descending"},
      {"1m1m", "duration units must be unique and descending"},
      {"1h1h", "duration units must be unique and descending"},
      {"1s1m", "duration units must be unique and descending"},
      {"1ms1s", "duration units must be unique and descending"},
      {"1ms1ms", "duration units must be unique and descending"},
      {"1d\xc3\xa9", "invalid duration"},
      {"1\xc3\xa9", "duration units must be unique and descending"},
  });
}

TEST(PromQlDurationTest, DecimalConversion) {
  struct NumberCase {
    std::string text;
    bool ok;
    double value;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<NumberCase> cases = {
      {"1", true, 1.0},
      {"1.50", true, 1.5},
      {".5", true, 0.5},
      {"007", true, 7.0},
      {"999999999999999", true, 999999999999999.0},
      {"000000000000005", true, 5.0},
      {"9007199254740993", true, 9007199254740992.0},
      {"18446744073709551617", true, 18446744073709551616.0},
      {"1e3", true, 1000.0},
      {"2E-3", true, 0.002},
      {"1e+5", true, 100000.0},
      {"0.1", true, 0.1},
      {"1e-310", true, 1e-310},
      {"1e999", true, inf},
      {"1" + std::string(400, '0'), true, inf},
      {"0.00001e312", true, 1e307},
      {"1e-999", true, 0.0},
      {"0." + std::string(400, '0') + "1", true, 0.0},
      {"1000e-320", true, 1e-317},
      {".5.5", false, 0.0},
      {"", false, 0.0},
      {"1x", false, 0.0},
  };
  for (const NumberCase& c : cases) {
    double value = -1.0;
    EXPECT_EQ(convertDecimal(c.text, value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

}  // namespace
