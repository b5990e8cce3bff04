/* The editor in C, with its window inside its own struct. */
#include <tolvane/component.h>

#include "common.h"

struct editor {
  tolvane_editor base; /* first, so that the launcher's pointer is ours */
  tolvane_window window;
};

static tolvane_status destroy(tolvane_window* window, tolvane_error* error) {
  (void)error;
  (void)window;
  say("EDITOR.root.destroy", NULL, NULL);
  return TOLVANE_OK;
}

static tolvane_status edit(tolvane_editor* self, const char* header, const char* exepath,
                           tolvane_error* error) {
  (void)self;
  say("EDITOR.editor", header, exepath);
  if (asked_to_fail("EDITOR.editor")) return tolvane_fail(error, "ConsumerError", "no edits");
  return TOLVANE_OK;
}

static void release(tolvane_editor* self) { free(self); }

static const tolvane_window_ops window_ops = {destroy};
static const tolvane_editor_ops ops = {edit, release};

TOLVANE_EXPORT tolvane_editor* EDITOR(const char* inp_path, const char* setting,
                                      tolvane_error* error) {
  struct editor* self = malloc(sizeof *self);
  if (self == NULL) {
    tolvane_fail(error, "MemoryError", "out of memory");
    return NULL;
  }
  say("EDITOR", inp_path, setting);
  self->base.ops = &ops;
  self->window.ops = &window_ops;
  self->base.root = &self->window;
  return &self->base;
}
TOLVANE_DECLARE_EDITOR;
