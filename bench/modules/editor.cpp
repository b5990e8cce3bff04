// Editor of the unattended bench: returns at once.

#include <memory>
#include <optional>
#include <string>

#include "tolvane/component.hpp"

namespace {

class Window final : public tolvane::component::Window {
 public:
  void destroy() override {}
};

class Editor final : public tolvane::component::Editor {
 public:
  Editor(const std::string&, const std::string&) { root = std::make_unique<Window>(); }
  void editor(const std::optional<std::string>&, const std::string&) override {}
};

}  // namespace

TOLVANE_EXPORT_EDITOR(Editor);
