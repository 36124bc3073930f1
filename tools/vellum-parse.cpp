// vellum-parse: parses SQL or PromQL text with the library and prints the
// syntax tree as JSON (or the raw MessagePack document). It uses nothing but
// the library's C interface, exactly as any host does.
//
//   vellum-parse [--msgpack] sql|promql [TEXT | -f FILE]
//
// Without TEXT or -f the text is read from standard input. Exit status: 0 a
// document was printed, 1 the parser answered with an error, 2 usage or I/O.
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
    "usage: vellum-parse [--msgpack] sql|promql [TEXT | -f FILE]\n"
    "  Parses TEXT, the contents of FILE, or standard input, and prints the\n"
    "  syntax tree as JSON, or as the raw MessagePack document with --msgpack.\n"
    "  Exit status: 0 document printed, 1 parse error, 2 usage or I/O error.\n";

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
  return std::nullopt;
}

// Prints the error text and, when it names a position, the line it points at.
void printError(const std::string& source, const std::string& error) {
  std::cerr << error << "\n";
  if (auto position = vellum_cli::errorPosition(error)) {
    std::cerr << vellum_cli::sourceExcerpt(source, position->line, position->column);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (std::optional<int> status = parseArguments(argc, argv, options)) return *status;

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

  ParseResult result;
  if (options.language == "sql") {
    // Longer texts are refused by the library's own limit before it reads them.
    std::size_t length = source.size() > 1048577 ? 1048577 : source.size();
    result = vellum_parse_sql(source.data(), static_cast<int32_t>(length));
  } else {
    // The PromQL export reads a NUL-terminated string; a NUL inside the text
    // would silently cut it short.
    if (source.find('\0') != std::string::npos) {
      std::cerr << "vellum-parse: the PromQL text contains a NUL byte\n";
      return 2;
    }
    result = vellum_parse_promql(source.c_str(), 0);
  }

  int status = 0;
  if (result.status != 0) {
    printError(source, std::string(result.error, static_cast<std::size_t>(result.error_len)));
    status = 1;
  } else if (options.msgpack) {
    std::fwrite(result.data, 1, static_cast<std::size_t>(result.data_len), stdout);
  } else {
    try {
      std::cout << vellum_cli::documentToJson(result.data, static_cast<std::size_t>(result.data_len)) << "\n";
    } catch (const std::exception& e) {
      std::cerr << "vellum-parse: cannot decode the document: " << e.what() << "\n";
      status = 2;
    }
  }
  vellum_free_buffer(result.data);
  vellum_free_buffer(result.error);
  std::cout.flush();
  if (std::fflush(stdout) != 0 || !std::cout) {
    std::cerr << "vellum-parse: cannot write the output\n";
    return 2;
  }
  return status;
}
