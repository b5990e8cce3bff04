// Path operations of both flavours: normalisation, dirname and basename,
// splitext, join, the deck's ".inp" suffix, POSIX abspath and the
// extended-length prefix.
//
// Input: byte 0 chooses how the rest becomes text: raw bytes, or one path
// token per byte (separators, dots, drives, "UNC", "?", letters, a few
// non-ASCII characters), which reaches the interesting shapes sooner.
// A NUL byte (raw) or token 0 separates the path from a second text, used
// as the other side of a join and to build a working directory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "paths.hpp"

namespace {

namespace paths = tolvane::paths;
using paths::Flavour;

const char* name_of(Flavour f) { return f == Flavour::windows ? "windows" : "posix"; }

[[noreturn]] void breach(Flavour f, const char* what, std::string_view p,
                         std::string_view got = {}) {
  std::fprintf(stderr, "paths_fuzz (%s): invariant broken: %s\n  input: [%.*s]\n", name_of(f), what,
               int(p.size()), p.data());
  if (!got.empty()) std::fprintf(stderr, "  got:   [%.*s]\n", int(got.size()), got.data());
  __builtin_trap();
}

void check(bool ok, Flavour f, const char* what, std::string_view p, std::string_view got = {}) {
  if (!ok) breach(f, what, p, got);
}

bool is_sep(Flavour f, char c) { return c == '/' || (f == Flavour::windows && c == '\\'); }

bool has_sep(Flavour f, std::string_view s) {
  for (char c : s)
    if (is_sep(f, c)) return true;
  return false;
}

bool letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "X:" at the front: a drive on Windows.
bool drive_letter_prefix(std::string_view s) {
  return s.size() >= 2 && letter(s[0]) && s[1] == ':';
}

std::vector<std::string_view> split_at(std::string_view s, char sep) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = s.find(sep, start);
    out.push_back(
        s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return out;
    start = end + 1;
  }
}

// The components after the root hold no empty piece and no "."; ".." only
// in a leading run, and never after a root.
void check_components(Flavour f, std::string_view p, std::string_view rest, bool rooted) {
  if (rest.empty()) return;
  bool leading = true;
  for (std::string_view c : split_at(rest, f == Flavour::windows ? '\\' : '/')) {
    check(!c.empty(), f,
          "normalize leaves no empty component (runs collapsed, no trailing separator)", p, rest);
    check(c != ".", f, "normalize drops \".\"", p, rest);
    if (c == "..") {
      check(!rooted, f, "normalize drops \"..\" at a root", p, rest);
      check(leading, f, "normalize keeps \"..\" only in a leading run", p, rest);
    } else {
      leading = false;
    }
  }
}

// The shape of a normalised path, by the header's rules.
void check_normal_form(Flavour f, std::string_view p, const std::string& n) {
  check(!n.empty(), f, "normalize never gives the empty text", p, n);
  if (n == ".") return;
  if (f == Flavour::posix) {
    std::size_t slashes = 0;
    while (slashes < n.size() && n[slashes] == '/') ++slashes;
    std::size_t given = 0;
    while (given < p.size() && p[given] == '/') ++given;
    check(
        slashes == (given == 2  ? 2
                    : given > 0 ? 1
                                : 0),
        f,
        "POSIX normalize keeps exactly two leading slashes, and makes one of one or three and more",
        p, n);
    check_components(f, p, std::string_view(n).substr(slashes), slashes > 0);
    return;
  }
  check(n.find('/') == std::string::npos, f, "Windows normalize unifies separators to backslashes",
        p, n);
  const bool unc = p.size() >= 2 && is_sep(f, p[0]) && is_sep(f, p[1]);
  check(unc == (n.size() >= 2 && n[0] == '\\' && n[1] == '\\'), f,
        "Windows normalize keeps the two leading separators of a UNC path, and makes no others", p,
        n);
  if (n.size() >= 2 && n[0] == '\\' && n[1] == '\\') return;  // UNC and device roots stay whole
  std::string_view rest = n;
  bool rooted = false;
  if (drive_letter_prefix(rest)) rest.remove_prefix(2);
  if (!rest.empty() && rest[0] == '\\') {
    rooted = true;
    rest.remove_prefix(1);
  } else if (rest.size() >= 2 && rest.substr(0, 2) == ".\\" && !drive_letter_prefix(n)) {
    // The one "." kept: it stops a drive-like first component from
    // reading as a drive.
    rest.remove_prefix(2);
    check(drive_letter_prefix(rest), f,
          "a leading \".\\\" is kept only before a drive-like component", p, n);
  }
  check_components(f, p, rest, rooted);
}

