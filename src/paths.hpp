// Path operations on text. Two flavours: Windows ("\" and "/" both
// separate, drives, UNC roots, drive-relative paths) and POSIX ("/" only).
// Both are pure and testable on every host; each build uses its own
// platform's flavour (platform::path_flavour). Text is UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace tolvane::paths {

enum class Flavour { windows, posix };

// a and b with one separator between them; none is added when a already
// ends in a separator or is a bare drive such as "C:" (Windows); an
// absolute b replaces a (Windows: a b with its own drive replaces a; a
// rooted b without drive keeps a's drive).
std::string join(Flavour f, std::string_view a, std::string_view b);

// Everything before the last separator, trailing separators removed except
// where the result is a root; empty when p has no separator. A root keeps
// its separator ("C:\x" -> "C:\", "\\srv\share\x" -> "\\srv\share\"); a
// drive counts as a root of its own ("C:x" -> "C:").
std::string dirname(Flavour f, std::string_view p);

// The last component ("" when p ends in a separator).
std::string basename(Flavour f, std::string_view p);

// {root, ext}: ext is the last component's text from its last dot onward,
// dot included; empty when that component has no dot or only leading dots.
std::pair<std::string, std::string> splitext(Flavour f, std::string_view p);

// The text normalisation behind abspath: separators unified (to "\" on
// Windows), runs collapsed (the two leading separators of a UNC path
// kept), "." dropped, ".." removing the component before it, trailing
// separators dropped. The empty text gives ".". At a root ".." is dropped;
// a relative path keeps its leading "..". A Windows drive, UNC root or
// "\\?\" / "\\.\" prefixed device stays one piece (separators unified),
// so its "?" or "." is not a component. A relative Windows path whose
// first component looks like a drive keeps a leading ".\" ("a\..\C:\x"
// gives ".\C:\x"), so it never becomes absolute. POSIX keeps exactly two
// leading slashes; three or more become one.
std::string normalize(Flavour f, std::string_view p);

// Windows: a drive with a separator ("C:\"), or two leading separators
// (UNC, device paths). "\x" and "C:x" still depend on the current drive
// or on that drive's current folder, so they are not absolute.
bool is_absolute(Flavour f, std::string_view p);

// POSIX abspath: normalize, then anchor a relative path at cwd (an
// absolute, normalised folder).
std::string absolute_posix(std::string_view p, std::string_view cwd);

// "\\?\C:\x" -> "C:\x", "\\?\UNC\server\share\x" -> "\\server\share\x";
// anything else unchanged.
std::string strip_extended_prefix(std::string_view p);

}  // namespace tolvane::paths
