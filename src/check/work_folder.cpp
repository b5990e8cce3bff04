#include "work_folder.hpp"

#include <fstream>
#include <random>
#include <system_error>

#include <tolvane/component.hpp>

#include "../component_kinds.hpp"

namespace tolvane::check {

namespace {

using component::fs_path;

constexpr const char* sample_deck =
    "!HEADER\n"
    "Tolvane check: a cantilever of one element\n"
    "!NODE\n"
    "1, 0.0, 0.0, 0.0\n2, 100.0, 0.0, 0.0\n3, 100.0, 10.0, 0.0\n4, 0.0, 10.0, 0.0\n"
    "5, 0.0, 0.0, 10.0\n6, 100.0, 0.0, 10.0\n7, 100.0, 10.0, 10.0\n8, 0.0, 10.0, 10.0\n"
    "!ELEMENT, TYPE=361, EGRP=ALL\n"
    "1, 1, 2, 3, 4, 5, 6, 7, 8\n"
    "!END\n";

// Georgian ("beam"), which no Windows ANSI code page holds, single- or
// double-byte: a name with it reaches a program whole only in UTF-16.
constexpr const char* beyond_code_pages = "\xe1\x83\xab\xe1\x83\x94\xe1\x83\x9a\xe1\x83\x98";

std::string default_deck_name() { return std::string("beam ") + beyond_code_pages + ".inp"; }

std::string utf8_of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

WorkFolder::WorkFolder(const std::optional<std::string>& deck_name,
                       const std::optional<std::string>& deck_text)
    : deck_text_(deck_text.value_or(sample_deck)), deck_name_(default_deck_name()) {
  if (deck_name) {
    deck_name_ = utf8_of(fs_path(*deck_name).filename());
    if (!deck_name_.ends_with(deck_suffix)) deck_name_ += deck_suffix;
  }
  std::random_device random;
  root_ = std::filesystem::temp_directory_path() /
          ("tolvane-check-" + std::to_string(random()) + std::to_string(random()));
  std::filesystem::create_directories(root_);
}

WorkFolder::~WorkFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string WorkFolder::new_deck() {
  std::filesystem::path folder =
      root_ / fs_path(std::to_string(++count_) + " deck " + beyond_code_pages);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    // A file system that cannot hold the name (Wine under a locale that is
    // not UTF-8 keeps its files in that locale's encoding).
    plain_names_ = true;
    folder = root_ / (std::to_string(count_) + " deck");
    std::filesystem::create_directories(folder);
  }
  const std::string name =
      plain_names_ && deck_name_ == default_deck_name() ? "beam.inp" : deck_name_;
  std::ofstream(folder / fs_path(name), std::ios::binary) << deck_text_;
  return utf8_of(folder / fs_path(name));
}

}  // namespace tolvane::check