void check_normalize(Flavour f, std::string_view p) {
  const std::string n = paths::normalize(f, p);
  check(paths::normalize(f, n) == n, f, "normalize is idempotent", p, n);
  check(paths::is_absolute(f, n) == paths::is_absolute(f, p), f,
        "normalize keeps a path absolute, and a relative one relative", p, n);
  if (p.empty()) check(n == ".", f, "the empty text normalises to \".\"", p, n);
  check_normal_form(f, p, n);
}

bool drive_like(std::string_view component) { return drive_letter_prefix(component); }

void check_dirname_basename(Flavour f, std::string_view p) {
  const std::string d = paths::dirname(f, p);
  const std::string b = paths::basename(f, p);
  check(p.substr(0, d.size()) == d, f, "dirname is a prefix of the path", p, d);
  check(b.size() <= p.size() && p.substr(p.size() - b.size()) == b, f,
        "basename is a suffix of the path", p, b);
  check(!has_sep(f, b), f, "basename holds no separator", p, b);
  if (!p.empty() && is_sep(f, p.back()))
    check(b.empty(), f, "basename is empty after a final separator", p, b);
  const bool windows_drive = f == Flavour::windows && drive_letter_prefix(p);
  if (!has_sep(f, p) && !windows_drive) {
    check(d.empty(), f, "dirname is empty without a separator", p, d);
    check(b == std::string(p), f, "basename is the whole path without a separator", p, b);
  }

  // The two halves put back together name the same place. A basename that
  // looks like a drive ("x\C:") would make join take it for one, as it
  // must for a real drive, so such names are left out.
  if (f == Flavour::windows && drive_like(b)) return;
  const std::string n = paths::normalize(f, p);
  check(paths::normalize(f, paths::join(f, d, b)) == n, f,
        "join(dirname, basename) normalises like the path", p, paths::join(f, d, b));
  if (has_sep(f, n)) {
    const std::string nd = paths::dirname(f, n);
    const std::string nb = paths::basename(f, n);
    if (!(f == Flavour::windows && drive_like(nb)))
      check(paths::normalize(f, paths::join(f, nd, nb)) == n, f,
            "join(dirname, basename) of a normalised path gives it back", n,
            paths::join(f, nd, nb));
  }
}

// A component's leading dots are no extension: ".bashrc", "..", "...".
bool has_dot_after_non_dot(std::string_view component) {
  const std::size_t first = component.find_first_not_of('.');
  return first != std::string_view::npos && component.find('.', first) != std::string_view::npos;
}

void check_splitext(Flavour f, std::string_view p) {
  const auto [root, ext] = paths::splitext(f, p);
  check(root + ext == p, f, "splitext: root + ext is the path", p, root);
  if (!ext.empty()) {
    check(ext[0] == '.', f, "splitext: an extension starts with a dot", p, ext);
    check(ext.find('.', 1) == std::string::npos, f, "splitext: an extension runs from the last dot",
          p, ext);
    check(!has_sep(f, ext), f, "splitext: an extension holds no separator", p, ext);
    check(paths::basename(f, root).find_first_not_of('.') != std::string::npos, f,
          "splitext: dots that lead a name are no extension", p, ext);
  } else {
    check(!has_dot_after_non_dot(paths::basename(f, p)), f,
          "splitext: a name with a dot after other text has an extension", p);
  }
}

