// With SAMPLE_EDITOR_CANCEL set (to anything), the user cancels: editor()
// fails, and the launcher ends the run with status 1 and a diagnostic.
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "console.hpp"
#include "tolvane/component.hpp"

namespace {

using samples::print_line;
using samples::Stream;

class Window final : public tolvane::component::Window {
 public:
  void destroy() override { print_line(Stream::out, "editor: window closed"); }
};

class Editor final : public tolvane::component::Editor {
 public:
  Editor(std::string inp_path, std::string setting)
      : inp_path_(std::move(inp_path)), setting_(std::move(setting)) {
    root = std::make_unique<Window>();
  }

  void editor(const std::optional<std::string>& header, const std::string& exepath) override {
    print_line(Stream::out, "editor: deck " + inp_path_);
    print_line(Stream::out, "editor: solver " + exepath);
    print_line(Stream::out, "editor: setting " + setting_);
    print_line(Stream::out, "editor: header " + header.value_or("(none)"));
    if (std::getenv("SAMPLE_EDITOR_CANCEL") != nullptr)
      throw std::runtime_error("cancelled by the user");
  }

 private:
  std::string inp_path_;
  std::string setting_;
};

}  // namespace

TOLVANE_EXPORT_EDITOR(Editor);
