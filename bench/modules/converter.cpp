// Converter of the unattended bench: makes the model directory, which the
// launcher makes current for the monitor, and reports a fixed heading.

#include <filesystem>
#include <string>

#include "tolvane/component.hpp"

namespace {

class Converter final : public tolvane::component::Converter {
 public:
  Converter(std::string inp_path, const std::string&) : inp_path_(std::move(inp_path)) {}

  void main() override {
    std::filesystem::create_directories(inp_path_.substr(0, inp_path_.size() - 4));
    heading = "bench";
  }

 private:
  std::string inp_path_;
};

}  // namespace

TOLVANE_EXPORT_CONVERTER(Converter);
