// Shared by the fuzz targets: how a finding is reported.
#pragma once

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vellum_fuzz {

// The library reports fatal signals itself when they are still at their
// default disposition, which it finds them at when it is loaded, before
// libFuzzer has installed its handlers; libFuzzer then leaves them alone and
// a finding would end the process without its input being saved. Giving the
// signals back their default lets libFuzzer take them.
inline void restoreDefaultSignals() {
  for (int signal : {SIGABRT, SIGSEGV, SIGILL, SIGFPE, SIGINT}) std::signal(signal, SIG_DFL);
}

[[noreturn]] inline void fail(const char* target, const std::string& what, const char* errorText = nullptr) {
  std::fprintf(stderr, "%s: %s\n", target, what.c_str());
  if (errorText != nullptr) std::fprintf(stderr, "error text: %s\n", errorText);
  std::abort();
}

}  // namespace vellum_fuzz

// Called by libFuzzer before it installs its signal handlers.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vellum_fuzz::restoreDefaultSignals();
  return 0;
}