// The launcher's deck: ".inp" is appended unless the path ends in exactly
// that, and the model path is the deck path less its last four bytes.
void check_deck_suffix(Flavour f, std::string_view p, const std::string& absolute) {
  constexpr std::string_view suffix = ".inp";
  std::string deck = absolute;
  if (!deck.ends_with(suffix)) deck += suffix;
  check(deck.ends_with(suffix), f, "the deck path ends in .inp", p, deck);
  const std::string model = deck.substr(0, deck.size() - suffix.size());
  check(model + std::string(suffix) == deck, f, "the model path is the deck less .inp", p, model);
  const auto [root, ext] = paths::splitext(f, deck);
  const std::string name = paths::basename(f, deck);
  if (name.size() >= suffix.size() &&
      name.substr(0, name.size() - suffix.size()).find_first_not_of('.') != std::string::npos) {
    check(ext == suffix && root == model, f, "splitext of the deck gives the model and .inp", p,
          deck);
  } else {
    // Nothing but dots before it (".inp", "..inp" are names, not
    // extensions), or the suffix went into a UNC root (\\srv\share.inp).
    check(ext.empty(), f, "a deck named only by dots has no extension", p, deck);
  }
}

void check_join(Flavour f, std::string_view a, std::string_view b) {
  const std::string j = paths::join(f, a, b);
  if (f == Flavour::posix) {
    if (!b.empty() && b[0] == '/') {
      check(j == std::string(b), f, "join: an absolute b replaces a", b, j);
    } else {
      const bool bare = a.empty() || a.back() == '/';
      check(j == std::string(a) + (bare ? "" : "/") + std::string(b), f,
            "join: one separator between a and b", a, j);
    }
    return;
  }
  const bool b_rooted = !b.empty() && is_sep(f, b[0]);
  const bool b_unc = b.size() >= 2 && is_sep(f, b[0]) && is_sep(f, b[1]);
  if (drive_letter_prefix(b) && b.size() > 2 && is_sep(f, b[2])) {
    check(j == std::string(b), f, "join: a b with drive and root replaces a", b, j);
  } else if (b_rooted && !b_unc) {
    // A rooted b without drive keeps a's drive letter, and only that when
    // a has a plain drive.
    const bool a_unc = a.size() >= 2 && is_sep(f, a[0]) && is_sep(f, a[1]);
    if (drive_letter_prefix(a))
      check(j == std::string(a.substr(0, 2)) + std::string(b), f,
            "join: a rooted b keeps a's drive", b, j);
    else if (!a_unc)
      check(j == std::string(b), f, "join: a rooted b replaces a driveless a", b, j);
  } else if (!b_rooted && !drive_letter_prefix(b)) {
    // A relative b continues a. No separator is added after a separator or
    // a bare drive; a UNC or device root ending in ':' ("\\?\C:") counts as
    // one, so it is left out here.
    const bool a_root_with_colon =
        a.size() >= 2 && is_sep(f, a[0]) && is_sep(f, a[1]) && a.back() == ':';
    // An empty b adds nothing to a bare UNC root either.
    const bool unc_with_nothing = b.empty() && a.size() >= 2 && is_sep(f, a[0]) && is_sep(f, a[1]);
    if (!a_root_with_colon && !unc_with_nothing) {
      const bool bare =
          a.empty() || is_sep(f, a.back()) || (a.size() == 2 && drive_letter_prefix(a));
      check(j == std::string(a) + (bare ? "" : "\\") + std::string(b), f,
            "join: one separator between a and b", a, j);
    }
  }
}

