#include "failure.hpp"

#include <utility>

namespace tolvane {

Failure::Failure(std::string where, std::string kind, std::string message)
    : where_(std::move(where)), kind_(std::move(kind)), message_(std::move(message)) {}

Failure system_failure(std::string where, const std::string& api, unsigned long code,
                       const std::string& system_text) {
  std::string text = system_text;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                           text.back() == '.'))
    text.pop_back();
  return Failure(std::move(where), kind::system,
                 api + " failed: " + text + " (error " + std::to_string(code) + ")");
}

std::string diagnostic(const std::string& program, const Failure& failure) {
  return program + ": " + failure.where() + ": " + failure.kind() + ": " + failure.message() + "\n";
}

}  // namespace tolvane
