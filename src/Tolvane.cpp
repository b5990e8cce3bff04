#include "Tolvane.hpp"

#include "cli.hpp"
#include "failure.hpp"
#include "main.hpp"
#include "platform/platform.hpp"
#include "process_info.hpp"

namespace tolvane {

namespace {

constexpr const char* solver_directory = "FrontISTR-DEV250506";
constexpr std::string_view deck_suffix = ".inp";

int text_width() {
  return cli::output_width(platform::environment("COLUMNS"), platform::console_width());
}

cli::Args parse_command_line(const std::vector<std::string>& argv) {
  const std::vector<std::string> words(argv.begin() + 1, argv.end());
  const cli::Outcome outcome = cli::parse(words);
  const std::string prog = program_name();
  switch (outcome.kind) {
    case cli::Outcome::Kind::help:
      platform::write_text(platform::Stream::out, cli::help_text(prog, text_width()));
      throw ExitRequest{0};
    case cli::Outcome::Kind::error:
      platform::write_text(platform::Stream::err,
                           cli::error_text(prog, outcome.message, text_width()));
      throw ExitRequest{2};
    case cli::Outcome::Kind::run:
      break;
  }
  return outcome.args;
}

void run(const std::vector<std::string>& argv) {
  const cli::Args args = parse_command_line(argv);
  std::string inp_path = abspath(args.input);
  const std::string dir_path = dirname(inp_path);
  const std::string exepath =
      join(realpath(dirname(platform::executable_path())), solver_directory);
  if (!inp_path.ends_with(deck_suffix)) inp_path += deck_suffix;
  Tolvane tolvane(inp_path, dir_path, exepath);
  tolvane.main();
}

}  // namespace

int entry(const std::function<std::vector<std::string>()>& start_up) {
  set_invocation_path("Tolvane");
  try {
    std::vector<std::string> argv = start_up();
    if (argv.empty()) argv.push_back(platform::executable_path());
    set_invocation_path(argv[0]);
    run(argv);
    return 0;
  } catch (const ExitRequest& request) {
    return request.status;
  } catch (const Failure& failure) {
    report_failure_on_stderr(failure);
    return 1;
  }
}

}  // namespace tolvane
