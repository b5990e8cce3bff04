#include "code_pages.hpp"

#include <cstdint>

namespace tolvane::code_pages {

namespace {

// Bytes 0x80-0xBF and 0xC0-0xFF, one bit each: set where the published
// mapping table of the code page has no character. Code page 1256 defines
// every byte.
struct UndefinedBytes {
  unsigned code_page;
  std::uint64_t from_80;
  std::uint64_t from_c0;
};
constexpr UndefinedBytes undefined_bytes[] = {
    {874, 0x00000000FF01FFDEull,
     0xF000000078000000ull},  // 81 82 83 84 86 87 88 89 8A 8B 8C 8D 8E 8F 90 98 99 9A 9B 9C 9D 9E
                              // 9F DB DC DD DE FC FD FE FF
    {1250, 0x000000000101010Aull, 0x0000000000000000ull},  // 81 83 88 90 98
    {1251, 0x0000000001000000ull, 0x0000000000000000ull},  // 98
    {1252, 0x000000002001A002ull, 0x0000000000000000ull},  // 81 8D 8F 90 9D
    {1253, 0x00000400F501F502ull,
     0x8000000000040000ull},  // 81 88 8A 8C 8D 8E 8F 90 98 9A 9C 9D 9E 9F AA D2 FF
    {1254, 0x000000006001E002ull, 0x0000000000000000ull},  // 81 8D 8E 8F 90 9D 9E
    {1255, 0x00000000F401F402ull, 0x98000000FE000400ull},  // 81 8A 8C 8D 8E 8F 90 9A 9C 9D 9E 9F CA
                                                           // D9 DA DB DC DD DE DF FB FC FF
    {1257, 0x000000229501150Aull, 0x0000000000000000ull},  // 81 83 88 8A 8C 90 98 9A 9C 9F A1 A5
    {1258, 0x000000006401E402ull, 0x0000000000000000ull},  // 81 8A 8D 8E 8F 90 9A 9D 9E
};

}  // namespace

bool undefined_byte(unsigned code_page, unsigned char byte) {
  if (byte < 0x80) return false;
  for (const UndefinedBytes& page : undefined_bytes) {
    if (page.code_page != code_page) continue;
    const std::uint64_t bits = byte < 0xC0 ? page.from_80 : page.from_c0;
    return ((bits >> ((byte - 0x80u) % 64u)) & 1u) != 0;
  }
  return false;
}

}  // namespace tolvane::code_pages
