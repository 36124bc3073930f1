// The floating-point environment the library computes in: rounding to
// nearest, every exception masked, subnormals kept. A host may keep another
// one for its own arithmetic (a rounding mode, traps on overflow,
// flush-to-zero); in it the numbers of a document would change, or a long
// literal would stop the process.
#pragma once

#if defined(__x86_64__) && defined(__SSE2__)
#include <xmmintrin.h>
#else
#include <cfenv>
#endif

namespace vellum {

#if defined(__x86_64__) && defined(__SSE2__)
// The library's arithmetic is SSE, whose modes one register (MXCSR) holds:
// the sticky exception flags in bits 0 to 5, denormals-are-zero in bit 6,
// the exception masks in bits 7 to 12, the rounding mode in bits 13 and 14
// and flush-to-zero in bit 15.
namespace float_detail {
inline constexpr unsigned kFlags = 0x3f;
inline constexpr unsigned kDefault = 0x1f80;
inline constexpr unsigned kRounding = 0x6000;
}  // namespace float_detail

inline bool roundsToNearest() { return (_mm_getcsr() & float_detail::kRounding) == 0; }

// Puts the default environment in place for its lifetime and gives the
// host's back, its flags as they were, when it ends. Nearly every host has
// the default already: then it costs one register read.
class DefaultFloatEnvironment {
 public:
  DefaultFloatEnvironment() noexcept : host_(_mm_getcsr()) {
    if (changed()) _mm_setcsr(float_detail::kDefault);
  }
  ~DefaultFloatEnvironment() {
    if (changed()) _mm_setcsr(host_);
  }
  DefaultFloatEnvironment(const DefaultFloatEnvironment&) = delete;
  DefaultFloatEnvironment& operator=(const DefaultFloatEnvironment&) = delete;

 private:
  bool changed() const { return (host_ & ~float_detail::kFlags) != float_detail::kDefault; }
  unsigned host_;
};
#else
inline bool roundsToNearest() { return std::fegetround() == FE_TONEAREST; }

class DefaultFloatEnvironment {
 public:
  DefaultFloatEnvironment() noexcept : saved_(std::fegetenv(&host_) == 0) {
    if (saved_) std::fesetenv(FE_DFL_ENV);
  }
  ~DefaultFloatEnvironment() {
    if (saved_) std::fesetenv(&host_);
  }
  DefaultFloatEnvironment(const DefaultFloatEnvironment&) = delete;
  DefaultFloatEnvironment& operator=(const DefaultFloatEnvironment&) = delete;

 private:
  std::fenv_t host_;
  bool saved_;
};
#endif

}  // namespace vellum
