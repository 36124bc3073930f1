// vellum-parse: parses SQL or PromQL text with the library and prints the
// syntax tree as JSON (or the raw MessagePack document). It uses nothing but
// the library's C interface, exactly as any host does.
//
//   vellum-parse [--msgpack | --compact] [--no-spans] [--lines] sql|promql [TEXT | -f FILE]
//
// Without TEXT or -f the text is read from standard input. With --lines each
// line of the input is a text of its own, answered by one line of JSON.
// Exit status: 0 a document was printed (with --lines: every line was
// answered), 1 the parser answered with an error, 2 usage or I/O.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "cli_format.h"
#include "vellum_sql_parser.h"

namespace {

constexpr char kUsage[] =
    "usage: vellum-parse [--msgpack | --compact] [--no-spans] [--lines] sql|promql [TEXT | -f FILE]\n"
    "  Parses TEXT, the contents of FILE, or standard input, and prints the\n"
    "  syntax tree as indented JSON, or as the raw MessagePack document with --msgpack.\n"
    "  --compact   JSON on one line\n"
    "  --no-spans  leave out every span entry\n"
    "  --lines     each input line is one text; one line of JSON per line, a parse\n"
    "              error as {\"error\": TEXT, \"line\": LINE, \"column\": COLUMN}\n"
    "  Exit status: 0 document printed (--lines: every line answered), 1 parse\n"
    "  error, 2 usage or I/O error.\n";

int usageError(const std::string& message) {
  std::cerr << "vellum-parse: " << message << "\n" << kUsage;
  return 2;
}

std::optional<std::string> readAll(std::istream& in) {
  std::ostringstream contents;
  contents << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(contents).str();
}

struct Options {
  bool msgpack = false;
  bool lines = false;
  vellum_cli::JsonFormat format;
  std::string language;
  std::optional<std::string> text;
  std::optional<std::string> file;
};

// Parses the command line; returns an exit status when the tool should stop.
std::optional<int> parseArguments(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--msgpack") {
      options.msgpack = true;
    } else if (arg == "--compact") {
      options.format.indent = false;
    } else if (arg == "--no-spans") {
      options.format.spans = false;
    } else if (arg == "--lines") {
      options.lines = true;
    } else if (arg == "-f") {
      if (i + 1 >= argc) return usageError("-f needs a file name");
      if (options.file || options.text) return usageError("give one text only");
      options.file = argv[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError("unknown option " + arg);
    } else if (options.language.empty()) {
      options.language = arg;
    } else {
      if (options.file || options.text) return usageError("give one text only");
      options.text = arg;
    }
  }
  if (options.language != "sql" && options.language != "promql") {
    return usageError(options.language.empty() ? "say sql or promql" : "unknown language " + options.language);
  }
  if (options.msgpack && (options.lines || !options.format.indent || !options.format.spans)) {
    return usageError("--msgpack prints the document as it is: no --compact, --no-spans or --lines");
  }
  if (options.lines) options.format.indent = false;
  return std::nullopt;
}

// Prints the error text and, when it names a position, the line it points at.
void printError(const std::string& source, const std::string& error) {
  std::cerr << error << "\n";
  if (auto position = vellum_cli::errorPosition(error)) {
    std::cerr << vellum_cli::sourceExcerpt(source, position->line, position->column);
  }
}

// Parses one text; the result's buffers belong to the caller. NUL-free
// PromQL is the caller's check.
ParseResult parseText(const std::string& language, const std::string& source) {
  if (language == "sql") {
    // Longer texts are refused by the library's own limit before it reads them.
    std::size_t length = source.size() > 1048577 ? 1048577 : source.size();
    return vellum_parse_sql(source.data(), static_cast<int32_t>(length));
  }
  return vellum_parse_promql(source.c_str(), 0);
}

constexpr char kPromQlNul[] = "the PromQL text contains a NUL byte";

