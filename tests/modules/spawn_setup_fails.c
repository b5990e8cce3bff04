/* Preloaded into the native launcher (LD_PRELOAD): setting up where a
 * child's output goes fails, as it does when memory runs out. Without that
 * step a converter would write into the launcher's own output. With
 * SPAWN_SETUP_INTERRUPTED set, Ctrl-C arrives just then, as if it were
 * why the start failed. */
#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>

int posix_spawn_file_actions_adddup2(posix_spawn_file_actions_t* actions, int fd, int new_fd) {
  (void)actions;
  (void)fd;
  (void)new_fd;
  if (getenv("SPAWN_SETUP_INTERRUPTED") != NULL) raise(SIGINT);
  return ENOMEM;
}
