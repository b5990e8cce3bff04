#include "paths.hpp"

#include <vector>

namespace tolvane::paths {

namespace {

using std::string_view;
constexpr auto npos = string_view::npos;

bool is_sep(Flavour f, char c) { return c == '/' || (f == Flavour::windows && c == '\\'); }

char native_sep(Flavour f) { return f == Flavour::windows ? '\\' : '/'; }

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Only ASCII folds: drive letters and "UNC" are ASCII, and other bytes of
// a server or share name are compared as they are.
bool iequals_ascii(string_view a, string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

std::size_t find_sep(Flavour f, string_view p, std::size_t from) {
  for (std::size_t i = from; i < p.size(); ++i)
    if (is_sep(f, p[i])) return i;
  return npos;
}

std::size_t rfind_sep(Flavour f, string_view p) {
  for (std::size_t i = p.size(); i > 0; --i)
    if (is_sep(f, p[i - 1])) return i - 1;
  return npos;
}

string_view strip_trailing_seps(Flavour f, string_view p) {
  while (!p.empty() && is_sep(f, p.back())) p.remove_suffix(1);
  return p;
}

std::string unify_seps(Flavour f, string_view p) {
  std::string out(p);
  for (char& c : out)
    if (is_sep(f, c)) c = native_sep(f);
  return out;
}

// drive + root + rest == the original text. Windows drives: "C:",
// "\\server\share", "\\?\C:", "\\?\UNC\server\share", "\\.\device". POSIX
// has no drive; its root is the leading slashes.
struct DriveRootRest {
  string_view drive;
  string_view root;
  string_view rest;
};

bool is_unc_prefix(string_view p) {
  return p.size() >= 8 && is_sep(Flavour::windows, p[0]) && is_sep(Flavour::windows, p[1]) &&
         p[2] == '?' && is_sep(Flavour::windows, p[3]) && iequals_ascii(p.substr(4, 3), "UNC") &&
         is_sep(Flavour::windows, p[7]);
}

bool has_drive_letter(string_view p) {
  return p.size() >= 2 && is_ascii_letter(p[0]) && p[1] == ':';
}

DriveRootRest split_windows(string_view p) {
  constexpr Flavour w = Flavour::windows;
  if (p.size() >= 2 && is_sep(w, p[0]) && is_sep(w, p[1])) {
    // The drive runs to the separator that ends its second name, so the
    // "?" or "." of a device prefix is never taken for a component.
    const std::size_t first = find_sep(w, p, is_unc_prefix(p) ? 8 : 2);
    const std::size_t second = first == npos ? npos : find_sep(w, p, first + 1);
    if (second == npos) return {p, {}, {}};
    return {p.substr(0, second), p.substr(second, 1), p.substr(second + 1)};
  }
  if (!p.empty() && is_sep(w, p[0])) return {{}, p.substr(0, 1), p.substr(1)};
  if (has_drive_letter(p)) {
    if (p.size() > 2 && is_sep(w, p[2])) return {p.substr(0, 2), p.substr(2, 1), p.substr(3)};
    return {p.substr(0, 2), {}, p.substr(2)};
  }
  return {{}, {}, p};
}

DriveRootRest split_posix(string_view p) {
  std::size_t n = 0;
  while (n < p.size() && p[n] == '/') ++n;
  // POSIX leaves the meaning of exactly two leading slashes open, so they
  // stay; one, or three and more, mean the plain root.
  const std::size_t root = n == 2 ? 2 : (n > 0 ? 1 : 0);
  return {{}, p.substr(0, root), p.substr(root)};
}

DriveRootRest split(Flavour f, string_view p) {
  return f == Flavour::windows ? split_windows(p) : split_posix(p);
}

std::vector<string_view> resolve_components(Flavour f, string_view rest, bool rooted) {
  std::vector<string_view> out;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = find_sep(f, rest, start);
    if (end == npos) end = rest.size();
    const string_view comp = rest.substr(start, end - start);
    start = end + 1;
    if (comp.empty() || comp == ".") continue;
    if (comp == ".." && !out.empty() && out.back() != "..") {
      out.pop_back();
      continue;
    }
    // At a root ".." stays there; a relative path keeps its leading "..".
    if (comp == ".." && rooted) continue;
    out.push_back(comp);
  }
  return out;
}

std::size_t basename_start(Flavour f, string_view p) {
  const DriveRootRest parts = split(f, p);
  const std::size_t rest_start = p.size() - parts.rest.size();
  const std::size_t sep = rfind_sep(f, parts.rest);
  return rest_start + (sep == npos ? 0 : sep + 1);
}

std::string join_posix(string_view a, string_view b) {
  if (!b.empty() && b.front() == '/') return std::string(b);
  std::string out(a);
  if (!out.empty() && out.back() != '/') out += '/';
  out += b;
  return out;
}

std::string join_windows(string_view a, string_view b) {
  constexpr Flavour w = Flavour::windows;
  const DriveRootRest pa = split_windows(a);
  const DriveRootRest pb = split_windows(b);
  string_view drive = pa.drive;
  string_view root = pa.root;
  std::string path(pa.rest);
  if (!pb.root.empty()) {
    if (!pb.drive.empty() || drive.empty()) drive = pb.drive;
    root = pb.root;
    path = std::string(pb.rest);
  } else {
    if (!pb.drive.empty() && !iequals_ascii(pb.drive, drive)) return std::string(b);
    if (!pb.drive.empty()) drive = pb.drive;
    if (!path.empty() && !is_sep(w, path.back())) path += '\\';
    path += pb.rest;
  }
  std::string out(drive);
  // "\\server\share" joined with a relative part needs the separator
  // that a bare "C:" must not get.
  if (!path.empty() && root.empty() && !drive.empty() && drive.back() != ':' &&
      !is_sep(w, drive.back()))
    out += '\\';
  out += root;
  out += path;
  return out;
}

}  // namespace

std::string join(Flavour f, std::string_view a, std::string_view b) {
  return f == Flavour::windows ? join_windows(a, b) : join_posix(a, b);
}

std::string dirname(Flavour f, std::string_view p) {
  const std::size_t start = basename_start(f, p);
  const DriveRootRest parts = split(f, p);
  const std::size_t root_len = parts.drive.size() + parts.root.size();
  const string_view head = strip_trailing_seps(f, p.substr(root_len, start - root_len));
  return std::string(p.substr(0, root_len)) + std::string(head);
}

std::string basename(Flavour f, std::string_view p) {
  return std::string(p.substr(basename_start(f, p)));
}

std::pair<std::string, std::string> splitext(Flavour f, std::string_view p) {
  const std::size_t start = basename_start(f, p);
  const std::size_t dot = p.rfind('.');
  if (dot == npos || dot < start) return {std::string(p), {}};
  if (p.substr(start, dot - start).find_first_not_of('.') == npos) return {std::string(p), {}};
  return {std::string(p.substr(0, dot)), std::string(p.substr(dot))};
}

std::string normalize(Flavour f, std::string_view p) {
  const DriveRootRest parts = split(f, p);
  std::string out = unify_seps(f, parts.drive) + unify_seps(f, parts.root);
  const auto comps = resolve_components(f, parts.rest, !parts.root.empty());
  if (out.empty() && comps.empty()) return ".";
  // A relative path whose first component looks like a drive ("a\..\C:\x")
  // must not turn into that drive: ".\" keeps it relative, as the
  // platform's full-path operation reads it.
  if (f == Flavour::windows && out.empty() && has_drive_letter(comps.front())) out = ".\\";
  for (std::size_t i = 0; i < comps.size(); ++i) {
    if (i > 0) out += native_sep(f);
    out += comps[i];
  }
  return out;
}

bool is_absolute(Flavour f, std::string_view p) {
  if (f == Flavour::posix) return !p.empty() && p.front() == '/';
  constexpr Flavour w = Flavour::windows;
  if (p.size() >= 2 && is_sep(w, p[0]) && is_sep(w, p[1])) return true;
  return has_drive_letter(p) && p.size() > 2 && is_sep(w, p[2]);
}

std::string absolute_posix(std::string_view p, std::string_view cwd) {
  if (is_absolute(Flavour::posix, p)) return normalize(Flavour::posix, p);
  return normalize(Flavour::posix, join_posix(cwd, p));
}

std::string strip_extended_prefix(std::string_view p) {
  constexpr string_view prefix = R"(\\?\)";
  if (!p.starts_with(prefix)) return std::string(p);
  const string_view rest = p.substr(prefix.size());
  if (rest.size() > 4 && iequals_ascii(rest.substr(0, 3), "UNC") && rest[3] == '\\')
    return "\\\\" + std::string(rest.substr(4));
  if (has_drive_letter(rest) && rest.size() > 2 && rest[2] == '\\') return std::string(rest);
  return std::string(p);
}

}  // namespace tolvane::paths
