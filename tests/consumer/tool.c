/* One tool executable for each role (CONSUMER_ROLE_*): it says how it was
 * called, and the converter writes its header line. */
#include "common.h"

int main(int argc, char** argv) {
  char count[16];
  snprintf(count, sizeof count, "%d", argc);
#if defined(CONSUMER_ROLE_CONVERTER)
  printf("converting %s\nheader:Beam from a C tool\n", argc > 1 ? argv[1] : "");
  return 0;
#elif defined(CONSUMER_ROLE_EDITOR)
  say("tool editor", count, argc > 6 ? argv[6] : NULL);
  return 0;
#else
  say("tool monitor", count, argc > 1 ? argv[1] : NULL);
  return 0;
#endif
}
