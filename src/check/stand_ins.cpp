#include "stand_ins.hpp"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <tolvane/component.hpp>

#include "../failure.hpp"
#include "../platform/file_system.hpp"

namespace tolvane::check {

namespace {

using component::fs_path;

constexpr const char* stand_in_heading = "Tolvane check stand-in";

std::atomic<bool> made_model_folder{false};
std::atomic<bool> monitor_unattended{false};

// Makes the model folder of the deck unless it is there; whether it did.
bool make_model_folder(const std::string& deck) {
  const std::string model = model_path_of(deck);
  if (platform::is_folder(model)) return false;
  std::error_code ignored;
  std::filesystem::create_directories(fs_path(model), ignored);
  return true;
}

class Converter final : public component::Converter {
 public:
  Converter(const std::string& inp_path, const std::string&) : deck_(inp_path) {}
  void main() override {
    make_model_folder(deck_);
    heading = stand_in_heading;
  }

 private:
  std::string deck_;
};

class Window final : public component::Window {
  void destroy() override {}
};

class Editor final : public component::Editor {
 public:
  Editor(const std::string& inp_path, const std::string&) : deck_(inp_path) {
    root = std::make_unique<Window>();
  }
  void editor(const std::optional<std::string>&, const std::string&) override {
    if (make_model_folder(deck_)) made_model_folder.store(true);
  }

 private:
  std::string deck_;
};

class Monitor final : public component::Monitor {
 public:
  Monitor(const std::string&, const std::string&, const void*) {
    nogui = monitor_unattended.load();
  }
  void nogui_mode() override {}
  void run_process() override { done = true; }
  void signal_handler(int) override { done = true; }
  void monitor_main() override {}
};

template <auto Entry, std::uint32_t Kind>
const tolvane_declaration declared{TOLVANE_DECLARATION_MAGIC,
                                   TOLVANE_INTERFACE_MAJOR,
                                   TOLVANE_INTERFACE_MINOR,
                                   Kind,
                                   0,
                                   reinterpret_cast<tolvane_function>(Entry)};

struct StandIn {
  const void* entry;
  const tolvane_declaration* declaration;
};

constexpr auto converter_entry = &component::converter_entry<Converter>;
constexpr auto editor_entry = &component::editor_entry<Editor>;
constexpr auto monitor_entry = &component::monitor_entry<Monitor>;

StandIn stand_in(Role role) {
  switch (role) {
    case Role::converter:
      return {reinterpret_cast<const void*>(converter_entry),
              &declared<converter_entry, TOLVANE_ENTRY_CONVERTER>};
    case Role::editor:
      return {reinterpret_cast<const void*>(editor_entry),
              &declared<editor_entry, TOLVANE_ENTRY_EDITOR>};
    case Role::monitor:
      return {reinterpret_cast<const void*>(monitor_entry),
              &declared<monitor_entry, TOLVANE_ENTRY_MONITOR>};
  }
  return {};
}

}  // namespace

LayoutModules::LayoutModules(const std::string& folder, const RunSetting& setting, bool nogui,
                             ChainObserver* watch)
    : layout_(folder), setting_(setting), watch_(watch) {
  monitor_unattended.store(nogui);
}

std::string LayoutModules::module_name(const ComponentKind& kind) const {
  if (setting_.present(Form::modules, kind.role)) return layout_.module_name(kind);
  return std::string("the validator's stand-in for ") + kind.module;
}

void* LayoutModules::symbol(const ComponentKind& kind, const char* name) {
  if (setting_.present(Form::modules, kind.role)) {
    bool& loaded = loaded_[static_cast<std::size_t>(kind.role)];
    if (loaded) return layout_.symbol(kind, name);
    watch_->calling(kind.import_where);
    CallResult load;
    try {
      void* found = layout_.symbol(kind, name);
      load.outcome.succeeded = loaded = true;
      watch_->returned(kind.import_where, load);
      return found;
    } catch (const Failure& failure) {
      load.failure = failure;
      watch_->returned(kind.import_where, load);
      throw;
    }
  }
  const StandIn chosen = stand_in(kind.role);
  if (name == std::string(kind.entry)) return const_cast<void*>(chosen.entry);
  if (name == "tolvane_declaration_" + std::string(kind.entry))
    return const_cast<tolvane_declaration*>(chosen.declaration);
  return nullptr;
}

bool stand_in_made_model_folder() { return made_model_folder.load(); }

int run_stand_in_tool(const std::string& role, const std::vector<std::string>& words) {
  // [program, deck] for the converter, [program, deck, solver, -setting,
  // settings, -header, heading] for the editor.
  if (role == "converter") {
    if (words.size() != 2 || !platform::is_file(words[1])) {
      (void)std::fputs("stand-in converter: no deck to convert\n", stderr);
      return 1;
    }
    make_model_folder(words[1]);
    std::printf("header:%s\n", stand_in_heading);
    return 0;
  }
  if (role == "editor" && words.size() == 7) make_model_folder(words[1]);
  return 0;
}

}  // namespace tolvane::check
