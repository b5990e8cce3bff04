// Every test runs in a process prepared as the launcher's is: interrupts
// recorded, standard streams bound.
#include <gtest/gtest.h>

#include "platform/process.hpp"

namespace {

class PreparedProcess : public ::testing::Environment {
 public:
  void SetUp() override { tolvane::platform::prepare_process(); }
};

[[maybe_unused]] const auto* const prepared =
    ::testing::AddGlobalTestEnvironment(new PreparedProcess);

}  // namespace
