/* The converter in C: its heading is a constant and the deck's first line,
 * read through tolvane_fopen when it is created; it fails when asked to. */
#include <tolvane/component.h>

#include "common.h"

#define CONSUMER_HEADING "Beam from C: "

struct converter {
  tolvane_converter base;
  char heading[128];
};

static tolvane_status convert(tolvane_converter* self, tolvane_error* error) {
  say("CONVERTER.main", NULL, NULL);
  if (asked_to_fail("CONVERTER.main")) return tolvane_fail(error, "ConsumerError", "no deck today");
  self->dflag = 0;
  self->heading = ((struct converter*)self)->heading;
  return TOLVANE_OK;
}

static void release(tolvane_converter* self) { free(self); }

static const tolvane_converter_ops ops = {convert, release};

TOLVANE_EXPORT tolvane_converter* CONVERTER(const char* inp_path, const char* dir_path,
                                            tolvane_error* error) {
  struct converter* self = calloc(1, sizeof *self);
  char* line;
  FILE* deck;
  if (self == NULL) {
    tolvane_fail(error, "MemoryError", "out of memory");
    return NULL;
  }
  say("CONVERTER", inp_path, dir_path);
  self->base.ops = &ops;
  deck = tolvane_fopen(inp_path, "r");
  if (deck == NULL) {
    free(self);
    tolvane_fail(error, "FileNotFoundError", "cannot open the deck");
    return NULL;
  }
  strcpy(self->heading, CONSUMER_HEADING);
  line = self->heading + strlen(CONSUMER_HEADING);
  if (fgets(line, (int)(sizeof self->heading - strlen(CONSUMER_HEADING)), deck) != NULL)
    line[strcspn(line, "\r\n")] = '\0';
  fclose(deck);
  return &self->base;
}
TOLVANE_DECLARE_CONVERTER;
