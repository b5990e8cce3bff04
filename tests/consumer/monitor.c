/* The monitor in C: unattended when CONSUMER_NOGUI is set; its worker
 * works for CONSUMER_WORK_MS (default 200) and then sets done, unless an
 * interrupt sets it first. */
#include <tolvane/component.h>

#include "common.h"

static tolvane_status nogui_mode(tolvane_monitor* self, tolvane_error* error) {
  (void)error;
  say("MONITOR.nogui_mode", self->res2frd_path, NULL);
  return TOLVANE_OK;
}

static tolvane_status run_process(tolvane_monitor* self, tolvane_error* error) {
  const char* work = getenv("CONSUMER_WORK_MS");
  long left = work ? atol(work) : 200;
  (void)error;
  say("MONITOR.run_process", NULL, NULL);
  for (; left > 0 && !tolvane_flag_load(&self->done); left -= 50) consumer_sleep_ms(50);
  tolvane_flag_store(&self->done, 1);
  return TOLVANE_OK;
}

static tolvane_status signal_handler(tolvane_monitor* self, int32_t signum, tolvane_error* error) {
  char number[16];
  (void)error;
  snprintf(number, sizeof number, "%d", (int)signum);
  say("MONITOR.signal_handler", number, NULL);
  tolvane_flag_store(&self->done, 1);
  return TOLVANE_OK;
}

static tolvane_status monitor_main(tolvane_monitor* self, tolvane_error* error) {
  say("MONITOR.monitor_main", self->res2frd_path, NULL);
  if (asked_to_fail("MONITOR.monitor_main"))
    return tolvane_fail(error, "ConsumerError", "the user went home");
  return TOLVANE_OK;
}

static void release(tolvane_monitor* self) { free(self); }

static const tolvane_monitor_ops ops = {nogui_mode, run_process, signal_handler, monitor_main,
                                        release};

TOLVANE_EXPORT tolvane_monitor* MONITOR(const char* model_path, const char* setting,
                                        const void* parent, tolvane_error* error) {
  tolvane_monitor* self = malloc(sizeof *self);
  if (self == NULL) {
    tolvane_fail(error, "MemoryError", "out of memory");
    return NULL;
  }
  say("MONITOR", model_path, parent ? "parent" : setting);
  self->ops = &ops;
  self->res2frd_path = NULL;
  self->nogui = getenv("CONSUMER_NOGUI") != NULL;
  self->done = 0;
  return self;
}
TOLVANE_DECLARE_MONITOR;
