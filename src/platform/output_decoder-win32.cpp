// The converter's output on Windows: strict decoding in the active ANSI
// code page.

#include <windows.h>

#include "../code_pages.hpp"
#include "../utf.hpp"
#include "output_decoder.hpp"

namespace tolvane::platform {

namespace {

// Strict decoding in the active ANSI code page. A lead byte that a read
// splits from its trail byte is carried to the next read; lead bytes are
// found by a forward scan from a character boundary.
class AnsiDecoder final : public OutputDecoder {
 public:
  AnsiDecoder() : code_page_(GetACP()) {
    CPINFOEXW info{};
    if (GetCPInfoExW(code_page_, 0, &info)) max_char_size_ = info.MaxCharSize;
  }

  bool feed(std::string_view bytes, std::string& out) override {
    if (failed_) return false;
    if (code_page_ == CP_UTF8) return (failed_ = !utf8_.feed(bytes, out)) == false;
    if (!carry_.empty() && !bytes.empty()) {
      carry_ += bytes[0];
      bytes.remove_prefix(1);
      if (!convert(carry_, out)) return false;
      carry_.clear();
    }
    std::size_t complete = bytes.size();
    if (max_char_size_ == 2)
      complete = utf::complete_dbcs_prefix(
          bytes, [&](unsigned char b) { return IsDBCSLeadByteEx(code_page_, b) != 0; });
    if (!convert(bytes.substr(0, complete), out)) return false;
    carry_.assign(bytes.substr(complete));
    return true;
  }

  bool finish() override {
    return !failed_ && carry_.empty() && (code_page_ != CP_UTF8 || utf8_.finish());
  }

  std::string name() const override { return "cp" + std::to_string(code_page_); }

 private:
  bool convert(std::string_view bytes, std::string& out) {
    // Every ANSI code page maps the ASCII bytes to themselves, and most
    // output is ASCII: pass that through unconverted.
    const std::size_t ascii = utf::ascii_prefix(bytes);
    out.append(bytes.substr(0, ascii));
    bytes.remove_prefix(ascii);
    if (bytes.empty()) return true;
    // MB_ERR_INVALID_CHARS does not refuse what a single-byte table leaves
    // undefined.
    if (max_char_size_ == 1)
      for (const char byte : bytes)
        if (code_pages::undefined_byte(code_page_, static_cast<unsigned char>(byte))) {
          failed_ = true;
          return false;
        }
    const int n = static_cast<int>(bytes.size());
    wide_.resize(bytes.size());
    const int got = MultiByteToWideChar(code_page_, MB_ERR_INVALID_CHARS, bytes.data(), n,
                                        wide_.data(), static_cast<int>(wide_.size()));
    if (got <= 0) {
      failed_ = true;
      return false;
    }
    out += utf::from_utf16(std::u16string_view(reinterpret_cast<const char16_t*>(wide_.data()),
                                               static_cast<std::size_t>(got)));
    return true;
  }

  UINT code_page_;
  UINT max_char_size_ = 1;
  bool failed_ = false;
  std::string carry_;
  std::wstring wide_;
  utf::Utf8Validator utf8_;
};

}  // namespace

std::unique_ptr<OutputDecoder> make_output_decoder() { return std::make_unique<AnsiDecoder>(); }

}  // namespace tolvane::platform
