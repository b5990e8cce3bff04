// Process entry for Windows: wide arguments exactly as the runtime split
// them, with no wildcard expansion, converted to UTF-8 losslessly.

#include <string>
#include <utility>
#include <vector>

#include "../utf.hpp"
#include "entry.hpp"
#include "process.hpp"

// The runtime must not expand "*.inp" into file names.
extern "C" {
int _dowildcard = 0;
}

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> words;
  for (int i = 0; i < argc; ++i) {
    const std::wstring_view w(argv[i]);
    words.push_back(tolvane::utf::from_utf16(
        std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size())));
  }
  tolvane::platform::end_process(tolvane::entry(std::move(words)));
}
