#include <new>

#include "cli.hpp"
#include "diagnostics.hpp"
#include "failure.hpp"
#include "main.hpp"
#include "platform/console.hpp"
#include "platform/entry.hpp"
#include "platform/process.hpp"
#include "process_info.hpp"

namespace tolvane {

namespace {

int text_width() {
  return cli::output_width(platform::environment("COLUMNS"), platform::console_width());
}

cli::Args parse_command_line(const std::vector<std::string>& argv) {
  const std::vector<std::string> words(argv.begin() + 1, argv.end());
  const cli::Outcome outcome = cli::parse(words);
  const std::string& prog = program_name();
  switch (outcome.action) {
    case cli::Outcome::Action::help:
      write_or_fail(platform::Stream::out, cli::help_text(prog, text_width()));
      throw ExitRequest{0};
    case cli::Outcome::Action::error:
      // The status says it even where standard error cannot.
      platform::write_text_if_possible(platform::Stream::err,
                                       cli::error_text(prog, outcome.message, text_width()));
      throw ExitRequest{2};
    case cli::Outcome::Action::run: break;
  }
  return outcome.args;
}

void run(const std::vector<std::string>& argv) {
  const cli::Args args = parse_command_line(argv);
  std::string inp_path = os::path::abspath(args.input);
  const std::string dir_path = os::path::dirname(inp_path);
  const std::string exepath = os::path::join(program_folder(), solver_folder);
  if (!inp_path.ends_with(deck_suffix)) inp_path += deck_suffix;
  Tolvane tolvane(inp_path, dir_path, exepath);
  tolvane.main();
}

}  // namespace

int entry(std::vector<std::string> words) {
  return exit_status_of([&] {
    start_up(words);
    run(words);
  });
}

}  // namespace tolvane
