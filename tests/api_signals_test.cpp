// Signal dispositions: the library reports fatal signals only where the host
// left the default in place, and never replaces a host's own handling.
// Every case runs in a forked child, so this process keeps its own setup.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "vellum_sql_parser.h"

namespace {

struct ChildResult {
  int status = 0;
  std::string stderrText;
};

// Runs `body` in a child whose standard error is captured; the child exits
// with the body's return value unless a signal ends it first.
ChildResult runInChild(const std::function<int()>& body) {
  int pipeFds[2];
  EXPECT_EQ(pipe(pipeFds), 0);
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    close(pipeFds[0]);
    dup2(pipeFds[1], STDERR_FILENO);
    close(pipeFds[1]);
    prctl(PR_SET_DUMPABLE, 0);  // no core files from the signals raised here
    _exit(body());
  }
  close(pipeFds[1]);
  ChildResult result;
  char buffer[512];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) result.stderrText.append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  EXPECT_EQ(waitpid(pid, &result.status, 0), pid);
  return result;
}

void setDisposition(int sig, void (*handler)(int)) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, nullptr);
}

struct sigaction currentDisposition(int sig) {
  struct sigaction action;
  sigaction(sig, nullptr, &action);
  return action;
}

extern "C" void hostHandler(int) {}
extern "C" void hostInfoHandler(int, siginfo_t*, void*) {}

const struct {
  int sig;
  const char* line;
} kReports[] = {
    {SIGINT, "SIGINT: Interrupted by Ctrl-C.\n"},
    {SIGSEGV, "SIGSEGV: Illegal storage access. (Attempt to read from nil?)\n"},
    {SIGABRT, "SIGABRT: Abnormal termination.\n"},
    {SIGFPE, "SIGFPE: Arithmetic error.\n"},
    {SIGILL, "SIGILL: Illegal operation.\n"},
};

TEST(ApiSignalsTest, ReportsAndReraisesUnderTheDefaultDisposition) {
  for (const auto& report : kReports) {
    SCOPED_TRACE(report.line);
    ChildResult child = runInChild([&] {
      setDisposition(report.sig, SIG_DFL);
      vellum_parser_init();
      raise(report.sig);
      return 0;  // not reached: the signal's default action ends the child
    });
    ASSERT_TRUE(WIFSIGNALED(child.status)) << "child exited normally, status " << child.status;
    EXPECT_EQ(WTERMSIG(child.status), report.sig);
    EXPECT_EQ(child.stderrText, report.line);
  }
}

TEST(ApiSignalsTest, RealSegmentationFaultIsReportedAndEndsTheProcess) {
  ChildResult child = runInChild([] {
    setDisposition(SIGSEGV, SIG_DFL);
    vellum_parser_init();
    // A load from an inaccessible page: a genuine fault, not a raised signal.
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    volatile const char* p = static_cast<volatile const char*>(page);
    return static_cast<int>(*p);
  });
  ASSERT_TRUE(WIFSIGNALED(child.status)) << "child exited normally, status " << child.status;
  EXPECT_EQ(WTERMSIG(child.status), SIGSEGV);
  EXPECT_EQ(child.stderrText, "SIGSEGV: Illegal storage access. (Attempt to read from nil?)\n");
}

TEST(ApiSignalsTest, InitInstallsHandlersWhereDefault) {
  ChildResult child = runInChild([] {
    int failures = 0;
    for (const auto& report : kReports) {
      setDisposition(report.sig, SIG_DFL);
      vellum_parser_init();
      struct sigaction now = currentDisposition(report.sig);
      if (now.sa_handler == SIG_DFL || now.sa_handler == SIG_IGN) ++failures;
    }
    return failures;
  });
  ASSERT_TRUE(WIFEXITED(child.status));
  EXPECT_EQ(WEXITSTATUS(child.status), 0);
}

TEST(ApiSignalsTest, HostHandlersStayInPlace) {
  ChildResult child = runInChild([] {
    int failures = 0;
    for (const auto& report : kReports) {
      setDisposition(report.sig, hostHandler);
      vellum_parser_init();
      if (currentDisposition(report.sig).sa_handler != hostHandler) ++failures;

      // A three-argument handler, as runtimes install for SIGSEGV.
      struct sigaction info;
      std::memset(&info, 0, sizeof info);
      info.sa_sigaction = hostInfoHandler;
      info.sa_flags = SA_SIGINFO | SA_ONSTACK;
      sigemptyset(&info.sa_mask);
      sigaction(report.sig, &info, nullptr);
      vellum_parser_init();
      struct sigaction now = currentDisposition(report.sig);
      if ((now.sa_flags & SA_SIGINFO) == 0 || now.sa_sigaction != hostInfoHandler) ++failures;

      // Ignored on purpose (as under nohup): stays ignored.
      setDisposition(report.sig, SIG_IGN);
      vellum_parser_init();
      if (currentDisposition(report.sig).sa_handler != SIG_IGN) ++failures;
    }
    return failures;
  });
  ASSERT_TRUE(WIFEXITED(child.status));
  EXPECT_EQ(WEXITSTATUS(child.status), 0);
}

TEST(ApiSignalsTest, HostHandlerRunsInsteadOfTheReport) {
  ChildResult child = runInChild([] {
    setDisposition(SIGINT, [](int) {
      const char line[] = "host handler\n";
      ssize_t ignored = write(STDERR_FILENO, line, sizeof line - 1);
      (void)ignored;
    });
    vellum_parser_init();
    raise(SIGINT);
    return 7;
  });
  ASSERT_TRUE(WIFEXITED(child.status));
  EXPECT_EQ(WEXITSTATUS(child.status), 7);
  EXPECT_EQ(child.stderrText, "host handler\n");
}

TEST(ApiSignalsTest, SigpipeIgnoredOnlyWhereDefault) {
  ChildResult defaulted = runInChild([] {
    setDisposition(SIGPIPE, SIG_DFL);
    vellum_parser_init();
    return currentDisposition(SIGPIPE).sa_handler == SIG_IGN ? 0 : 1;
  });
  ASSERT_TRUE(WIFEXITED(defaulted.status));
  EXPECT_EQ(WEXITSTATUS(defaulted.status), 0);

  ChildResult handled = runInChild([] {
    setDisposition(SIGPIPE, hostHandler);
    vellum_parser_init();
    return currentDisposition(SIGPIPE).sa_handler == hostHandler ? 0 : 1;
  });
  ASSERT_TRUE(WIFEXITED(handled.status));
  EXPECT_EQ(WEXITSTATUS(handled.status), 0);

  // With SIGPIPE ignored, writing to a closed pipe is an error, not death.
  ChildResult writer = runInChild([] {
    setDisposition(SIGPIPE, SIG_DFL);
    vellum_parser_init();
    int fds[2];
    if (pipe(fds) != 0) return 2;
    close(fds[0]);
    return write(fds[1], "x", 1) == -1 && errno == EPIPE ? 0 : 1;
  });
  ASSERT_TRUE(WIFEXITED(writer.status)) << "ended by signal " << WTERMSIG(writer.status);
  EXPECT_EQ(WEXITSTATUS(writer.status), 0);
}

}  // namespace
