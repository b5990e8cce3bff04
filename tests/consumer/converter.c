/* The converter in C: its heading is a constant; it fails when asked to. */
#include <tolvane/component.h>

#include "common.h"

static tolvane_status convert(tolvane_converter* self, tolvane_error* error) {
  say("CONVERTER.main", NULL, NULL);
  if (asked_to_fail("CONVERTER.main")) return tolvane_fail(error, "ConsumerError", "no deck today");
  self->dflag = 0;
  self->heading = "Beam from C";
  return TOLVANE_OK;
}

static void release(tolvane_converter* self) { free(self); }

static const tolvane_converter_ops ops = {convert, release};

TOLVANE_EXPORT tolvane_converter* CONVERTER(const char* inp_path, const char* dir_path,
                                            tolvane_error* error) {
  tolvane_converter* self = malloc(sizeof *self);
  if (self == NULL) {
    tolvane_fail(error, "MemoryError", "out of memory");
    return NULL;
  }
  say("CONVERTER", inp_path, dir_path);
  self->ops = &ops;
  self->dflag = 0;
  self->heading = NULL;
  return self;
}
TOLVANE_DECLARE_CONVERTER;
