// Process entry for Windows: wide arguments exactly as the runtime split
// them, with no wildcard expansion; element 0 becomes the running
// executable's full path.

#include <string>
#include <vector>

#include "../Tolvane.hpp"
#include "../utf.hpp"
#include "process.hpp"

// The runtime must not expand "*.inp" into file names.
extern "C" {
int _dowildcard = 0;
}

int wmain(int argc, wchar_t** argv) {
  const int status = tolvane::entry([&] {
    tolvane::platform::prepare_process();
    std::vector<std::string> words;
    for (int i = 0; i < argc; ++i) {
      const std::wstring_view w(argv[i]);
      words.push_back(tolvane::utf::from_utf16(
          std::u16string_view(reinterpret_cast<const char16_t*>(w.data()), w.size())));
    }
    if (words.empty()) words.emplace_back();
    words[0] = tolvane::platform::executable_path();
    return words;
  });
  tolvane::platform::end_process(status);
}
