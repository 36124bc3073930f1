// vellum-parse: its formatting helpers, and the tool itself run as a child
// process, checked against what the library answers for the same text.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli_format.h"
#include "support/msgpack_json.h"
#include "support/threads.h"
#include "vellum_sql_parser.h"

namespace {

using vellum_cli::documentToJson;
using vellum_cli::errorPosition;
using vellum_cli::JsonFormat;
using vellum_cli::sourceExcerpt;
using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------
// Formatting helpers

TEST(CliFormatTest, ErrorPosition) {
  const struct {
    const char* error;
    std::size_t line;
    std::size_t column;  // 0: no position
  } cases[] = {
      {"Parse error at line 1, col 10: expected ')' (got tkEof '')", 1, 10},
      {"PromQL parse error at line 3, col 7, offset 20 near 'x': unexpected", 3, 7},
      {"Parse error at line 12, col 345: x 'at line 9, col 9'", 12, 345},
      {"SQL input exceeds 1048576-byte limit", 0, 0},
      {"at line , col 3", 0, 0},
      {"at line 2 col 3", 0, 0},
      {"at line 0, col 3", 0, 0},
      {"x at line 2, col", 0, 0},
      {"at line 2, col x; later at line 4, col 5", 4, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    auto position = errorPosition(c.error);
    if (c.column == 0) {
      EXPECT_FALSE(position.has_value());
    } else {
      ASSERT_TRUE(position.has_value());
      EXPECT_EQ(position->line, c.line);
      EXPECT_EQ(position->column, c.column);
    }
  }
}

TEST(CliFormatTest, SourceExcerpt) {
  const struct {
    const char* text;
    std::size_t line;
    std::size_t column;
    const char* excerpt;
  } cases[] = {
      {"SELECT (1", 1, 10, "SELECT (1\n         ^\n"},
      {"SELECT (1", 1, 1, "SELECT (1\n^\n"},
      {"SELECT 1;\nSELECT (1\nSELECT 3", 2, 8, "SELECT (1\n       ^\n"},
      {"a\nb\n", 3, 1, "\n^\n"},  // the empty line after the last line feed
      {"a\nb", 3, 1, ""},         // no such line
      {"\tx = 'caf\xc3\xa9' +", 1, 14, "\tx = 'caf\xc3\xa9' +\n\t           ^\n"},
      {"up{a=\"b\"}\r\nx", 1, 3, "up{a=\"b\"}\n  ^\n"},
      {"ab", 1, 5, "ab\n    ^\n"},  // just past the end of the line
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(sourceExcerpt(c.text, c.line, c.column), c.excerpt);
  }
}

TEST(CliFormatTest, LongLinesAreCutAroundTheColumn) {
  std::string line = std::string(1000, 'a') + "XYZ" + std::string(1000, 'b');
  std::string excerpt = sourceExcerpt(line, 1, 1001);
  std::string expectedSource = "..." + std::string(80, 'a') + "XYZ" + std::string(77, 'b') + "...";
  EXPECT_EQ(excerpt, expectedSource + "\n" + std::string(3 + 80, ' ') + "^\n");

  std::string start = sourceExcerpt(line, 1, 2);
  EXPECT_EQ(start, std::string(160, 'a') + "...\n ^\n");
}

TEST(CliFormatTest, DocumentToJson) {
  // {"variant": "Select", "b": [1, -2, 2.5, null, true], "a": {}}, keys in written order.
  Bytes document = {0x83, 0xa7, 'v', 'a', 'r', 'i', 'a', 'n', 't', 0xa6, 'S', 'e', 'l', 'e', 'c', 't',
                    0xa1, 'b', 0x95, 0x01, 0xfe, 0xcb, 0x40, 0x04, 0, 0, 0, 0, 0, 0, 0xc0, 0xc3,
                    0xa1, 'a', 0x80};
  EXPECT_EQ(documentToJson(document.data(), document.size()),
            "{\n"
            "  \"variant\": \"Select\",\n"
            "  \"b\": [\n"
            "    1,\n"
            "    -2,\n"
            "    2.5,\n"
            "    null,\n"
            "    true\n"
            "  ],\n"
            "  \"a\": {}\n"
            "}");
}

TEST(CliFormatTest, TextThatIsNotUtf8IsReplaced) {
  Bytes document = {0x91, 0xa4, 'c', 'a', 'f', 0xe9};
  EXPECT_EQ(documentToJson(document.data(), document.size()), "[\n  \"caf\xef\xbf\xbd\"\n]");
}

TEST(CliFormatTest, CompactAndWithoutSpans) {
  // [{"kind": {"variant": "X", "name_span": {}, "n": [1, {"span": 2}]}, "span": {"start": 1}}, {"span": 1}]
  Bytes document = {0x92, 0x82, 0xa4, 'k', 'i', 'n', 'd', 0x83, 0xa7, 'v', 'a', 'r', 'i', 'a', 'n', 't', 0xa1, 'X',
                    0xa9, 'n', 'a', 'm', 'e', '_', 's', 'p', 'a', 'n', 0x80, 0xa1, 'n', 0x92, 0x01, 0x81,
                    0xa4, 's', 'p', 'a', 'n', 0x02, 0xa4, 's', 'p', 'a', 'n', 0x81, 0xa5, 's', 't', 'a', 'r', 't',
                    0x01, 0x81, 0xa4, 's', 'p', 'a', 'n', 0x01};
  const struct {
    JsonFormat format;
    const char* json;
  } cases[] = {
      {{false, true}, R"([{"kind":{"variant":"X","name_span":{},"n":[1,{"span":2}]},"span":{"start":1}},{"span":1}])"},
      {{false, false}, R"([{"kind":{"variant":"X","n":[1,{}]}},{}])"},
      {{true, false},
       "[\n  {\n    \"kind\": {\n      \"variant\": \"X\",\n      \"n\": [\n        1,\n        {}\n      ]\n    }\n  },\n  {}\n]"},
  };
  for (const auto& c : cases) EXPECT_EQ(documentToJson(document.data(), document.size(), c.format), c.json);
}

TEST(CliFormatTest, LibraryDocumentsAsNlohmannAndMsgpackCPrintThem) {
  const char* texts[] = {"SELECT a, -1.5e300, 'caf\xc3\xa9\\n' FROM t WHERE x IN (1, 2) LIMIT 18446744073",
                         "VALUES (1), (2); BEGIN; PRAGMA x = 9223372036854775807", "EXPLAIN SHOW TABLES"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    ParseResult r = vellum_parse_sql(text, static_cast<int32_t>(std::strlen(text)));
    ASSERT_EQ(r.status, 0) << r.error;
    const std::size_t size = static_cast<std::size_t>(r.data_len);
    auto reference = nlohmann::ordered_json::from_msgpack(r.data, r.data + size);
    EXPECT_EQ(documentToJson(r.data, size), reference.dump(2));
    EXPECT_EQ(documentToJson(r.data, size, {false, true}), reference.dump());
    vellum_test::JsonOptions noSpans;
    noSpans.dropKeys = {"span"};
    EXPECT_EQ(documentToJson(r.data, size, {false, false}), vellum_test::msgpackToJson(r.data, size, noSpans));
    vellum_free_buffer(r.data);
  }
}

TEST(CliFormatTest, DeepDocumentsNeedNoRecursion) {
  constexpr std::size_t kDepth = 1000000;
  Bytes document(kDepth, 0x91);  // [[[...[{"span": 1}]...]]]
  const std::string tail = "\x81\xa4span\x01";
  for (char byte : tail) document.push_back(static_cast<std::uint8_t>(byte));
  std::string compact, noSpans;
  vellum_test::runOnThreadWithStack(vellum_test::kOneMiB, [&] {
    compact = documentToJson(document.data(), document.size(), {false, true});
    noSpans = documentToJson(document.data(), document.size(), {false, false});
  });
  EXPECT_EQ(compact, std::string(kDepth, '[') + R"({"span":1})" + std::string(kDepth, ']'));
  EXPECT_EQ(noSpans, std::string(kDepth, '[') + "{}" + std::string(kDepth, ']'));
}

TEST(CliFormatTest, MalformedDocumentsRaise) {
  const Bytes cases[] = {{}, {0x92, 0x01}, {0xa3, 'a', 'b'}, {0x01, 0x02}, {0xc4, 0x00}, {0x81, 0x90, 0x01}, {0xcd, 0x01}};
  for (const Bytes& bytes : cases) {
    EXPECT_THROW(documentToJson(bytes.data(), bytes.size()), std::runtime_error) << bytes.size();
  }
}

// ---------------------------------------------------------------------------
// The tool

#ifdef VELLUM_PARSE_TOOL

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TempFile {
 public:
  explicit TempFile(const std::string& contents = "") {
    char name[] = "/tmp/vellum_cli_test_XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    path_ = name;
    std::size_t written = 0;
    while (written < contents.size()) {
      ssize_t n = write(fd, contents.data() + written, contents.size() - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    close(fd);
  }
  ~TempFile() { unlink(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs vellum-parse with `args`, feeding `input` on standard input.
ToolRun runTool(const std::vector<std::string>& args, const std::string& input = "") {
  TempFile in(input), out, err;
  pid_t pid = fork();
  if (pid == 0) {
    int inFd = open(in.path().c_str(), O_RDONLY);
    int outFd = open(out.path().c_str(), O_WRONLY | O_TRUNC);
    int errFd = open(err.path().c_str(), O_WRONLY | O_TRUNC);
    dup2(inFd, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(VELLUM_PARSE_TOOL));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(VELLUM_PARSE_TOOL, argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ToolRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = readFile(out.path());
  run.err = readFile(err.path());
  return run;
}

// What the tool must print for a text, derived from the library's own answer.
ToolRun expectedRun(const std::string& language, const std::string& text, bool msgpack) {
  ParseResult r = language == "sql" ? vellum_parse_sql(text.data(), static_cast<int32_t>(text.size()))
                                    : vellum_parse_promql(text.c_str(), 0);
  ToolRun run;
  if (r.status == 0) {
    run.exitCode = 0;
    run.out = msgpack ? std::string(reinterpret_cast<const char*>(r.data), static_cast<std::size_t>(r.data_len))
                      : documentToJson(r.data, static_cast<std::size_t>(r.data_len)) + "\n";
  } else {
    std::string error(r.error, static_cast<std::size_t>(r.error_len));
    run.exitCode = 1;
    run.err = error + "\n";
    if (auto position = errorPosition(error)) run.err += sourceExcerpt(text, position->line, position->column);
  }
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  return run;
}

void expectRun(const ToolRun& got, const ToolRun& want) {
  EXPECT_EQ(got.exitCode, want.exitCode);
  EXPECT_EQ(got.out, want.out);
  EXPECT_EQ(got.err, want.err);
}

TEST(CliToolTest, PrintsWhatTheLibraryAnswers) {
  const std::pair<const char*, const char*> cases[] = {
      {"sql", "SELECT 1"},
      {"sql", "SELECT a, 'caf\xe9' FROM t"},  // a string that is not UTF-8
      {"sql", "SELECT 1;\nSELECT (1"},          // an error on the second line
      {"sql", "SELECT (1"},
      {"promql", "sum by (job) (rate(http_requests_total[5m]))"},
      {"promql", "sum(\n  rate(x[5m]"},
  };
  for (const auto& [language, text] : cases) {
    SCOPED_TRACE(text);
    expectRun(runTool({language, text}), expectedRun(language, text, false));
    expectRun(runTool({"--msgpack", language, text}), expectedRun(language, text, true));
  }
}

TEST(CliToolTest, UnclosedParenthesisPointsAtTheEnd) {
  // Stays an error whatever the parser grows into.
  ToolRun run = runTool({"sql", "SELECT (1"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  if (run.err.find("at line") != std::string::npos) {
    EXPECT_NE(run.err.find("at line 1, col 10"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.substr(run.err.find('\n') + 1), "SELECT (1\n         ^\n");
  }
}

TEST(CliToolTest, JsonOutputMatchesTheDocument) {
  ParseResult r = vellum_parse_sql("SELECT 1", 8);
  bool parsed = r.status == 0;
  std::string expected = parsed ? vellum_test::msgpackToJson(r.data, static_cast<std::size_t>(r.data_len)) : "";
  vellum_free_buffer(r.data);
  vellum_free_buffer(r.error);
  if (!parsed) GTEST_SKIP() << "SQL parsing is not in the library yet";

  ToolRun run = runTool({"sql", "SELECT 1"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // The indented JSON, read back, is the document msgpack-c decodes.
  std::string compact = nlohmann::ordered_json::parse(run.out).dump();
  EXPECT_EQ(compact, expected);
}

TEST(CliToolTest, InputErrorsHaveNoCaret) {
  TempFile withNul(std::string("SELECT\0 1", 9));
  ToolRun nul = runTool({"sql", "-f", withNul.path()});
  EXPECT_EQ(nul.exitCode, 1);
  EXPECT_EQ(nul.out, "");
  EXPECT_EQ(nul.err, "SQL input contains an interior NUL byte\n");

  ToolRun tooLong = runTool({"sql"}, std::string(1048577, ' '));
  EXPECT_EQ(tooLong.exitCode, 1);
  EXPECT_EQ(tooLong.err, "SQL input exceeds 1048576-byte limit\n");

  ToolRun far = runTool({"--msgpack", "sql"}, std::string(3000000, ' '));
  EXPECT_EQ(far.exitCode, 1);
  EXPECT_EQ(far.out, "");
  EXPECT_EQ(far.err, "SQL input exceeds 1048576-byte limit\n");
}

TEST(CliToolTest, ArgumentFileAndStandardInputAgree) {
  for (const char* text : {"SELECT x FROM t", "SELECT (1", "rate(x[5m])"}) {
    for (const char* language : {"sql", "promql"}) {
      SCOPED_TRACE(std::string(language) + " " + text);
      ToolRun fromArgument = runTool({language, text});
      TempFile file(text);
      expectRun(runTool({language, "-f", file.path()}), fromArgument);
      expectRun(runTool({language}, text), fromArgument);
    }
  }
}

TEST(CliToolTest, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"mysql", "SELECT 1"},
      {"sql", "SELECT 1", "SELECT 2"},
      {"sql", "-f"},
      {"sql", "--json", "x"},
      {"sql", "-f", "/nonexistent/vellum/file.sql"},
  };
  for (const auto& args : cases) {
    ToolRun run = runTool(args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("vellum-parse: "), std::string::npos) << run.err;
  }
  TempFile nul(std::string("up\0x", 4));
  ToolRun promNul = runTool({"promql", "-f", nul.path()});
  EXPECT_EQ(promNul.exitCode, 2);
  EXPECT_EQ(promNul.err, "vellum-parse: the PromQL text contains a NUL byte\n");

  ToolRun help = runTool({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("usage: vellum-parse", 0), 0u);
}

TEST(CliToolTest, CompactAndNoSpans) {
  const std::pair<const char*, const char*> cases[] = {
      {"sql", "SELECT a\n  FROM t; COMMIT"}, {"promql", "rate(x{a=\"b\"}[5m])"}, {"sql", "SELECT (1"}};
  for (const auto& [language, text] : cases) {
    SCOPED_TRACE(text);
    ParseResult r = std::string(language) == "sql" ? vellum_parse_sql(text, static_cast<int32_t>(std::strlen(text)))
                                                   : vellum_parse_promql(text, 0);
    const std::size_t size = static_cast<std::size_t>(r.data_len);
    const bool ok = r.status == 0;
    for (const JsonFormat format : {JsonFormat{false, true}, JsonFormat{true, false}, JsonFormat{false, false}}) {
      std::vector<std::string> args;
      if (!format.indent) args.push_back("--compact");
      if (!format.spans) args.push_back("--no-spans");
      args.push_back(language);
      args.push_back(text);
      ToolRun run = runTool(args);
      if (ok) {
        expectRun(run, {0, documentToJson(r.data, size, format) + "\n", ""});
      } else {
        expectRun(run, expectedRun(language, text, false));  // errors print as without the flags
      }
    }
    vellum_free_buffer(r.data);
    vellum_free_buffer(r.error);
  }
}

TEST(CliToolTest, LinesGiveOneAnswerPerLine) {
  auto compactDocument = [](const std::string& text) {
    ParseResult r = vellum_parse_sql(text.data(), static_cast<int32_t>(text.size()));
    std::string json = documentToJson(r.data, static_cast<std::size_t>(r.data_len), {false, false});
    vellum_free_buffer(r.data);
    return json;
  };
  using namespace std::string_literals;
  const std::string input = "SELECT 1\nSELECT a FROM t; COMMIT\r\n\nSELECT (1\nSELECT\0 1\nBEGIN"s;
  const std::string expected = compactDocument("SELECT 1") + "\n" + compactDocument("SELECT a FROM t; COMMIT\r") +
                               "\n[]\n" +
                               R"x({"error":"Parse error at line 1, col 10: expected tkRParen (got tkEof '')","line":4,"column":10})x"
                               "\n" R"({"error":"SQL input contains an interior NUL byte","line":5,"column":null})"
                               "\n" + compactDocument("BEGIN") + "\n";
  TempFile file(input);
  expectRun(runTool({"--lines", "--no-spans", "sql"}, input), {0, expected, ""});
  expectRun(runTool({"--no-spans", "--lines", "sql", "-f", file.path()}, ""), {0, expected, ""});
  // A last line feed ends the last line; it does not start another.
  expectRun(runTool({"--lines", "--no-spans", "sql", "SELECT 1\n"}), {0, compactDocument("SELECT 1") + "\n", ""});
  expectRun(runTool({"--lines", "sql"}, ""), {0, "", ""});

  // With spans, and PromQL, where the tool itself refuses a NUL byte.
  ToolRun prom = runTool({"--lines", "promql"}, "up\nsum(\nx\0y\n"s);
  EXPECT_EQ(prom.exitCode, 0);
  EXPECT_EQ(prom.out,
            R"({"kind":{"variant":"VectorSelector","metric":"up","matchers":[],"offset":null},)"
            R"("span":{"start":{"line":1,"column":1,"offset":0},"end":{"line":1,"column":3,"offset":2}}})"
            "\n" R"({"error":"PromQL parse error at line 1, col 5, offset 4 near '<eof>': expected expression","line":2,"column":5})"
            "\n" R"({"error":"the PromQL text contains a NUL byte","line":3,"column":null})" "\n");
}

TEST(CliToolTest, MsgpackTakesNoFormattingFlags) {
  for (const char* flag : {"--compact", "--no-spans", "--lines"}) {
    ToolRun run = runTool({"--msgpack", flag, "sql", "SELECT 1"});
    EXPECT_EQ(run.exitCode, 2) << flag;
    EXPECT_EQ(run.out, "");
  }
}

#endif  // VELLUM_PARSE_TOOL

}  // namespace
