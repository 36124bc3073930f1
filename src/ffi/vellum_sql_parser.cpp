// The five exported functions. This is the only place where errors stop:
// everything raised below a parse call is caught here and becomes the error
// text of the result record.
#include "vellum_sql_parser.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ffi/sql_document.h"
#include "support/bytes.h"
#include "promql/promql_document.h"
#include "support/errors.h"
#include "support/float_environment.h"
#include "support/scratch.h"

namespace vellum {
namespace {

constexpr std::int32_t kMaxSqlInputBytes = 1048576;
constexpr char kVersion[] = "0.25.0";

// Returned when not even the error text can be allocated; vellum_free_buffer
// recognises it and leaves it alone.
constexpr char kOutOfMemoryText[] =
    "internal parser defect (this is a parser bug, not invalid SQL): out of memory";

void setError(ParseResult& result, std::string_view prefix, std::string_view message) {
  result.status = 1;
  result.data = nullptr;
  result.data_len = 0;
  std::size_t length = prefix.size() + message.size();
  if (length > 2147483647u - 1) length = 2147483647u - 1;
  char* text = static_cast<char*>(std::malloc(length + 1));
  if (text == nullptr) {
    result.error = const_cast<char*>(kOutOfMemoryText);
    result.error_len = static_cast<std::int32_t>(sizeof(kOutOfMemoryText) - 1);
    return;
  }
  std::size_t head = prefix.size() < length ? prefix.size() : length;
  // memcpy must not see the null data() of an empty view, even for 0 bytes.
  if (head != 0) std::memcpy(text, prefix.data(), head);
  if (length != head) std::memcpy(text + head, message.data(), length - head);
  text[length] = '\0';
  noteErrorHandedOver(text);
  result.error = text;
  result.error_len = static_cast<std::int32_t>(length);
}

// Runs one parse call and turns its outcome into the result record.
template <class Body>
ParseResult runParseCall(Body&& body) noexcept {
  // Numbers are read and written the same whatever environment the host
  // keeps (see float_environment.h).
  const DefaultFloatEnvironment floatEnvironment;
  ParseResult result;
  std::memset(&result, 0, sizeof result);
  try {
    DocumentBytes document = body();
    if (!document.failure.empty()) {
      setError(result, {}, document.failure);
      return result;
    }
    if (document.size > 2147483647u) throw ValueError("document exceeds 2147483647-byte limit");
    result.data_len = static_cast<std::int32_t>(document.size);
    result.data = document.size == 0 ? nullptr : document.data.release();
    noteDocumentHandedOver(result.data, document.size);
  } catch (const RecoverableError& e) {
    setError(result, {}, e.message());
  } catch (const InternalDefect& e) {
    setError(result, kDefectPrefix, e.message());
  } catch (const std::bad_alloc&) {
    setError(result, kDefectPrefix, "out of memory");
  } catch (const std::exception& e) {
    setError(result, kDefectPrefix, e.what());
  } catch (...) {
    setError(result, kDefectPrefix, "unknown exception");
  }
  return result;
}

// The call's own copy of an input text: short texts stay inside the object
// (on the caller's stack), longer ones go to the heap. kInputPadding zero
// bytes follow the copy, which the SQL scanner may read.
constexpr std::int32_t kInputPadding = 16;

// The texts that the call's own buffer holds.
constexpr std::size_t kShortInput = 1024;

// Copies `size` bytes from `src` to `dst` and tells whether one of them is
// a NUL byte. A short text takes one pass of sixteen-byte loads, the last
// (partial) sixteen overlapping the ones before; a longer one memcpy and
// memchr, which are faster there.
bool copyFindingNul(char* dst, const char* src, std::size_t size) {
#if defined(__SSE2__)
  if (size >= 16 && size <= kShortInput) {
    const __m128i zero = _mm_setzero_si128();
    __m128i nuls = zero;
    std::size_t i = 0;
    for (; size - i > 16; i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), bytes);
      nuls = _mm_or_si128(nuls, _mm_cmpeq_epi8(bytes, zero));
    }
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + size - 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + size - 16), last);
    nuls = _mm_or_si128(nuls, _mm_cmpeq_epi8(last, zero));
    return _mm_movemask_epi8(nuls) != 0;
  }
#endif
  if (size != 0) std::memcpy(dst, src, size);
  return size != 0 && std::memchr(dst, '\0', size) != nullptr;
}

class InputCopy {
 public:
  InputCopy(const char* src, std::size_t size) {
    char* bytes = place(size);
    if (size != 0) std::memcpy(bytes, src, size);
    finish(bytes, size);
  }
  // The same, raising ValueError when one of the bytes is NUL.
  struct RejectNul {};
  InputCopy(const char* src, std::size_t size, RejectNul) {
    char* bytes = place(size);
    if (copyFindingNul(bytes, src, size)) throw ValueError("SQL input contains an interior NUL byte");
    finish(bytes, size);
  }
  InputCopy(const InputCopy&) = delete;
  InputCopy& operator=(const InputCopy&) = delete;