// --lines: one JSON line per input line, the document or an error object
// whose "line" is the input line and "column" the error's column (null when
// the error names no position).
int parseLines(const Options& options, std::istream& in) {
  std::string source;
  for (std::size_t lineNumber = 1; std::getline(in, source); ++lineNumber) {
    std::optional<std::string> error;
    std::string json;
    if (options.language == "promql" && source.find('\0') != std::string::npos) {
      error = kPromQlNul;
    } else {
      ParseResult result = parseText(options.language, source);
      if (result.status != 0) {
        error = std::string(result.error, static_cast<std::size_t>(result.error_len));
      } else {
        try {
          json = vellum_cli::documentToJson(result.data, static_cast<std::size_t>(result.data_len), options.format);
        } catch (const std::exception& e) {
          error = std::string("cannot decode the document: ") + e.what();
        }
      }
      vellum_free_buffer(result.data);
      vellum_free_buffer(result.error);
    }
    if (error) {
      nlohmann::ordered_json answer;
      answer["error"] = *error;
      answer["line"] = lineNumber;
      auto position = vellum_cli::errorPosition(*error);
      answer["column"] = position ? nlohmann::ordered_json(position->column) : nlohmann::ordered_json(nullptr);
      json = answer.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    }
    std::cout << json << '\n';
    if (!std::cout) break;
  }
  if (in.bad()) {
    std::cerr << "vellum-parse: cannot read the input\n";
    return 2;
  }
  return 0;
}

// Flushes standard output; a failed write is an I/O error.
int finishOutput(int status) {
  std::cout.flush();
  if (std::fflush(stdout) != 0 || !std::cout) {
    std::cerr << "vellum-parse: cannot write the output\n";
    return 2;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (std::optional<int> status = parseArguments(argc, argv, options)) return *status;

  if (options.lines) {
    std::ios::sync_with_stdio(false);
    if (options.text) {
      std::istringstream in(*options.text);
      return finishOutput(parseLines(options, in));
    }
    if (options.file) {
      std::ifstream in(*options.file, std::ios::binary);
      if (!in) {
        std::cerr << "vellum-parse: cannot read " << *options.file << ": " << std::strerror(errno) << "\n";
        return 2;
      }
      return finishOutput(parseLines(options, in));
    }
    return finishOutput(parseLines(options, std::cin));
  }

  std::string source;
  if (options.text) {
    source = *options.text;
  } else if (options.file) {
    std::ifstream in(*options.file, std::ios::binary);
    std::optional<std::string> contents;
    if (in) contents = readAll(in);
    if (!contents) {
      std::cerr << "vellum-parse: cannot read " << *options.file << ": " << std::strerror(errno) << "\n";
      return 2;
    }
    source = std::move(*contents);
  } else {
    std::optional<std::string> contents = readAll(std::cin);
    if (!contents) {
      std::cerr << "vellum-parse: cannot read standard input\n";
      return 2;
    }
    source = std::move(*contents);
  }

  // The PromQL export reads a NUL-terminated string; a NUL inside the text
  // would silently cut it short.
  if (options.language == "promql" && source.find('\0') != std::string::npos) {
    std::cerr << "vellum-parse: " << kPromQlNul << "\n";
    return 2;
  }
  ParseResult result = parseText(options.language, source);

  int status = 0;
  if (result.status != 0) {
    printError(source, std::string(result.error, static_cast<std::size_t>(result.error_len)));
    status = 1;
  } else if (options.msgpack) {
    std::fwrite(result.data, 1, static_cast<std::size_t>(result.data_len), stdout);
  } else {
    try {
      std::cout << vellum_cli::documentToJson(result.data, static_cast<std::size_t>(result.data_len), options.format)
                << "\n";
    } catch (const std::bad_alloc&) {
      // Indentation grows with the depth: a very deep tree needs --compact.
      std::cerr << "vellum-parse: the indented JSON does not fit in memory (--compact prints it on one line)\n";
      status = 2;
    } catch (const std::exception& e) {
      std::cerr << "vellum-parse: cannot decode the document: " << e.what() << "\n";
      status = 2;
    }
  }
  vellum_free_buffer(result.data);
  vellum_free_buffer(result.error);
  return finishOutput(status);
}
