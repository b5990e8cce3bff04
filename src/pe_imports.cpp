#include "pe_imports.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace tolvane {

namespace {

// Little-endian fields at an offset, or nothing past the end.
class Bytes {
 public:
  explicit Bytes(std::string_view image) : image_(image) {}
  std::optional<std::uint32_t> at(std::size_t offset, std::size_t size) const {
    if (offset > image_.size() || size > image_.size() - offset) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;)
      value = value << 8 | static_cast<unsigned char>(image_[offset + i]);
    return value;
  }
  std::optional<std::string> text(std::size_t offset) const {
    if (offset >= image_.size()) return std::nullopt;
    const auto end = image_.find('\0', offset);
    if (end == std::string_view::npos || end - offset > 260) return std::nullopt;
    return std::string(image_.substr(offset, end - offset));
  }

 private:
  std::string_view image_;
};

struct Section {
  std::uint32_t address, size, file_offset;
};

}  // namespace

std::vector<std::string> imported_libraries(std::string_view image) {
  const Bytes bytes(image);
  if (image.substr(0, 2) != "MZ") return {};
  const auto pe = bytes.at(0x3C, 4);
  if (!pe || bytes.at(*pe, 4) != 0x00004550) return {};  // "PE\0\0"
  const std::size_t coff = *pe + 4, optional_header = coff + 20;
  const auto section_count = bytes.at(coff + 2, 2);
  const auto optional_size = bytes.at(coff + 16, 2);
  const auto magic = bytes.at(optional_header, 2);
  if (!section_count || !optional_size || !magic) return {};
  // PE32+ (0x20B) has wider fields before the data directories.
  const std::size_t directories = optional_header + (*magic == 0x20B ? 112 : 96);
  const auto directory_count = bytes.at(directories - 4, 4);
  const auto imports = bytes.at(directories + 8, 4);  // the second directory
  if (!directory_count || *directory_count < 2 || !imports || *imports == 0) return {};

  std::vector<Section> sections;
  for (std::size_t i = 0; i < *section_count; ++i) {
    const std::size_t header = optional_header + *optional_size + i * 40;
    const auto virtual_size = bytes.at(header + 8, 4), address = bytes.at(header + 12, 4),
               raw_size = bytes.at(header + 16, 4), raw = bytes.at(header + 20, 4);
    if (!virtual_size || !address || !raw_size || !raw) return {};
    sections.push_back({*address, std::max(*virtual_size, *raw_size), *raw});
  }
  const auto offset_of = [&](std::uint32_t rva) -> std::optional<std::size_t> {
    for (const Section& section : sections)
      if (rva >= section.address && rva - section.address < section.size)
        return std::size_t{section.file_offset} + (rva - section.address);
    return std::nullopt;
  };

  std::vector<std::string> names;
  const auto table = offset_of(*imports);
  if (!table) return {};
  // 20 bytes a library, up to one that is all zeros.
  for (std::size_t entry = *table;; entry += 20) {
    const auto name_rva = bytes.at(entry + 12, 4), thunks = bytes.at(entry + 16, 4);
    if (!name_rva || !thunks) return {};
    if (*name_rva == 0 && *thunks == 0) break;
    const auto at = offset_of(*name_rva);
    const auto name = at ? bytes.text(*at) : std::nullopt;
    if (!name) return {};
    names.push_back(*name);
    if (names.size() > 1024) return {};
  }
  return names;
}

}  // namespace tolvane
