// Every test runs in a process prepared as the launcher's start-up prepares
// its own: standard streams bound, interrupts recorded.
#include <gtest/gtest.h>

#include "platform/interrupts.hpp"
#include "platform/modules.hpp"
#include "platform/process.hpp"

namespace {

class PreparedProcess : public ::testing::Environment {
 public:
  void SetUp() override {
    tolvane::platform::restrict_library_search();
    tolvane::platform::prepare_process();
    ASSERT_FALSE(tolvane::platform::start_recording_interrupts().has_value());
  }
};

[[maybe_unused]] const auto* const prepared =
    ::testing::AddGlobalTestEnvironment(new PreparedProcess);

}  // namespace
