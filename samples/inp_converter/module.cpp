#include <filesystem>
#include <system_error>

#include "console.hpp"
#include "deck.hpp"
#include "tolvane/component.hpp"

namespace {

class Converter final : public tolvane::component::Converter {
 public:
  Converter(std::string inp_path, std::string dir_path)
      : inp_path_(std::move(inp_path)), dir_path_(std::move(dir_path)) {}

  // Works in the deck's folder and stays there, as the real one does.
  void main() override {
    using samples::Stream;
    std::error_code error;
    std::filesystem::current_path(tolvane::component::fs_path(dir_path_), error);
    if (error) {
      samples::print_line(Stream::err,
                          "inp_converter: cannot enter " + dir_path_ + ": " + error.message());
      dflag = true;
      return;
    }
    heading = samples::convert_deck(inp_path_, samples::Encoding::utf8);
    dflag = !heading;
  }

 private:
  std::string inp_path_;
  std::string dir_path_;
};

}  // namespace

TOLVANE_EXPORT_CONVERTER(Converter);