  std::string_view text() const { return text_; }

 private:
  // Where the copy of `size` bytes goes.
  char* place(std::size_t size) {
    if (size <= kShortInput) return inline_;
    heap_.reset(static_cast<char*>(std::malloc(size + kInputPadding)));
    if (heap_ == nullptr) throw std::bad_alloc();
    return heap_.get();
  }
  void finish(char* bytes, std::size_t size) {
    std::memset(bytes + size, 0, kInputPadding);
    text_ = std::string_view(bytes, size);
  }

  char inline_[kShortInput + kInputPadding];
  std::unique_ptr<char, FreeDeleter> heap_;
  std::string_view text_;
};

// Checks the SQL input and copies it.
class SqlInput : public InputCopy {
 public:
  SqlInput(const char* src, std::int32_t len) : InputCopy(checked(src, len), static_cast<std::size_t>(len), RejectNul{}) {}

 private:
  static const char* checked(const char* src, std::int32_t len) {
    if (len < 0) throw ValueError("SQL input length must not be negative");
    if (len > kMaxSqlInputBytes) throw ValueError("SQL input exceeds 1048576-byte limit");
    if (src == nullptr) throw ValueError("SQL input pointer must not be null");
    return src;
  }
};

// Reads the PromQL input: the whole NUL-terminated string, or its first
// `len` bytes. Never reads past the terminating NUL, nor past `len` bytes. A
// null pointer is the empty string, so a positive `len` with it is too long.
class PromQlInput : public InputCopy {
 public:
  PromQlInput(const char* src, std::int32_t len) : InputCopy(nonNull(src), measured(nonNull(src), len)) {}

 private:
  static const char* nonNull(const char* src) { return src == nullptr ? "" : src; }
  static std::size_t measured(const char* src, std::int32_t len) {
    if (len <= 0) return std::strlen(src);
    std::size_t available = strnlen(src, static_cast<std::size_t>(len));
    if (available < static_cast<std::size_t>(len)) {
      raiseDefect("index " + std::to_string(available) + " out of range for PromQL input of " +
                  std::to_string(available) + " bytes (len " + std::to_string(len) + ")");
    }
    return available;
  }
};

// ---------------------------------------------------------------------------
// Fatal-signal reports.

const char* signalLine(int sig) {
  switch (sig) {
    case SIGINT: return "SIGINT: Interrupted by Ctrl-C.\n";
    case SIGSEGV: return "SIGSEGV: Illegal storage access. (Attempt to read from nil?)\n";
    case SIGABRT: return "SIGABRT: Abnormal termination.\n";
    case SIGFPE: return "SIGFPE: Arithmetic error.\n";
    case SIGILL: return "SIGILL: Illegal operation.\n";
    default: return "unknown signal\n";
  }
}

extern "C" void reportFatalSignal(int sig) {
  // Only async-signal-safe calls: write(2) is unbuffered, so the line is out
  // before the default action runs.
  const char* line = signalLine(sig);
  ssize_t ignored = write(STDERR_FILENO, line, std::strlen(line));
  (void)ignored;
  signal(sig, SIG_DFL);
  raise(sig);
}

// Installs `handler` for `sig` only when the signal still has its default
// disposition, so a host's own handling (a JVM's, the Go runtime's, an
// interpreter's Ctrl-C) is never replaced.
void installIfDefault(int sig, void (*handler)(int)) {
  struct sigaction current;
  if (sigaction(sig, nullptr, &current) != 0) return;
  if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) return;
  struct sigaction wanted;
  std::memset(&wanted, 0, sizeof wanted);
  wanted.sa_handler = handler;
  sigemptyset(&wanted.sa_mask);
  sigaction(sig, &wanted, nullptr);
}

void initialiseLibrary() {
  for (int sig : {SIGINT, SIGSEGV, SIGABRT, SIGFPE, SIGILL}) installIfDefault(sig, reportFatalSignal);
  installIfDefault(SIGPIPE, SIG_IGN);
}

__attribute__((constructor)) void initialiseOnLoad() { initialiseLibrary(); }

}  // namespace
}  // namespace vellum

extern "C" {

VELLUM_API ParseResult vellum_parse_sql(const char* src, int32_t len) {
  return vellum::runParseCall([&] {
    vellum::SqlInput input(src, len);
    return vellum::readSqlDocument(input.text(), vellum::kInputPadding);
  });
}

VELLUM_API ParseResult vellum_parse_promql(const char* src, int32_t len) {
  return vellum::runParseCall([&] {
    vellum::PromQlInput input(src, len);
    return vellum::readPromQlDocument(input.text());
  });
}

VELLUM_API void vellum_free_buffer(void* p) {
  if (p == vellum::kOutOfMemoryText) return;
  vellum::keepOrFree(p);
}

VELLUM_API const char* vellum_parser_version(void) { return vellum::kVersion; }

VELLUM_API void vellum_parser_init(void) { vellum::initialiseLibrary(); }

}  // extern "C"
