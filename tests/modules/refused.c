/* Editor modules that the launcher must refuse before it creates any
 * component object; one of these is defined when it is built:
 *   REFUSED_WRONG_MAJOR  declared for major version 2
 *   REFUSED_UNDECLARED   EDITOR without its declaration
 *   REFUSED_DATA_ENTRY   EDITOR is data; its declaration names a function
 *   REFUSED_WRONG_KIND   EDITOR declared as a monitor entry
 *   REFUSED_NEWER_MINOR  declared for a newer minor version than the
 *                        launcher's, whose promises it may count on
 * The declarations are written out by hand, as no module built with
 * component.h's macros could get them wrong. */
#include <stddef.h>

#include <tolvane/component.h>

static tolvane_editor* make_editor(const char* inp_path, const char* setting,
                                   tolvane_error* error) {
  (void)inp_path;
  (void)setting;
  tolvane_fail(error, "RuntimeError", "a refused module was called");
  return NULL;
}

#if defined(REFUSED_DATA_ENTRY)
TOLVANE_EXPORT const int EDITOR = 42;
#else
TOLVANE_EXPORT tolvane_editor* EDITOR(const char* inp_path, const char* setting,
                                      tolvane_error* error) {
  return make_editor(inp_path, setting, error);
}
#endif

#if defined(REFUSED_WRONG_MAJOR)
TOLVANE_EXPORT const tolvane_declaration tolvane_declaration_EDITOR = {
    TOLVANE_DECLARATION_MAGIC, 2, 0, TOLVANE_ENTRY_EDITOR, 0, (tolvane_function)EDITOR};
#elif defined(REFUSED_DATA_ENTRY)
TOLVANE_EXPORT const tolvane_declaration tolvane_declaration_EDITOR = {
    TOLVANE_DECLARATION_MAGIC,
    TOLVANE_INTERFACE_MAJOR,
    TOLVANE_INTERFACE_MINOR,
    TOLVANE_ENTRY_EDITOR,
    0,
    (tolvane_function)make_editor};
#elif defined(REFUSED_NEWER_MINOR)
TOLVANE_EXPORT const tolvane_declaration tolvane_declaration_EDITOR = {TOLVANE_DECLARATION_MAGIC,
                                                                       TOLVANE_INTERFACE_MAJOR,
                                                                       TOLVANE_INTERFACE_MINOR + 1,
                                                                       TOLVANE_ENTRY_EDITOR,
                                                                       0,
                                                                       (tolvane_function)EDITOR};
#elif defined(REFUSED_WRONG_KIND)
TOLVANE_EXPORT const tolvane_declaration tolvane_declaration_EDITOR = {TOLVANE_DECLARATION_MAGIC,
                                                                       TOLVANE_INTERFACE_MAJOR,
                                                                       TOLVANE_INTERFACE_MINOR,
                                                                       TOLVANE_ENTRY_MONITOR,
                                                                       0,
                                                                       (tolvane_function)EDITOR};
#endif
