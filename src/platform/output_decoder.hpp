// Decoding the converter's output in the encoding it is written in.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tolvane::platform {

// Strict streaming decoder for a child's output: the active ANSI code page
// on Windows, UTF-8 natively. A character split across two reads is carried
// over to the next one.
class OutputDecoder {
 public:
  virtual ~OutputDecoder() = default;
  // Appends the complete characters of bytes to out as UTF-8. false at the
  // first byte sequence that the encoding does not define; the decoder is
  // then spent.
  virtual bool feed(std::string_view bytes, std::string& out) = 0;
  // false when the output ended inside a character.
  virtual bool finish() = 0;
  // Describes the encoding for messages, e.g. "cp932".
  virtual std::string name() const = 0;
};

std::unique_ptr<OutputDecoder> make_output_decoder();

}  // namespace tolvane::platform
