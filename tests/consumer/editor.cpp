// The editor in C++.
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <tolvane/component.hpp>

#include "common.h"

class Window final : public tolvane::component::Window {
 public:
  void destroy() override { say("EDITOR.root.destroy", nullptr, nullptr); }
};

class Editor final : public tolvane::component::Editor {
 public:
  Editor(const std::string& inp_path, const std::string& setting) {
    say("EDITOR", inp_path.c_str(), setting.c_str());
    root = std::make_unique<Window>();
  }
  void editor(const std::optional<std::string>& header, const std::string& exepath) override {
    say("EDITOR.editor", header ? header->c_str() : nullptr, exepath.c_str());
    if (asked_to_fail("EDITOR.editor")) throw std::logic_error("no edits");
  }
};
TOLVANE_EXPORT_EDITOR(Editor);
