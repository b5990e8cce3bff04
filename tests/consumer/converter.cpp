// The converter in C++: its heading is a constant; it throws when asked to
// fail, which the layer reports as the exception's type and message.
#include <stdexcept>
#include <string>

#include <tolvane/component.hpp>

#include "common.h"

class Converter final : public tolvane::component::Converter {
 public:
  Converter(const std::string& inp_path, const std::string& dir_path) {
    say("CONVERTER", inp_path.c_str(), dir_path.c_str());
  }
  void main() override {
    say("CONVERTER.main", nullptr, nullptr);
    if (asked_to_fail("CONVERTER.main")) throw std::runtime_error("no deck today");
    heading = "Beam from C++";
  }
};
TOLVANE_EXPORT_CONVERTER(Converter);
