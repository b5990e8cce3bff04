#include "paths.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using tolvane::paths::Flavour;
namespace paths = tolvane::paths;

constexpr Flavour win = Flavour::windows;
constexpr Flavour posix = Flavour::posix;

struct Unary {
  std::string in;
  std::string out;
};

struct Binary {
  std::string a;
  std::string b;
  std::string out;
};

struct Ext {
  std::string in;
  std::string root;
  std::string ext;
};

struct Predicate {
  std::string in;
  bool out;
};

template <typename Fn>
void expect_unary(const std::vector<Unary>& cases, Fn fn) {
  for (const auto& c : cases) EXPECT_EQ(fn(c.in), c.out) << "input: " << c.in;
}

void expect_join(Flavour f, const std::vector<Binary>& cases) {
  for (const auto& c : cases)
    EXPECT_EQ(paths::join(f, c.a, c.b), c.out) << "join(" << c.a << ", " << c.b << ")";
}

void expect_splitext(Flavour f, const std::vector<Ext>& cases) {
  for (const auto& c : cases) {
    const auto [root, ext] = paths::splitext(f, c.in);
    EXPECT_EQ(root, c.root) << "input: " << c.in;
    EXPECT_EQ(ext, c.ext) << "input: " << c.in;
  }
}

auto normalize(Flavour f) {
  return [f](const std::string& p) { return paths::normalize(f, p); };
}
auto dirname(Flavour f) {
  return [f](const std::string& p) { return paths::dirname(f, p); };
}
auto basename(Flavour f) {
  return [f](const std::string& p) { return paths::basename(f, p); };
}

// --- Windows: join -----------------------------------------------------------

TEST(PathsWindowsJoin, AddsOneBackslashUnlessAEndsInSeparatorOrIsBareDrive) {
  expect_join(win, {
                       {R"(C:\jobs)", "beam.inp", R"(C:\jobs\beam.inp)"},
                       {R"(C:\jobs\)", "beam.inp", R"(C:\jobs\beam.inp)"},
                       {"C:/jobs/", "beam.inp", "C:/jobs/beam.inp"},
                       {R"(C:\)", "FrontISTR-DEV250506", R"(C:\FrontISTR-DEV250506)"},
                       {"C:", "x", "C:x"},
                       {"jobs", "beam.inp", R"(jobs\beam.inp)"},
                       {"a/b", "c", R"(a/b\c)"},
                       {R"(C:\app)", R"(tools\editor.exe)", R"(C:\app\tools\editor.exe)"},
                   });
}

TEST(PathsWindowsJoin, EmptySides) {
  expect_join(win, {
                       {"", "x", "x"},
                       {"a", "", R"(a\)"},
                       {R"(a\)", "", R"(a\)"},
                       {"", "", ""},
                       {"C:", "", "C:"},
                   });
}

TEST(PathsWindowsJoin, AbsoluteOrOtherDriveBReplacesA) {
  expect_join(win, {
                       {R"(C:\app)", R"(D:\data)", R"(D:\data)"},
                       {R"(C:\app)", "D:data", "D:data"},
                       {R"(C:\app)", R"(\\srv\share\x)", R"(\\srv\share\x)"},
                       {R"(\\srv\share\x)", R"(C:\y)", R"(C:\y)"},
                   });
}

TEST(PathsWindowsJoin, RootedBWithoutDriveKeepsADrive) {
  expect_join(win, {
                       {R"(C:\app\tools)", R"(\x)", R"(C:\x)"},
                       {"C:app", "/x", "C:/x"},
                       {R"(\\srv\share\dir)", R"(\x)", R"(\\srv\share\x)"},
                       {"rel", R"(\x)", R"(\x)"},
                   });
}

TEST(PathsWindowsJoin, SameDriveRelativeBContinuesA) {
  expect_join(win, {
                       {R"(C:\app)", "C:tools", R"(C:\app\tools)"},
                       {R"(c:\app)", "C:tools", R"(C:\app\tools)"},
                   });
}

TEST(PathsWindowsJoin, UncRootGetsSeparatorBeforeRelativeB) {
  expect_join(win, {
                       {R"(\\srv\share)", "x", R"(\\srv\share\x)"},
                       {R"(\\srv\share\)", "x", R"(\\srv\share\x)"},
                   });
}

