// Error types raised inside the library. Every one of them unwinds to the
// exported function that started the call, which turns it into result text.
// Syntax errors of the parsers run by the exports take a cheaper way: their
// text comes back with the (empty) document instead (DocumentBytes::failure).
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace vellum {

class VellumError : public std::exception {
 public:
  explicit VellumError(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }

 private:
  std::string message_;
};

// Errors caused by the input (or by a limit the input hits). Their message
// becomes the result text unchanged.
class RecoverableError : public VellumError {
  using VellumError::VellumError;
};

class ParseError : public RecoverableError {
  using RecoverableError::RecoverableError;
};
class PromQlParseError : public RecoverableError {
  using RecoverableError::RecoverableError;
};
class ValueError : public RecoverableError {
  using RecoverableError::RecoverableError;
};
class IOError : public RecoverableError {
  using RecoverableError::RecoverableError;
};
class KeyError : public RecoverableError {
  using RecoverableError::RecoverableError;
};

// A broken invariant of the library itself. Reported with the defect prefix.
class InternalDefect : public VellumError {
  using VellumError::VellumError;
};

// The 64-byte prefix put in front of every defect message.
inline constexpr char kDefectPrefix[] =
    "internal parser defect (this is a parser bug, not invalid SQL): ";
static_assert(sizeof(kDefectPrefix) - 1 == 64);

[[noreturn]] void raiseDefect(const std::string& message);
// The same for a constant message: the caller's frame builds no string, so
// a check costs its callers no clean-up code.
[[noreturn]] void raiseDefect(const char* message);

// Checks an internal invariant; a failure is a defect, never undefined behaviour.
inline void check(bool condition, const char* what) {
  if (!condition) raiseDefect(what);
}

}  // namespace vellum
