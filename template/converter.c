/* SPDX-License-Identifier: MIT */
/* The converter, as an in-process module in C (inp_converter/main.dll, or
 * main.so natively). The launcher calls CONVERTER with the deck's path and
 * folder, then main on the same thread, then release.
 *
 * This one reads the deck through tolvane_fopen, so that any file name
 * opens, takes its heading (the line after "!HEADER" or "*HEADING"), and
 * creates the model folder, the deck's path less ".inp", where the solver
 * and the monitor work: the launcher creates no folder, and the run fails
 * before the monitor if none is there. Put the real conversion in main. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tolvane/component.h>

#if defined(_WIN32)
#include <direct.h> /* _wmkdir */
#else
#include <sys/stat.h> /* mkdir */
#endif

struct converter {
  tolvane_converter base; /* first, so that the launcher's pointer is ours */
  char* deck;             /* the launcher's text is ours only during a call */
  char heading[256];      /* must stay valid until release */
};

/* The line without its line end. */
static void chop(char* line) {
  size_t n = strlen(line);
  while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = '\0';
}

static int is_section(const char* line, const char* keyword) {
  size_t i = 0;
  for (; keyword[i] != '\0'; ++i) {
    char c = line[i];
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    if (c != keyword[i]) return 0;
  }
  return line[i] == '\0' || line[i] == ',' || line[i] == ' ' || line[i] == '\r' || line[i] == '\n';
}

/* Copies text into the heading, cut at a character boundary if too long. */
static void set_heading(struct converter* self, const char* text) {
  size_t n = strlen(text);
  if (n >= sizeof self->heading) {
    n = sizeof self->heading - 1;
    while (n > 0 && ((unsigned char)text[n] & 0xC0) == 0x80) --n; /* UTF-8 continuation */
  }
  memcpy(self->heading, text, n);
  self->heading[n] = '\0';
  self->base.heading = self->heading;
}

/* 0, or the errno value of the failure. An existing folder will do. */
static int make_folder(const char* utf8_path) {
  int failure = 0;
#if defined(_WIN32)
  const size_t size = strlen(utf8_path);
  wchar_t* wide = malloc((size + 1) * sizeof *wide);
  if (wide == NULL) return ENOMEM;
  tolvane_utf16_from_utf8(utf8_path, size, wide);
  if (_wmkdir(wide) != 0 && errno != EEXIST) failure = errno;
  free(wide);
#else
  if (mkdir(utf8_path, 0777) != 0 && errno != EEXIST) failure = errno;
#endif
  return failure;
}

static tolvane_status convert(tolvane_converter* base, tolvane_error* error) {
  struct converter* self = (struct converter*)base;
  const size_t size = strlen(self->deck);
  char line[4096], message[512];
  int after_section = 0, failed;
  long lines = 0;
  FILE* deck = tolvane_fopen(self->deck, "rb");
  if (deck == NULL) {
    snprintf(message, sizeof message, "cannot open the deck: %s", strerror(errno));
    return tolvane_fail(error, "FileNotFoundError", message);
  }
  set_heading(self, "");
  while (fgets(line, sizeof line, deck) != NULL) {
    ++lines;
    if (after_section && line[0] != '\r' && line[0] != '\n') {
      chop(line);
      set_heading(self, line);
      after_section = 0;
    }
    if (is_section(line, "!HEADER") || is_section(line, "*HEADING")) after_section = 1;
  }
  fclose(deck);
  if (lines == 0) {
    /* A conversion that fails: the launcher ends the run with status 1 and
     * says nothing itself, so the converter says why. */
    fprintf(stderr, "converter: the deck is empty\n");
    fflush(stderr);
    self->base.dflag = 1;
    return TOLVANE_OK;
  }
  if (size < 4 || strcmp(self->deck + size - 4, ".inp") != 0)
    return tolvane_fail(error, "ValueError", "the deck's name does not end in .inp");
  self->deck[size - 4] = '\0'; /* now the model folder */
  failed = make_folder(self->deck);
  self->deck[size - 4] = '.';
  if (failed != 0) {
    snprintf(message, sizeof message, "cannot create the model folder: %s", strerror(failed));
    return tolvane_fail(error, "OSError", message);
  }
  printf("converter: %ld lines read\n", lines);
  fflush(stdout); /* the launcher ends the process without flushing it */
  return TOLVANE_OK;
}

static void release(tolvane_converter* base) {
  struct converter* self = (struct converter*)base;
  free(self->deck);
  free(self);
}

static const tolvane_converter_ops ops = {convert, release};

TOLVANE_EXPORT tolvane_converter* CONVERTER(const char* inp_path, const char* dir_path,
                                            tolvane_error* error) {
  struct converter* self = calloc(1, sizeof *self);
  (void)dir_path; /* the deck's folder, should the conversion need it */
  if (self != NULL) self->deck = malloc(strlen(inp_path) + 1);
  if (self == NULL || self->deck == NULL) {
    free(self);
    tolvane_fail(error, "MemoryError", "out of memory");
    return NULL;
  }
  strcpy(self->deck, inp_path);
  self->base.ops = &ops;
  return &self->base;
}
TOLVANE_DECLARE_CONVERTER;