TEST(PathsWindowsJoin, JapaneseComponents) {
  expect_join(win, {
                       {R"(C:\解析)", "梁.inp", R"(C:\解析\梁.inp)"},
                       {R"(D:\データ\)", "モデル", R"(D:\データ\モデル)"},
                   });
}

// --- Windows: dirname and basename -------------------------------------------

TEST(PathsWindowsDirname, RootsKeepTheirSeparator) {
  expect_unary(
      {
          {R"(C:\beam.inp)", R"(C:\)"},
          {"C:/beam.inp", "C:/"},
          {R"(C:\)", R"(C:\)"},
          {R"(\\srv\share\beam.inp)", R"(\\srv\share\)"},
          {R"(\\srv\share)", R"(\\srv\share)"},
          {R"(\beam.inp)", R"(\)"},
          {R"(\\?\C:\x)", R"(\\?\C:\)"},
          {R"(\\?\UNC\srv\share\x)", R"(\\?\UNC\srv\share\)"},
      },
      dirname(win));
}

TEST(PathsWindowsDirname, TextBeforeLastSeparatorWithoutTrailingSeparators) {
  expect_unary(
      {
          {R"(C:\jobs\beam.inp)", R"(C:\jobs)"},
          {R"(C:\jobs\\\beam.inp)", R"(C:\jobs)"},
          {R"(C:\jobs/sub\beam.inp)", R"(C:\jobs/sub)"},
          {R"(a\b\)", R"(a\b)"},
          {"a/b", "a"},
          {R"(C:\jobs\)", R"(C:\jobs)"},
      },
      dirname(win));
}

TEST(PathsWindowsDirname, NoSeparator) {
  expect_unary(
      {
          {"beam.inp", ""},
          {"", ""},
          {"C:beam.inp", "C:"},
          {"C:", "C:"},
      },
      dirname(win));
}

TEST(PathsWindowsDirname, JapaneseComponents) {
  expect_unary(
      {
          {R"(C:\解析\梁.inp)", R"(C:\解析)"},
          {R"(\\サーバ\共有\梁.inp)", R"(\\サーバ\共有\)"},
      },
      dirname(win));
}

TEST(PathsWindowsBasename, LastComponent) {
  expect_unary(
      {
          {R"(C:\app\Tolvane.exe)", "Tolvane.exe"},
          {"C:/app/Tolvane.exe", "Tolvane.exe"},
          {R"(C:\app/tools\x)", "x"},
          {R"(C:\jobs\)", ""},
          {"C:beam.inp", "beam.inp"},
          {"C:", ""},
          {R"(\\srv\share)", ""},
          {R"(\\srv\share\x)", "x"},
          {"beam.inp", "beam.inp"},
          {"", ""},
          {R"(C:\解析\梁.inp)", "梁.inp"},
      },
      basename(win));
}

// --- Windows: splitext ---------------------------------------------------------

TEST(PathsWindowsSplitext, ExtensionFromLastDotOfLastComponent) {
  expect_splitext(win, {
                           {R"(C:\app\Tolvane.exe)", R"(C:\app\Tolvane)", ".exe"},
                           {R"(C:\app\Tolvane.EXE)", R"(C:\app\Tolvane)", ".EXE"},
                           {"x.tar.gz", "x.tar", ".gz"},
                           {"a.inp.inp", "a.inp", ".inp"},
                           {"x.", "x", "."},
                           {"a..b", "a.", ".b"},
                           {"..a.b", "..a", ".b"},
                           {R"(C:\解析\梁.inp)", R"(C:\解析\梁)", ".inp"},
                       });
}

TEST(PathsWindowsSplitext, NoExtension) {
  expect_splitext(win, {
                           {R"(C:\app\Tolvane)", R"(C:\app\Tolvane)", ""},
                           {R"(a.b\prog)", R"(a.b\prog)", ""},
                           {"a.b/prog", "a.b/prog", ""},
                           {".bashrc", ".bashrc", ""},
                           {R"(C:\dir\..inp)", R"(C:\dir\..inp)", ""},
                           {"...", "...", ""},
                           {R"(C:\dir.d\)", R"(C:\dir.d\)", ""},
                           {"C:.bashrc", "C:.bashrc", ""},
                           {R"(\\srv.x\share.y)", R"(\\srv.x\share.y)", ""},
                           {"", "", ""},
                       });
}

