// tolvane-check's entry. The same executable is also each run's child
// process (run_variable in its environment) and the stand-in for a tool
// that the layout lacks (stand_in_variable).

#include <string>
#include <vector>

#include "../diagnostics.hpp"
#include "../failure.hpp"
#include "../platform/console.hpp"
#include "../platform/entry.hpp"
#include "../process_info.hpp"
#include "options.hpp"
#include "runner.hpp"
#include "stand_ins.hpp"

namespace tolvane {

int entry(std::vector<std::string> words) {
  return exit_status_of([&] {
    start_up(words);
    if (const auto role = platform::environment(check::stand_in_variable))
      throw ExitRequest{check::run_stand_in_tool(*role, words)};
    if (const auto spec = platform::environment(check::run_variable))
      throw ExitRequest{check::run_child(*spec, words)};
    throw ExitRequest{check::check_layout(check::parse_options(words))};
  });
}

}  // namespace tolvane
