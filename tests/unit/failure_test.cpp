// The one place where failures end: whatever reaches the entry becomes
// one diagnostic line and a status, never std::terminate. And what the
// system says of real failed calls, as the launcher words it.
#include "failure.hpp"

#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "diagnostics.hpp"
#include "platform/file_system.hpp"
#include "process_info.hpp"
#include "windows_errors.hpp"

namespace tolvane {
namespace {

struct EntryCase {
  const char* name;
  std::function<void()> run_throws;
  int status;
  std::string diagnostic;
};

const EntryCase entry_cases[] = {
    {"failure", [] { throw Failure("editor.exe", kind::not_found, "no such file"); }, 1,
     "Tolvane: editor.exe: FileNotFoundError: no such file\n"},
    {"exit_request", [] { throw ExitRequest{3}; }, 3, ""},
    {"failure_text_with_line_breaks",
     [] { throw Failure("EDITOR.editor", "ValueError", "first line\r\nsecond\nthird"); }, 1,
     "Tolvane: EDITOR.editor: ValueError: first line  second third\n"},
    {"failure_text_with_every_line_end",
     [] {
       throw Failure("EDITOR.editor", "ValueError",
                     "a\vb\fc\x1c"
                     "d\x1d"
                     "e\x1e"
                     "f\u0085g\u2028h\u2029i\x1fj\u2027k");
     },
     1, "Tolvane: EDITOR.editor: ValueError: a b c d e f g h i\x1fj\u2027k\n"},
    {"out_of_memory", [] { throw std::bad_alloc(); }, 1,
     "Tolvane: main: MemoryError: out of memory\n"},
    {"standard_exception", [] { throw std::length_error("too long"); }, 1,
     "Tolvane: main: std::length_error: too long\n"},
    {"anything_else", [] { throw 42; }, 1,
     "Tolvane: main: int: an exception that is no std::exception\n"},
};

class Entry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(Entry, EndsWithOneDiagnosticAndAStatus) {
  set_invocation_path("Tolvane");
  ::testing::internal::CaptureStderr();
  const int status = exit_status_of(GetParam().run_throws);
  std::string err = ::testing::internal::GetCapturedStderr();
  for (std::size_t at; (at = err.find("\r\n")) != std::string::npos;) err.erase(at, 1);
  EXPECT_EQ(status, GetParam().status);
  EXPECT_EQ(err, GetParam().diagnostic);
}

INSTANTIATE_TEST_SUITE_P(Thrown, Entry, ::testing::ValuesIn(entry_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SystemFailure, FillsTheFirstInsertWithTheSubjectAndDropsTheRest) {
  const struct {
    const char* text;
    const char* subject;
    const char* message;
  } cases[] = {
      {"%1 is not a valid Win32 application.\r\n", "C:\\app\\editor\\gui.dll",
       "LoadLibraryExW failed: C:\\app\\editor\\gui.dll is not a valid Win32 application (error "
       "193)"},
      {"Bad EXE format for %1.\r\n", "C:\\x.dll",
       "LoadLibraryExW failed: Bad EXE format for C:\\x.dll (error 193)"},
      {"Bad EXE format for %1.\r\n", "", "LoadLibraryExW failed: Bad EXE format for (error 193)"},
      {"The file %1 and %2!s! differ.", "a",
       "LoadLibraryExW failed: The file a and differ (error 193)"},
      {"100% done", "a", "LoadLibraryExW failed: 100% done (error 193)"},
      {"No such file or directory", "x",
       "LoadLibraryExW failed: No such file or directory (error 193)"},
  };
  for (const auto& c : cases) {
    const Failure f = system_failure("import", kind::binding,
                                     SystemError{"LoadLibraryExW", 193, c.text, c.subject, {}});
    EXPECT_EQ(f.message(), c.message) << c.text;
    EXPECT_EQ(f.kind(), kind::binding);
  }
}

TEST(WindowsErrors, OnlyVolumesThatCannotNameTheFileFallBackFromTheFinalPath) {
  namespace codes = windows_errors;
  using Step = codes::FinalPathStep;
  const struct {
    std::uint32_t code;
    Step step;
    bool falls_back;
  } cases[] = {
      {codes::invalid_function, Step::open, true},
      {codes::invalid_function, Step::query, true},
      {codes::not_supported, Step::query, true},
      {codes::invalid_parameter, Step::query, true},
      {codes::unrecognized_volume, Step::open, true},
      // Opened, but its volume has no drive letter.
      {codes::path_not_found, Step::query, true},
      // A path that does not lead to a file is a failure of its own.
      {codes::path_not_found, Step::open, false},
      {codes::file_not_found, Step::open, false},
      {codes::access_denied, Step::open, false},
      {codes::bad_netpath, Step::open, false},
      {0, Step::query, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(codes::cannot_report_final_path(c.code, c.step), c.falls_back)
        << c.code << (c.step == Step::open ? " opening" : " querying");
}

// Real calls that fail, natively with errno and on Windows with its codes
// (under Wine, as Wine answers): the reason the platform reads from each,
// and so the kind of the launcher's failure.
TEST(SystemErrors, RealFailedCallsNameTheirKinds) {
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path() /
                        ("tolvane-system-errors-" +
                         std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(base);
  fs::create_directories(base);
  std::ofstream(base / "a file") << "not a folder";
  const struct {
    const char* what;
    std::optional<SystemError> error;
    const char* kind;
  } cases[] = {
      {"a folder that is not there", platform::change_folder((base / "missing").string()),
       kind::not_found},
      {"a file taken for a folder", platform::change_folder((base / "a file").string()),
       kind::not_a_directory},
      {"the final path of nothing", platform::final_path((base / "missing").string()).error(),
       kind::not_found},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(c.error.has_value()) << c.what;
    const Failure failure = system_failure("chdir", *c.error);
    EXPECT_STREQ(failure.kind().c_str(), c.kind) << c.what << ": " << failure.message();
    EXPECT_NE(failure.message().find(" failed: "), std::string::npos) << failure.message();
  }
  fs::remove_all(base);
}

}  // namespace
}  // namespace tolvane
