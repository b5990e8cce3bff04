// The converter's output natively: strict UTF-8.

#include "../utf.hpp"
#include "output_decoder.hpp"

namespace tolvane::platform {

namespace {
class Utf8Decoder final : public OutputDecoder {
 public:
  bool feed(std::string_view bytes, std::string& out) override {
    return validator_.feed(bytes, out);
  }
  bool finish() override { return validator_.finish(); }
  std::string name() const override { return "UTF-8"; }

 private:
  utf::Utf8Validator validator_;
};
}  // namespace

std::unique_ptr<OutputDecoder> make_output_decoder() { return std::make_unique<Utf8Decoder>(); }

}  // namespace tolvane::platform
