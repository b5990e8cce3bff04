/* An editor module that loads a library of its own at run time, by its
 * name alone, as a component may load one that sits beside it. It makes
 * no editor: its entry fails either way, and the message says whether
 * the library was found. */
#include <windows.h>
#include <stddef.h>

#include <tolvane/component.h>

TOLVANE_EXPORT tolvane_editor* EDITOR(const char* inp_path, const char* setting,
                                      tolvane_error* error) {
  (void)inp_path;
  (void)setting;
  if (LoadLibraryW(L"dependency.dll") != NULL)
    tolvane_fail(error, "Found", "dependency.dll beside the module");
  else
    tolvane_fail(error, "NotFound", "dependency.dll not found");
  return NULL;
}
TOLVANE_DECLARE_EDITOR;