void check_absolute_posix(std::string_view p, std::string_view other) {
  constexpr Flavour f = Flavour::posix;
  // Any absolute, normalised directory will do as the working directory.
  const std::string cwd = paths::normalize(f, "/" + std::string(other));
  const std::string r = paths::absolute_posix(p, cwd);
  check(paths::is_absolute(f, r), f, "absolute_posix gives an absolute path", p, r);
  check(paths::normalize(f, r) == r, f, "absolute_posix gives a normalised path", p, r);
  if (paths::is_absolute(f, p)) {
    check(r == paths::normalize(f, p), f, "absolute_posix keeps an absolute path (normalised)", p,
          r);
  } else {
    const std::string anchored = cwd + (cwd.back() == '/' ? "" : "/") + std::string(p);
    check(r == paths::normalize(f, anchored), f, "absolute_posix anchors at cwd", p, r);
    bool climbs = false;
    for (std::string_view c : split_at(p, '/')) climbs |= c == "..";
    if (!climbs) {
      const std::string under = cwd.back() == '/' ? cwd : cwd + "/";
      check(r == cwd || r.starts_with(under), f, "a relative path without \"..\" stays under cwd",
            p, r);
    }
  }
  check_deck_suffix(f, p, r);
}

void check_strip_extended_prefix(std::string_view p) {
  constexpr Flavour f = Flavour::windows;
  const std::string s = paths::strip_extended_prefix(p);
  constexpr std::string_view prefix = R"(\\?\)";
  if (p.substr(0, 4) != prefix) {
    check(s == std::string(p), f, "strip_extended_prefix leaves other text alone", p, s);
    return;
  }
  const std::string_view rest = p.substr(4);
  if (drive_letter_prefix(rest) && rest.size() > 2 && rest[2] == '\\')
    check(s == std::string(rest), f, "strip_extended_prefix: \\\\?\\C:\\x gives C:\\x", p, s);
  if (rest.substr(0, 4) == "UNC\\" && rest.size() > 4)
    check(s == "\\\\" + std::string(rest.substr(4)), f,
          "strip_extended_prefix: \\\\?\\UNC\\srv\\x gives \\\\srv\\x", p, s);
  const bool unc_form = p.size() >= 8 && s == "\\\\" + std::string(p.substr(8));
  check(s == std::string(p) || s == std::string(rest) || unc_form, f,
        "strip_extended_prefix only drops the prefix", p, s);
  if (s != std::string(p)) check(paths::is_absolute(f, s), f, "a stripped path is absolute", p, s);
}

// One token per byte; 0 separates the two texts.
constexpr std::string_view tokens[] = {
    "",   "\\",      "/",       ".",    "..",    ":",  "C:",           "c",   "a",
    "b",  "?",       "UNC",     "unc",  " ",     "x",  ".inp",         "inp", "\\\\",
    "//", "\\\\?\\", "\\\\.\\", "PIPE", "é",     "解", "\xed\xa0\x80", "D:",  "Z",
    "1",  "-",       "$",       "srv",  "share",
};

std::pair<std::string, std::string> texts_from(const std::uint8_t* data, std::size_t size) {
  std::string first, second;
  std::string* into = &first;
  if (size == 0) return {};
  if (data[0] & 1) {
    for (std::size_t i = 1; i < size; ++i) {
      if (data[i] == 0 && into == &first) {
        into = &second;
        continue;
      }
      *into += static_cast<char>(data[i]);
    }
  } else {
    constexpr std::size_t count = sizeof tokens / sizeof tokens[0];
    for (std::size_t i = 1; i < size; ++i) {
      const std::size_t t = data[i] % count;
      if (t == 0 && into == &first) {
        into = &second;
        continue;
      }
      *into += tokens[t];
    }
  }
  return {first, second};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [p, q] = texts_from(data, size);
  for (Flavour f : {Flavour::windows, Flavour::posix}) {
    check_normalize(f, p);
    check_dirname_basename(f, p);
    check_splitext(f, p);
    check_join(f, p, q);
    check_join(f, q, p);
  }
  // The deck path of each build: Windows takes the normalised full path,
  // POSIX the path anchored at the working directory.
  const std::string windows_full = paths::normalize(Flavour::windows, p);
  if (paths::is_absolute(Flavour::windows, windows_full))
    check_deck_suffix(Flavour::windows, p, windows_full);
  check_absolute_posix(p, q);
  check_strip_extended_prefix(p);
  return 0;
}
