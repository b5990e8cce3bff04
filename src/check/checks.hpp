// The checks: every rule a run watches for, in the order the chain meets
// them, with the component each concerns; and the runs that meet them.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "check.hpp"

namespace tolvane::check {

struct Check {
  const char* name;
  const char* description;
  Form form;
  // The components whose rule it is: the check is made when the layout
  // holds one of them, in its form. (Bits of 1 << Role.)
  unsigned roles;
};

constexpr unsigned role_bit(Role role) { return 1u << static_cast<unsigned>(role); }

std::span<const Check> all_checks();
// The check of that name, or null.
const Check* find_check(std::string_view name);
// The check whose rule a failure that arose at where broke (a diagnostic's
// WHERE: "CONVERTER.main", "import EDITOR from editor.gui", "monitor.exe"),
// or null.
const Check* check_of_call(Form form, std::string_view where);

// Whether the layout holds a component of the check's.
bool concerns_layout(const Check& check, const RunSetting& setting);

std::span<const Run> all_runs();
// Whether the run meets the check at all.
bool meets(const Run& run, const Check& check);

// Where docs/components.md says more: appended to a fix.
std::string see(const char* section);

}  // namespace tolvane::check
