/* What the consumer components share: one line of output per call, and
 * CONSUMER_FAIL naming the call that is to fail. */
#ifndef CONSUMER_COMMON_H
#define CONSUMER_COMMON_H

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#define consumer_sleep_ms(ms) Sleep(ms)
#else
#include <time.h>
static inline void consumer_sleep_ms(long ms) {
  struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&t, NULL);
}
#endif

static inline void say(const char* what, const char* a, const char* b) {
  printf("%s|%s|%s\n", what, a ? a : "(null)", b ? b : "(null)");
  fflush(stdout);
}

static inline int asked_to_fail(const char* call) {
  const char* fail = getenv("CONSUMER_FAIL");
  return fail != NULL && strcmp(fail, call) == 0;
}

#endif
