// The validator's work folder: a temporary folder of its own, with a fresh
// copy of the deck for each run, in a folder whose name holds a space and
// letters that no ANSI code page has, as a user's may: a component that
// cannot take such a path fails there, not later at the user's.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tolvane::check {

class WorkFolder {
 public:
  // deck_name and deck_text: the user's deck (--deck), or none for the
  // validator's own.
  WorkFolder(const std::optional<std::string>& deck_name,
             const std::optional<std::string>& deck_text);
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  ~WorkFolder();

  // The deck's copy in a new folder of its own; absolute, UTF-8.
  std::string new_deck();
  // Whether the file system could not hold the folder's name, so that the
  // decks lie in folders with plain names.
  bool plain_names() const { return plain_names_; }

 private:
  std::filesystem::path root_;
  std::string deck_text_;
  std::string deck_name_;
  int count_ = 0;
  bool plain_names_ = false;
};

}  // namespace tolvane::check
