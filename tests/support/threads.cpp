#include "support/threads.h"

#include <pthread.h>

#include <gtest/gtest.h>

namespace vellum_test {
namespace {

void* trampoline(void* arg) {
  (*static_cast<const std::function<void()>*>(arg))();
  return nullptr;
}

}  // namespace

void runOnThreadWithStack(std::size_t stackBytes, const std::function<void()>& body) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stackBytes);
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, trampoline, const_cast<std::function<void()>*>(&body));
  pthread_attr_destroy(&attr);
  ASSERT_EQ(rc, 0) << "pthread_create failed";
  pthread_join(thread, nullptr);
}

}  // namespace vellum_test
