// The converter in C++: its heading is a constant and the deck's first
// line, read through fs_path; it throws when asked to fail, which the layer
// reports as the exception's type and message.
#include <fstream>
#include <stdexcept>
#include <string>

#include <tolvane/component.hpp>

#include "common.h"

class Converter final : public tolvane::component::Converter {
 public:
  Converter(const std::string& inp_path, const std::string& dir_path) : deck_(inp_path) {
    say("CONVERTER", inp_path.c_str(), dir_path.c_str());
  }
  void main() override {
    say("CONVERTER.main", nullptr, nullptr);
    if (asked_to_fail("CONVERTER.main")) throw std::runtime_error("no deck today");
    std::ifstream deck(tolvane::component::fs_path(deck_));
    if (!deck) throw std::runtime_error("cannot open the deck");
    std::string line;
    std::getline(deck, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    heading = "Beam from C++: " + line;
  }

 private:
  std::string deck_;
};
TOLVANE_EXPORT_CONVERTER(Converter);