// --- Windows: normalize --------------------------------------------------------

TEST(PathsWindowsNormalize, SeparatorsUnifiedAndRunsCollapsed) {
  expect_unary(
      {
          {"C:/jobs/beam.inp", R"(C:\jobs\beam.inp)"},
          {R"(C:\\jobs//\beam.inp)", R"(C:\jobs\beam.inp)"},
          {"a/b\\c", R"(a\b\c)"},
          {"//srv/share/x", R"(\\srv\share\x)"},
          {R"(\\srv\share\\\x)", R"(\\srv\share\x)"},
      },
      normalize(win));
}

TEST(PathsWindowsNormalize, DotAndDotDot) {
  expect_unary(
      {
          {R"(C:\jobs\.\beam.inp)", R"(C:\jobs\beam.inp)"},
          {R"(C:\jobs\sub\..\beam.inp)", R"(C:\jobs\beam.inp)"},
          {R"(C:\a\b\..\..\c)", R"(C:\c)"},
          {R"(a\..)", "."},
          {R"(.\.)", "."},
          {R"(a\..\..\b)", R"(..\b)"},
          {R"(..\..\x)", R"(..\..\x)"},
          {"C:a\\..\\..\\b", R"(C:..\b)"},
          {"C:a\\..", "C:"},
      },
      normalize(win));
}

TEST(PathsWindowsNormalize, DotDotAtRootIsDropped) {
  expect_unary(
      {
          {R"(C:\..)", R"(C:\)"},
          {R"(C:\..\..\x)", R"(C:\x)"},
          {R"(\..\x)", R"(\x)"},
          {R"(\\srv\share\..\x)", R"(\\srv\share\x)"},
      },
      normalize(win));
}

TEST(PathsWindowsNormalize, TrailingSeparatorsDroppedExceptRoot) {
  expect_unary(
      {
          {R"(C:\jobs\)", R"(C:\jobs)"},
          {"C:/jobs//", R"(C:\jobs)"},
          {R"(C:\)", R"(C:\)"},
          {"C:/", R"(C:\)"},
          {R"(C:\\\)", R"(C:\)"},
          {R"(\\srv\share\)", R"(\\srv\share\)"},
          {R"(\\srv\share)", R"(\\srv\share)"},
          {"/", R"(\)"},
          {"C:", "C:"},
      },
      normalize(win));
}

TEST(PathsWindowsNormalize, AComponentThatLooksLikeADriveStaysRelative) {
  const std::vector<Unary> cases = {
      {R"(.\C:\x)", R"(.\C:\x)"},     {R"(a\..\C:\x)", R"(.\C:\x)"}, {"a/../C:", R"(.\C:)"},
      {R"(.\C:.\C:)", R"(.\C:.\C:)"}, {R"(\C:\x)", R"(\C:\x)"},      {R"(C:a\..\D:x)", R"(C:D:x)"},
  };
  expect_unary(cases, normalize(win));
  for (const auto& c : cases) {
    EXPECT_FALSE(paths::is_absolute(win, c.out)) << c.in;
    EXPECT_EQ(paths::normalize(win, c.out), c.out) << "not idempotent: " << c.in;
  }
}

TEST(PathsWindowsNormalize, EmptyGivesDot) { EXPECT_EQ(paths::normalize(win, ""), "."); }

TEST(PathsWindowsNormalize, DevicePrefixesStayWhole) {
  expect_unary(
      {
          {R"(\\?\C:\a\..\b)", R"(\\?\C:\b)"},
          {R"(\\?\C:\..)", R"(\\?\C:\)"},
          {R"(\\.\C:\a\.\b)", R"(\\.\C:\a\b)"},
          {R"(\\.\PIPE\name)", R"(\\.\PIPE\name)"},
          {R"(\\?\UNC\srv\share\..\x)", R"(\\?\UNC\srv\share\x)"},
          {R"(\\?\unc\srv\share\a\)", R"(\\?\unc\srv\share\a)"},
      },
      normalize(win));
}

