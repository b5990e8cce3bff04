// What a broken rule of an in-process component reads as, and what fixes
// it: the verdict of the failure a run's chain ended with, and of what a
// run saw between its steps.
#pragma once

#include <optional>
#include <string>

#include "../component_calls.hpp"
#include "../failure.hpp"
#include "check.hpp"

namespace tolvane::check {

// The verdict of the failure that the in-process chain ended with, and
// what its call (if it was one) came to.
Verdict verdict_of_module_failure(const Failure& failure, const CallOutcome& outcome);

// The verdict of a call that failed, by what it came to; entry: a call of
// CONVERTER, EDITOR or MONITOR, which makes an object.
Verdict verdict_of_call(const Failure& failure, const CallOutcome& outcome, bool entry);

// The converter's heading as the editor is to get it.
Verdict heading_verdict(const std::optional<std::string>& heading);

// What a failure says, as its diagnostic would after WHERE: "KIND: MESSAGE".
std::string said(const Failure& failure);

// What fixes a call that does not return, one that ends the process, and a
// converter that leaves the model folder to a stand-in editor.
std::string hung_fix();
std::string ended_process_fix();
std::string paired_editor_fix();

// How done is to be set.
std::string done_fix();

// What follows each fix about the deck that every run uses.
std::string deck_path_fix(Form form);

}  // namespace tolvane::check
