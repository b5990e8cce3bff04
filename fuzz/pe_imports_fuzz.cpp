// The import table of a Windows module, read from bytes that anyone may
// have put in a component's folder: imported_libraries must never read
// past them, and must read back what a well-formed image names.
//
// Input: byte 0 chooses. Odd: the rest is an image as it is, which must
// not be misread (ASan stops a read out of bounds), and whose names are
// each non-empty text without NUL. Even: the rest, split at NUL bytes,
// gives the names of a PE32+ image built here (byte 0's next bit: one
// section or two, the table in the second), which must read back exactly,
// whatever is appended after it, and not at all when cut short inside its
// table.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.hpp"
#include "pe_imports.hpp"

namespace {

void put(std::string& image, std::size_t at, std::uint32_t value, std::size_t size) {
  if (image.size() < at + size) image.resize(at + size, '\0');
  for (std::size_t i = 0; i < size; ++i) image[at + i] = static_cast<char>(value >> (8 * i) & 255);
}

// A PE32+ image whose import table names names; where the table ends.
std::string image_naming(const std::vector<std::string>& names, bool two_sections,
                         std::size_t& table_end) {
  std::string image;
  constexpr std::size_t pe = 0x40, coff = pe + 4, optional = coff + 20, optional_size = 240;
  image = "MZ";
  put(image, 0x3C, pe, 4);
  put(image, pe, 0x00004550, 4);  // "PE\0\0"
  const std::uint32_t sections = two_sections ? 2 : 1;
  put(image, coff + 2, sections, 2);
  put(image, coff + 16, optional_size, 2);
  put(image, optional, 0x20B, 2);
  put(image, optional + 108, 16, 4);  // data directories
  constexpr std::uint32_t file_offset = 0x400, address = 0x2000;
  // The table first, then the names, all in the last section.
  const std::size_t table_size = 20 * (names.size() + 1);
  std::size_t text = table_size;
  std::vector<std::uint32_t> name_at;
  for (const std::string& name : names) {
    name_at.push_back(static_cast<std::uint32_t>(text));
    text += name.size() + 1;
  }
  for (std::uint32_t i = 0; i < sections; ++i) {
    const std::size_t header = optional + optional_size + 40 * i;
    const bool last = i + 1 == sections;
    const std::uint32_t size = last ? static_cast<std::uint32_t>(text) : 0x100;
    put(image, header + 8, size, 4);
    put(image, header + 12, last ? address : 0x1000, 4);
    put(image, header + 16, size, 4);
    put(image, header + 20, last ? file_offset : 0x300, 4);
  }
  put(image, optional + 112 + 8, address, 4);
  put(image, optional + 112 + 12, static_cast<std::uint32_t>(table_size), 4);
  image.resize(file_offset + text, '\0');
  for (std::size_t i = 0; i < names.size(); ++i) {
    put(image, file_offset + 20 * i + 12, address + name_at[i], 4);
    put(image, file_offset + 20 * i + 16, 0x1000, 4);
    image.replace(file_offset + name_at[i], names[i].size(), names[i]);
  }
  table_end = file_offset + table_size;
  return image;
}

[[noreturn]] void breach(const char* what) {
  std::fprintf(stderr, "pe_imports_fuzz: invariant broken: %s\n", what);
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if ((data[0] & 1) != 0) {
    for (const std::string& name : tolvane::imported_libraries(rest))
      if (name.empty() || name.find('\0') != std::string::npos) breach("a name that is no text");
    return 0;
  }
  std::vector<std::string> names;
  for (std::string& piece : tolvane::fuzz::split_at_nul(rest))
    if (!piece.empty() && piece.size() <= 260 && names.size() < 64) names.push_back(piece);
  std::size_t table_end = 0;
  std::string image = image_naming(names, (data[0] & 2) != 0, table_end);
  if (tolvane::imported_libraries(image) != names) breach("the names do not read back");
  if (!tolvane::imported_libraries(image.substr(0, table_end - 1)).empty())
    breach("a cut table read as one");
  image.append(rest);
  if (tolvane::imported_libraries(image) != names) breach("what follows the image changed it");
  return 0;
}
