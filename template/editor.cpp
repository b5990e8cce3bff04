// SPDX-License-Identifier: MIT
// The editor, as an in-process module in C++ (editor/gui.dll, or gui.so
// natively). The launcher constructs it with the deck's path and the
// settings file, calls editor() with the converter's heading and the
// solver folder, then root->destroy(), all on its main thread.
//
// A real editor shows its settings window in editor() and returns when the
// user closes it; an exception that leaves editor() is the run's failure.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <tolvane/component.hpp>

namespace {

using tolvane::component::fs_path;

class SettingsWindow final : public tolvane::component::Window {
 public:
  // The launcher tears the window down once editor() has returned.
  void destroy() override { std::printf("editor: settings window closed\n"); }
};

class Editor final : public tolvane::component::Editor {
 public:
  Editor(const std::string& inp_path, const std::string& setting)
      // The deck always ends in ".inp"; the model folder is the rest.
      : model_(fs_path(inp_path.substr(0, inp_path.size() - 4))), setting_(fs_path(setting)) {
    root = std::make_unique<SettingsWindow>();
  }

  void editor(const std::optional<std::string>& header, const std::string& exepath) override {
    std::printf("editor: editing \"%s\" for the solver in %s\n",
                header ? header->c_str() : "(no heading)", exepath.c_str());
    // The monitor starts in the model folder. The converter made it; an
    // editor that writes the solver's input there makes sure it exists.
    std::filesystem::create_directories(model_);
  }

 private:
  std::filesystem::path model_;
  std::filesystem::path setting_;  // the settings file the user edits
};

}  // namespace

TOLVANE_EXPORT_EDITOR(Editor);
