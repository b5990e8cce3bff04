// The components a layout does not hold, played by the validator itself,
// so that every run goes through the whole chain as the launcher would
// with the author's components beside well-behaved others: in-process as
// modules linked into the validator, as tools by the validator's own
// executable, started with stand_in_variable set.
#pragma once

#include <string>
#include <vector>

#include "../binding.hpp"
#include "../chain_observer.hpp"
#include "check.hpp"

namespace tolvane::check {

// The layout's modules where it has them, the stand-ins' elsewhere.
class LayoutModules final : public SymbolSource {
 public:
  // folder: the layout as it is, links resolved; nogui: what the stand-in
  // monitor chooses; watch sees each module's loading as a call of its
  // import ("import EDITOR from editor.gui"), as it runs the module's
  // initialisers.
  LayoutModules(const std::string& folder, const RunSetting& setting, bool nogui,
                ChainObserver* watch);
  std::string module_name(const ComponentKind& kind) const override;
  void* symbol(const ComponentKind& kind, const char* name) override;

 private:
  ModuleFolder layout_;
  const RunSetting& setting_;
  ChainObserver* watch_;
  bool loaded_[component_kinds.size()] = {};
};

// Whether the stand-in editor (of either form) found no model folder and
// made it: the author's converter left it to an editor.
bool stand_in_made_model_folder();

// Names the role of a stand-in tool ("editor") in its environment.
inline constexpr const char* stand_in_variable = "TOLVANE_CHECK_STAND_IN";

// A stand-in tool's whole run, on its argument words; its exit status.
int run_stand_in_tool(const std::string& role, const std::vector<std::string>& words);

}  // namespace tolvane::check