TEST(PathsWindowsNormalize, JapaneseComponents) {
  expect_unary(
      {
          {"C:/解析/./旧/../梁.inp", R"(C:\解析\梁.inp)"},
          {R"(\\サーバ\共有\..\データ\)", R"(\\サーバ\共有\データ)"},
      },
      normalize(win));
}

// --- Windows: is_absolute ------------------------------------------------------

TEST(PathsWindowsIsAbsolute, DriveWithSeparatorOrTwoLeadingSeparators) {
  for (const auto& c : std::vector<Predicate>{
           {R"(C:\x)", true},
           {"c:/x", true},
           {R"(C:\)", true},
           {R"(\\srv\share\x)", true},
           {"//srv/share", true},
           {R"(\\?\C:\x)", true},
           {R"(\\.\PIPE\x)", true},
           {R"(\x)", false},
           {"/x", false},
           {"C:x", false},
           {"C:", false},
           {"x", false},
           {"", false},
           {R"(..\x)", false},
       })
    EXPECT_EQ(paths::is_absolute(win, c.in), c.out) << "input: " << c.in;
}

// --- Windows: strip_extended_prefix --------------------------------------------

TEST(PathsWindowsStripExtendedPrefix, DriveAndUncForms) {
  expect_unary(
      {
          {R"(\\?\C:\x)", R"(C:\x)"},
          {R"(\\?\C:\)", R"(C:\)"},
          {R"(\\?\UNC\server\share\x)", R"(\\server\share\x)"},
          {R"(\\?\C:\解析\梁)", R"(C:\解析\梁)"},
      },
      paths::strip_extended_prefix);
}

TEST(PathsWindowsStripExtendedPrefix, OtherTextUnchanged) {
  expect_unary(
      {
          {R"(C:\x)", R"(C:\x)"},
          {R"(\\server\share\x)", R"(\\server\share\x)"},
          {R"(\\.\C:\x)", R"(\\.\C:\x)"},
          {R"(\\?\Volume{0123}\x)", R"(\\?\Volume{0123}\x)"},
          {R"(\\?\UNC\)", R"(\\?\UNC\)"},
          {"", ""},
      },
      paths::strip_extended_prefix);
}

// --- POSIX ---------------------------------------------------------------------

TEST(PathsPosixJoin, OneSlashBetweenAndAbsoluteBReplacesA) {
  expect_join(posix, {
                         {"/opt/tolvane", "session.xml", "/opt/tolvane/session.xml"},
                         {"/opt/tolvane/", "session.xml", "/opt/tolvane/session.xml"},
                         {"/", "FrontISTR-DEV250506", "/FrontISTR-DEV250506"},
                         {"/opt", "/etc/x", "/etc/x"},
                         {"a", "b\\c", "a/b\\c"},
                         {"C:", "x", "C:/x"},
                         {"", "x", "x"},
                         {"a", "", "a/"},
                         {"/解析", "梁.inp", "/解析/梁.inp"},
                     });
}

TEST(PathsPosixDirname, BackslashIsAnOrdinaryCharacter) {
  expect_unary(
      {
          {"/jobs/beam.inp", "/jobs"},
          {"/beam.inp", "/"},
          {"/", "/"},
          {"//beam.inp", "//"},
          {"///beam.inp", "/"},
          {"/jobs//beam.inp", "/jobs"},
          {"a/b/", "a/b"},
          {"beam.inp", ""},
          {"a\\b", ""},
          {"", ""},
          {"/解析/梁.inp", "/解析"},
      },
      dirname(posix));
}

TEST(PathsPosixBasename, LastComponent) {
  expect_unary(
      {
          {"/opt/tolvane/tolvane", "tolvane"},
          {"/opt/", ""},
          {"a\\b", "a\\b"},
          {"", ""},
          {"/解析/梁.inp", "梁.inp"},
      },
      basename(posix));
}

