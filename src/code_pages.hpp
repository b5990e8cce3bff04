// The bytes that the single-byte ANSI code pages of Windows (874 and 1250
// to 1258) leave undefined in their published mapping tables. The system's
// own conversion turns them into C1 controls or private-use characters
// without a word; strict decoding must refuse them. Pure, so every host
// tests it.
#pragma once

namespace tolvane::code_pages {

// true when byte has no character in code_page; false for every other code
// page, whose conversion is strict already.
bool undefined_byte(unsigned code_page, unsigned char byte);

}  // namespace tolvane::code_pages