TEST(PathsPosixSplitext, ExtensionOfLastComponentOnly) {
  expect_splitext(posix, {
                             {"/opt/tolvane/tolvane", "/opt/tolvane/tolvane", ""},
                             {"/opt/a.b/prog", "/opt/a.b/prog", ""},
                             {"/home/u/.bashrc", "/home/u/.bashrc", ""},
                             {"x.tar.gz", "x.tar", ".gz"},
                             {"a.inp.inp", "a.inp", ".inp"},
                             {"a\\b.c", "a\\b", ".c"},
                             {"/解析/梁.inp", "/解析/梁", ".inp"},
                         });
}

TEST(PathsPosixNormalize, PosixpathRules) {
  expect_unary(
      {
          {"", "."},
          {"/a//b/./c/", "/a/b/c"},
          {"/../x", "/x"},
          {"/a/b/../../..", "/"},
          {"a/../../b", "../b"},
          {"./", "."},
          {"//a/b", "//a/b"},
          {"//", "//"},
          {"///a//b", "/a/b"},
          {"////", "/"},
          {"//..", "//"},
          {"a\\..\\b", "a\\..\\b"},
          {"/解析/./旧/../梁.inp", "/解析/梁.inp"},
      },
      normalize(posix));
}

TEST(PathsPosixIsAbsolute, LeadingSlashOnly) {
  for (const auto& c : std::vector<Predicate>{
           {"/x", true}, {"//x", true}, {"x", false}, {"", false}, {"C:/x", false}, {"\\x", false}})
    EXPECT_EQ(paths::is_absolute(posix, c.in), c.out) << "input: " << c.in;
}

TEST(PathsPosixAbsolute, RelativeAnchoredAtCwdAbsoluteKept) {
  for (const auto& c : std::vector<Binary>{
           {"beam.inp", "/home/u/jobs", "/home/u/jobs/beam.inp"},
           {"../other/beam.inp", "/home/u/jobs", "/home/u/other/beam.inp"},
           {"../../../../x", "/home/u", "/x"},
           {"./sub//beam.inp", "/home/u", "/home/u/sub/beam.inp"},
           {"/data/../beam.inp", "/home/u", "/beam.inp"},
           {"", "/home/u/jobs", "/home/u/jobs"},
           {".", "/", "/"},
           {"x", "/", "/x"},
           {"梁.inp", "/解析", "/解析/梁.inp"},
       })
    EXPECT_EQ(paths::absolute_posix(c.a, c.b), c.out) << "absolute(" << c.a << ") in " << c.b;
}

// --- The deck paths derived on the command line ------------------------------

// The deck's directory is the dirname of its normalised absolute form.
TEST(PathsDeckDerivation, WindowsDirectoryOfNormalisedDeck) {
  expect_unary(
      {
          {R"(C:\beam.inp)", R"(C:\)"},
          {"C:/beam", R"(C:\)"},
          {R"(C:\jobs\.\sub\..\beam.inp)", R"(C:\jobs)"},
          {R"(C:\jobs\beam.inp\)", R"(C:\jobs)"},
          {R"(C:\..\beam.inp)", R"(C:\)"},
          {R"(\\srv\share\beam.inp)", R"(\\srv\share\)"},
          {R"(D:\解析\梁.inp)", R"(D:\解析)"},
      },
      [](const std::string& p) { return paths::dirname(win, paths::normalize(win, p)); });
}

TEST(PathsDeckDerivation, EmptyWordGivesCwdAndItsParent) {
  const std::string inp = paths::absolute_posix("", "/home/u/jobs");
  EXPECT_EQ(inp, "/home/u/jobs");
  EXPECT_EQ(paths::dirname(posix, inp), "/home/u");
  EXPECT_EQ(paths::dirname(win, R"(C:\jobs)"), R"(C:\)");
}

TEST(PathsDeckDerivation, SolverDirectoryBesideALauncherInADriveRoot) {
  EXPECT_EQ(paths::join(win, R"(C:\)", "FrontISTR-DEV250506"), R"(C:\FrontISTR-DEV250506)");
  EXPECT_EQ(paths::join(win, R"(\\srv\share)", "FrontISTR-DEV250506"),
            R"(\\srv\share\FrontISTR-DEV250506)");
}

}  // namespace
